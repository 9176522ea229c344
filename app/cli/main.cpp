#include <cstdio>

int main(int argc, char** argv) {
  (void)argc;
  (void)argv;
  std::fputs("usage: vipimport-cli dump WORKBOOK\n", stderr);
  return 2;
}
