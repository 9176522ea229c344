// Connection strings come from the operator: any text parses or fails with a
// StoreError, and a parsed string survives its redacted form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "store/ConnectionString.h"
#include "store/StoreError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  vip::store::ConnectionString settings;
  try {
    settings = vip::store::ConnectionString::parse(text);
  } catch (const vip::store::StoreError&) {
    return 0;
  }
  (void)settings.provider();
  const auto again = vip::store::ConnectionString::parse(settings.redacted());
  if (again.pairs().size() != settings.pairs().size()) std::abort();
  for (std::size_t i = 0; i < again.pairs().size(); ++i) {
    const auto& [key, value] = settings.pairs()[i];
    const auto& [key2, value2] = again.pairs()[i];
    // Keys and values come back trimmed, so only values that were kept whole compare.
    if (key2 != key) std::abort();
    if (value2 != value && value2 != "***") std::abort();
  }
  return 0;
}
