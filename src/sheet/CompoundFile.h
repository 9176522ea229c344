#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vip::sheet {

// The OLE2 compound file that holds an .xls: a little file system of sectors
// chained through the FAT. Opening checks the header and loads the FAT, the
// mini FAT and the directory; every chain walk is bounded by the number of
// sectors the file really has, so a cycle or a wild sector id is refused.
// Throws SheetError on any damage.
class CompoundFile {
 public:
  explicit CompoundFile(std::span<const unsigned char> bytes);

  // The bytes of a stream stored directly in the root storage, its name
  // compared without regard to ASCII case; nullopt when there is none. The
  // span stays valid while this object lives.
  std::optional<std::span<const unsigned char>> stream(std::string_view name);
  // Whether the root storage holds a stream of that name, without reading it.
  bool contains(std::string_view name) const { return findInRoot(name) != nullptr; }

 private:
  struct Entry {
    std::u16string name;
    std::uint8_t type = 0;
    std::uint32_t left = 0, right = 0, child = 0;
    std::uint32_t start = 0;
    std::uint64_t size = 0;
  };

  void readHeader();
  void loadFat();
  void loadDirectory();
  void loadMiniStream();
  std::vector<std::uint32_t> chain(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                   const char* what) const;
  std::size_t sectorOffset(std::uint32_t id) const;
  std::span<const unsigned char> sector(std::uint32_t id) const;
  std::span<const unsigned char> readChain(const std::vector<std::uint32_t>& sectors,
                                           std::uint64_t size, const char* what);
  const Entry* findInRoot(std::string_view name) const;

  std::span<const unsigned char> m_bytes;
  std::uint32_t m_sectorSize = 512;
  std::uint32_t m_sectorCount = 0;
  std::uint32_t m_miniCutoff = 4096;
  std::uint32_t m_firstDirSector = 0, m_firstMiniFatSector = 0, m_miniFatSectors = 0;
  std::uint32_t m_firstDifatSector = 0, m_difatSectors = 0, m_fatSectors = 0;
  std::vector<std::uint32_t> m_fat;
  std::vector<std::uint32_t> m_miniFat;
  std::vector<Entry> m_entries;
  std::vector<unsigned char> m_miniStream;
  std::vector<std::vector<unsigned char>> m_copies;  // streams not stored in one piece
};

}  // namespace vip::sheet
