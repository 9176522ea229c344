#include "common/Iconv.h"

#include <iconv.h>

#include <cerrno>

namespace vip {
namespace {

const iconv_t kNotOpen = reinterpret_cast<iconv_t>(-1);

}  // namespace

Iconv::Iconv(const char* to, const char* from) : m_descriptor(iconv_open(to, from)) {}

Iconv::~Iconv() {
  if (isOpen()) iconv_close(static_cast<iconv_t>(m_descriptor));
}

bool Iconv::isOpen() const {
  return static_cast<iconv_t>(m_descriptor) != kNotOpen;
}

Iconv::Result Iconv::convert(std::span<const char> in, std::span<char> out) {
  const auto descriptor = static_cast<iconv_t>(m_descriptor);
  iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
  // iconv's interface takes a non-const input pointer that it never writes through.
  char* inPtr = const_cast<char*>(in.data());
  std::size_t inLeft = in.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  const std::size_t rc = iconv(descriptor, &inPtr, &inLeft, &outPtr, &outLeft);
  const int error = errno;
  Result result;
  result.consumed = in.size() - inLeft;
  result.written = out.size() - outLeft;
  if (rc == static_cast<std::size_t>(-1)) {
    result.status = error == EINVAL  ? Status::Incomplete
                    : error == E2BIG ? Status::NoRoom
                                     : Status::Invalid;
  } else if (inLeft != 0) {
    result.status = Status::Invalid;
  }
  return result;
}

}  // namespace vip
