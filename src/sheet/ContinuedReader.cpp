#include "sheet/ContinuedReader.h"

#include <algorithm>

#include "sheet/SheetError.h"

namespace vip::sheet {

void Utf8Writer::codePoint(std::uint32_t cp) {
  if (cp < 0x80) {
    m_out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    m_out.push_back(static_cast<char>(0xC0 | cp >> 6));
    m_out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    m_out.push_back(static_cast<char>(0xE0 | cp >> 12));
    m_out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    m_out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    m_out.push_back(static_cast<char>(0xF0 | cp >> 18));
    m_out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
    m_out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    m_out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void Utf8Writer::latin1(unsigned char c) {
  flush();
  codePoint(c);
}

void Utf8Writer::utf16(char16_t unit) {
  if (unit >= 0xDC00 && unit <= 0xDFFF && m_highSurrogate) {
    codePoint(0x10000 + ((static_cast<std::uint32_t>(m_highSurrogate) - 0xD800) << 10) +
              (static_cast<std::uint32_t>(unit) - 0xDC00));
    m_highSurrogate = 0;
    return;
  }
  flush();
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    m_highSurrogate = unit;
    return;
  }
  // A lone low surrogate has no UTF-8 form: it becomes U+FFFD.
  codePoint(unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
}

void Utf8Writer::flush() {
  if (m_highSurrogate) {
    m_highSurrogate = 0;
    codePoint(0xFFFD);
  }
}

ContinuedReader::ContinuedReader(std::span<const std::span<const unsigned char>> segments,
                                 const char* what)
    : m_segments(segments), m_what(what) {
  for (const auto& segment : segments)
    m_remaining += segment.size();
}

[[noreturn]] void ContinuedReader::truncated(std::size_t wanted) const {
  throw SheetError(std::string(m_what) + " is truncated: " + std::to_string(wanted) +
                   " more bytes needed, " + std::to_string(m_remaining) + " left");
}

void ContinuedReader::advanceSegment() {
  while (m_segment < m_segments.size() && m_pos == m_segments[m_segment].size()) {
    ++m_segment;
    m_pos = 0;
  }
}

std::uint8_t ContinuedReader::u8() {
  if (m_remaining == 0) truncated(1);
  advanceSegment();
  --m_remaining;
  return m_segments[m_segment][m_pos++];
}

std::uint16_t ContinuedReader::u16() {
  const std::uint8_t low = u8();
  return static_cast<std::uint16_t>(low | u8() << 8);
}

std::uint32_t ContinuedReader::u32() {
  const std::uint32_t low = u16();
  return low | static_cast<std::uint32_t>(u16()) << 16;
}

void ContinuedReader::skip(std::size_t count) {
  if (count > m_remaining) truncated(count);
  m_remaining -= count;
  while (count > 0) {
    advanceSegment();
    const std::size_t take = std::min(count, m_segments[m_segment].size() - m_pos);
    m_pos += take;
    count -= take;
  }
}

void ContinuedReader::unicodeChars(std::size_t count, std::string& out) {
  const std::uint8_t flags = u8();
  bool wide = flags & 0x01;
  const std::size_t runs = flags & 0x08 ? u16() : 0;
  const std::size_t phonetic = flags & 0x04 ? u32() : 0;
  // The text cannot be longer than the bytes left, whatever the count says.
  out.reserve(out.size() + std::min(count, m_remaining) * (wide ? 3 : 1));
  Utf8Writer writer(out);
  while (count > 0) {
    if (m_segment >= m_segments.size()) truncated(count);
    if (m_pos == m_segments[m_segment].size()) {
      // The characters go on in the next CONTINUE, after a new flag byte.
      if (m_segment + 1 >= m_segments.size()) truncated(count);
      ++m_segment;
      m_pos = 0;
      wide = u8() & 0x01;
      continue;
    }
    const auto segment = m_segments[m_segment];
    const std::size_t width = wide ? 2 : 1;
    const std::size_t available = (segment.size() - m_pos) / width;
    if (available == 0) truncated(count * width);
    const std::size_t take = std::min(count, available);
    for (std::size_t i = 0; i < take; ++i) {
      if (wide)
        writer.utf16(
            static_cast<char16_t>(segment[m_pos + 2 * i] | segment[m_pos + 2 * i + 1] << 8));
      else
        writer.latin1(segment[m_pos + i]);
    }
    m_pos += take * width;
    m_remaining -= take * width;
    count -= take;
  }
  writer.flush();
  skip(runs * 4);
  skip(phonetic);
}

}  // namespace vip::sheet
