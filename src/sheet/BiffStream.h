#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vip::sheet {

// A run of a record's data and where it starts in the workbook stream, so
// that a parser's messages can say where in the stream it stopped.
struct BiffSegment {
  std::span<const unsigned char> data;
  std::size_t offset = 0;
};

// One BIFF record: its type and its data, which a record parser reads through
// a ByteReader or, for strings that may run on, a ContinuedReader.
struct BiffRecord {
  std::uint16_t type = 0;
  std::span<const unsigned char> data;
  std::size_t offset = 0;  // of the record header in the stream

  std::size_t dataOffset() const { return offset + 4; }
};

// Walks the records of a workbook stream. A record whose declared length runs
// past the stream refuses the file; nothing is read beyond the stream.
class BiffStream {
 public:
  static constexpr std::uint16_t kContinue = 0x003C;

  explicit BiffStream(std::span<const unsigned char> stream) : m_stream(stream) {}

  std::size_t size() const { return m_stream.size(); }
  void seek(std::size_t offset);
  // False at the end of the stream.
  bool next(BiffRecord& record);
  // The record just read followed by the CONTINUE records after it, which
  // are consumed. The span stays valid until the next call.
  std::span<const BiffSegment> withContinuations(const BiffRecord& record);

 private:
  bool readHeader(std::size_t at, std::uint16_t& type, std::uint16_t& length) const;

  std::span<const unsigned char> m_stream;
  std::size_t m_offset = 0;
  std::vector<BiffSegment> m_segments;
};

}  // namespace vip::sheet
