#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vip::sheet {

// Reads a record together with its CONTINUE records as one run of bytes,
// except inside the characters of a BIFF8 string: there each new segment
// starts with a fresh flag byte that says whether the characters go on as
// one byte or two. Every read checks the bytes left and throws SheetError.
class ContinuedReader {
 public:
  ContinuedReader(std::span<const std::span<const unsigned char>> segments, const char* what);

  std::uint8_t u8();
  std::uint16_t u16();
  std::uint32_t u32();
  void skip(std::size_t count);
  // Bytes left in all segments together.
  std::size_t remaining() const { return m_remaining; }

  // A BIFF8 string whose character count has been read: its flags, its
  // characters (re-reading the flag at each segment boundary) and the rich
  // text runs and phonetic block after them, which are skipped. Appends the
  // text to `out` as UTF-8.
  void unicodeChars(std::size_t count, std::string& out);

 private:
  void advanceSegment();
  [[noreturn]] void truncated(std::size_t wanted) const;

  std::span<const std::span<const unsigned char>> m_segments;
  const char* m_what;
  std::size_t m_segment = 0;
  std::size_t m_pos = 0;
  std::size_t m_remaining = 0;
};

// Appends a UTF-16 code unit run or Latin-1 bytes as UTF-8; a surrogate pair
// may arrive in two calls.
class Utf8Writer {
 public:
  explicit Utf8Writer(std::string& out) : m_out(out) {}
  ~Utf8Writer() { flush(); }
  Utf8Writer(const Utf8Writer&) = delete;
  Utf8Writer& operator=(const Utf8Writer&) = delete;

  void latin1(unsigned char c);
  void utf16(char16_t unit);
  void flush();

 private:
  void codePoint(std::uint32_t cp);

  std::string& m_out;
  char16_t m_highSurrogate = 0;
};

}  // namespace vip::sheet
