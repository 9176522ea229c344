#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

struct zip;

namespace vip::sheet {

// The zip package of an .xlsx, read from memory. Parts are inflated in chunks
// and handed to a sink, so a large worksheet never sits in memory whole.
// Guards against zip bombs: the bytes inflated over all parts are capped, and
// a large part may not inflate to more than a set multiple of its compressed
// size. Every failure throws SheetError naming the file.
class XlsxArchive {
 public:
  struct Limits {
    std::uint64_t totalBytes = std::uint64_t{2} << 30;  // over all parts read
    std::uint64_t ratioFloor = 16u << 20;  // parts up to this size skip the ratio check
    std::uint64_t maxRatio = 200;          // inflated : compressed
    // Parts whose compressed size reaches this are inflated a few chunks
    // ahead on a second thread, overlapping with the parse.
    std::uint64_t readAheadFloor = 4u << 20;
  };

  XlsxArchive(std::span<const unsigned char> bytes, std::string fileName, Limits limits);
  XlsxArchive(std::span<const unsigned char> bytes, std::string fileName)
      : XlsxArchive(bytes, std::move(fileName), Limits{}) {}
  ~XlsxArchive();
  XlsxArchive(const XlsxArchive&) = delete;
  XlsxArchive& operator=(const XlsxArchive&) = delete;

  // Part names compare without case and without a leading "/", as package
  // part names do; an entry written with "\" separators (as some Windows
  // tools write them) names the part it would name with "/". A package
  // holding two entries of one name is refused at open: which of them is the
  // part would be a guess.
  bool contains(std::string_view part) const;
  void read(std::string_view part, const std::function<void(std::span<const char>)>& sink);
  // A whole small part (relationships, the workbook), up to `maxBytes`.
  std::string readSmall(std::string_view part, std::size_t maxBytes = 64u << 20);

  const std::string& fileName() const { return m_fileName; }

 private:
  std::optional<std::uint64_t> locate(std::string_view part) const;
  void indexEntries();
  [[noreturn]] void fail(const std::string& reason) const;

  zip* m_zip = nullptr;
  std::unordered_map<std::string, std::uint64_t> m_entries;  // by normalised name
  std::string m_fileName;
  Limits m_limits;
  std::uint64_t m_totalRead = 0;
};

}  // namespace vip::sheet
