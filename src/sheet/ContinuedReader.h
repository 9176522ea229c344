#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "sheet/BiffStream.h"

namespace vip::sheet {

// Reads a record together with its CONTINUE records as one run of bytes,
// except inside the characters of a BIFF8 string: there each new segment
// starts with a fresh flag byte that says whether the characters go on as
// one byte or two. Every read checks the bytes left and throws SheetError
// naming the offset in the workbook stream.
class ContinuedReader {
 public:
  ContinuedReader(std::span<const BiffSegment> segments, const char* what);

  std::uint8_t u8();
  std::uint16_t u16();
  std::uint32_t u32();
  void skip(std::size_t count);
  // Bytes left in all segments together.
  std::size_t remaining() const { return m_remaining; }

  // A BIFF8 string whose character count (in UTF-16 code units) has been
  // read: its flags, its characters (re-reading the flag at each segment
  // boundary) and the rich text runs and phonetic block after them, which
  // are skipped. Appends the text to `out` as UTF-8. An empty string at the
  // very end of the data may lack its flag byte, as BIFF8 allows.
  void unicodeChars(std::size_t count, std::string& out);

 private:
  void advanceSegment();
  void need(std::size_t count) const;
  [[noreturn]] void truncated(std::size_t wanted) const;
  std::size_t streamOffset() const;

  std::span<const BiffSegment> m_segments;
  const char* m_what;
  std::size_t m_segment = 0;
  std::size_t m_pos = 0;
  std::size_t m_remaining = 0;
};

}  // namespace vip::sheet
