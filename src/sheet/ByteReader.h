#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "sheet/SheetError.h"

namespace vip::sheet {

// Reads little-endian values from untrusted bytes. Every read checks the
// length first and throws SheetError naming the structure and the offset, so
// a parser never reads past what the file really holds. `base` is where the
// bytes start in the stream or file they come from, so that messages give
// offsets there rather than inside one record.
class ByteReader {
 public:
  ByteReader(std::span<const unsigned char> bytes, const char* what, std::size_t base = 0)
      : m_bytes(bytes), m_what(what), m_base(base) {}

  std::size_t remaining() const { return m_bytes.size() - m_offset; }

  std::uint8_t u8() {
    need(1);
    return m_bytes[m_offset++];
  }
  std::uint16_t u16() {
    need(2);
    const auto value = static_cast<std::uint16_t>(m_bytes[m_offset] | m_bytes[m_offset + 1] << 8);
    m_offset += 2;
    return value;
  }
  std::uint32_t u32() {
    need(4);
    const std::uint32_t value = static_cast<std::uint32_t>(m_bytes[m_offset]) |
                                static_cast<std::uint32_t>(m_bytes[m_offset + 1]) << 8 |
                                static_cast<std::uint32_t>(m_bytes[m_offset + 2]) << 16 |
                                static_cast<std::uint32_t>(m_bytes[m_offset + 3]) << 24;
    m_offset += 4;
    return value;
  }
  std::uint64_t u64() {
    need(8);
    const std::uint64_t low = u32();
    return low | static_cast<std::uint64_t>(u32()) << 32;
  }
  double f64() {
    const std::uint64_t bits = u64();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  std::span<const unsigned char> bytes(std::size_t count) {
    need(count);
    const auto out = m_bytes.subspan(m_offset, count);
    m_offset += count;
    return out;
  }
  void skip(std::size_t count) {
    need(count);
    m_offset += count;
  }
  void seek(std::size_t offset) {
    if (offset > m_bytes.size())
      throw SheetError(std::string(m_what) + ": offset " + std::to_string(m_base + offset) +
                       " lies past its end (" + std::to_string(m_bytes.size()) + " bytes)");
    m_offset = offset;
  }

 private:
  void need(std::size_t count) const {
    if (count > remaining())
      throw SheetError(std::string(m_what) + " is truncated: " + std::to_string(count) +
                       " bytes needed at offset " + std::to_string(m_base + m_offset) + ", " +
                       std::to_string(remaining()) + " left");
  }

  std::span<const unsigned char> m_bytes;
  const char* m_what;
  std::size_t m_base;
  std::size_t m_offset = 0;
};

}  // namespace vip::sheet
