#include "sheet/ContinuedReader.h"

#include <algorithm>

#include "common/Utf8.h"
#include "sheet/SheetError.h"

namespace vip::sheet {
namespace {

// 8-bit characters of a BIFF8 string are Latin-1: runs of ASCII go in whole.
void appendLatin1(std::span<const unsigned char> chars, std::string& out) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < chars.size(); ++i) {
    if (chars[i] < 0x80) continue;
    out.append(reinterpret_cast<const char*>(chars.data()) + start, i - start);
    appendUtf8(out, chars[i]);
    start = i + 1;
  }
  out.append(reinterpret_cast<const char*>(chars.data()) + start, chars.size() - start);
}

}  // namespace

ContinuedReader::ContinuedReader(std::span<const BiffSegment> segments, const char* what)
    : m_segments(segments), m_what(what) {
  for (const auto& segment : segments)
    m_remaining += segment.data.size();
}

std::size_t ContinuedReader::streamOffset() const {
  if (m_segments.empty()) return 0;
  if (m_segment >= m_segments.size())
    return m_segments.back().offset + m_segments.back().data.size();
  return m_segments[m_segment].offset + m_pos;
}

[[noreturn]] void ContinuedReader::truncated(std::size_t wanted) const {
  throw SheetError(std::string(m_what) + " is truncated: " + std::to_string(wanted) +
                   " more bytes needed at offset " + std::to_string(streamOffset()) + ", " +
                   std::to_string(m_remaining) + " left");
}

void ContinuedReader::need(std::size_t count) const {
  if (count > m_remaining) truncated(count);
}

void ContinuedReader::advanceSegment() {
  while (m_segment < m_segments.size() && m_pos == m_segments[m_segment].data.size()) {
    ++m_segment;
    m_pos = 0;
  }
}

std::uint8_t ContinuedReader::u8() {
  need(1);
  advanceSegment();
  --m_remaining;
  return m_segments[m_segment].data[m_pos++];
}

std::uint16_t ContinuedReader::u16() {
  need(2);
  const std::uint8_t low = u8();
  return static_cast<std::uint16_t>(low | u8() << 8);
}

std::uint32_t ContinuedReader::u32() {
  need(4);
  const std::uint32_t low = u16();
  return low | static_cast<std::uint32_t>(u16()) << 16;
}

void ContinuedReader::skip(std::size_t count) {
  need(count);
  m_remaining -= count;
  while (count > 0) {
    advanceSegment();
    const std::size_t take = std::min(count, m_segments[m_segment].data.size() - m_pos);
    m_pos += take;
    count -= take;
  }
}

void ContinuedReader::unicodeChars(std::size_t count, std::string& out) {
  if (count == 0 && m_remaining == 0) return;
  const std::uint8_t flags = u8();
  bool wide = flags & 0x01;
  const std::size_t runs = flags & 0x08 ? u16() : 0;
  const std::size_t phonetic = flags & 0x04 ? u32() : 0;
  // The text cannot be longer than the bytes left, whatever the count says.
  out.reserve(out.size() + std::min(count, m_remaining) * (wide ? 3 : 1));
  Utf16ToUtf8 writer(out);
  while (count > 0) {
    if (m_segment >= m_segments.size()) truncated(count * (wide ? 2 : 1));
    if (m_pos == m_segments[m_segment].data.size()) {
      // The characters go on in the next CONTINUE, after a new flag byte.
      if (m_segment + 1 >= m_segments.size()) truncated(count * (wide ? 2 : 1));
      ++m_segment;
      m_pos = 0;
      wide = u8() & 0x01;
      continue;
    }
    const auto segment = m_segments[m_segment].data;
    const std::size_t width = wide ? 2 : 1;
    const std::size_t available = (segment.size() - m_pos) / width;
    if (available == 0) truncated(count * width);
    const std::size_t take = std::min(count, available);
    if (wide) {
      for (std::size_t i = 0; i < take; ++i)
        writer.unit(
            static_cast<char16_t>(segment[m_pos + 2 * i] | segment[m_pos + 2 * i + 1] << 8));
    } else {
      writer.finish();  // a high surrogate that ended its segment stays alone
      appendLatin1(segment.subspan(m_pos, take), out);
    }
    m_pos += take * width;
    m_remaining -= take * width;
    count -= take;
  }
  writer.finish();
  skip(runs * 4);
  skip(phonetic);
}

}  // namespace vip::sheet
