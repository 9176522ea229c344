#include <cstdio>

#include "Commands.h"

namespace vip::cli {

int runImport(const std::vector<std::string>& args) {
  (void)args;
  std::fputs("not built yet\n", stderr);
  return 2;
}

}  // namespace vip::cli
