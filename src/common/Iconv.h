#pragma once

#include <cstddef>
#include <span>

namespace vip {

// An iconv conversion descriptor, owned: closed when this goes. A descriptor
// keeps shift state and must not be shared between threads.
class Iconv {
 public:
  enum class Status {
    Done,        // all of the input converted
    Invalid,     // a byte sequence the source encoding does not define
    Incomplete,  // the input ends inside a character
    NoRoom,      // the output is full
  };
  struct Result {
    Status status = Status::Done;
    std::size_t consumed = 0;  // input bytes converted
    std::size_t written = 0;   // output bytes written
  };

  // Opens a converter from `from` to `to` (iconv's names); isOpen() tells
  // whether this system knows the pair.
  Iconv(const char* to, const char* from);
  ~Iconv();
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  bool isOpen() const;
  // Converts `in` into `out` from the initial shift state.
  Result convert(std::span<const char> in, std::span<char> out);

 private:
  void* m_descriptor;  // iconv_t
};

}  // namespace vip
