#include "sheet/BiffStream.h"

#include <cstdio>
#include <string>

#include "sheet/SheetError.h"

namespace vip::sheet {
namespace {

std::string hexType(std::uint16_t type) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%04X", type);
  return hex;
}

}  // namespace

void BiffStream::seek(std::size_t offset) {
  if (offset > m_stream.size())
    throw SheetError("a sheet is said to start at offset " + std::to_string(offset) +
                     ", past the end of the workbook stream (" + std::to_string(m_stream.size()) +
                     " bytes)");
  m_offset = offset;
}

bool BiffStream::readHeader(std::size_t at, std::uint16_t& type, std::uint16_t& length) const {
  if (at == m_stream.size()) return false;
  if (m_stream.size() - at < 4)
    throw SheetError("the workbook stream is truncated: a record header at offset " +
                     std::to_string(at) + " is cut short");
  type = static_cast<std::uint16_t>(m_stream[at] | m_stream[at + 1] << 8);
  length = static_cast<std::uint16_t>(m_stream[at + 2] | m_stream[at + 3] << 8);
  if (m_stream.size() - at - 4 < length)
    throw SheetError("the workbook stream is truncated: record " + hexType(type) + " at offset " +
                     std::to_string(at) + " declares " + std::to_string(length) + " bytes, " +
                     std::to_string(m_stream.size() - at - 4) + " left");
  return true;
}

bool BiffStream::next(BiffRecord& record) {
  std::uint16_t type = 0, length = 0;
  if (!readHeader(m_offset, type, length)) return false;
  record.type = type;
  record.offset = m_offset;
  record.data = m_stream.subspan(m_offset + 4, length);
  m_offset += 4 + static_cast<std::size_t>(length);
  return true;
}

std::span<const BiffSegment> BiffStream::withContinuations(const BiffRecord& record) {
  m_segments.clear();
  m_segments.push_back({record.data, record.dataOffset()});
  std::uint16_t type = 0, length = 0;
  while (readHeader(m_offset, type, length) && type == kContinue) {
    m_segments.push_back({m_stream.subspan(m_offset + 4, length), m_offset + 4});
    m_offset += 4 + static_cast<std::size_t>(length);
  }
  return m_segments;
}

}  // namespace vip::sheet
