#include "sheet/CompoundFile.h"

#include <algorithm>
#include <array>
#include <string>

#include "sheet/ByteReader.h"
#include "sheet/SheetError.h"

namespace vip::sheet {
namespace {

constexpr unsigned char kSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::uint32_t kHeaderDifatEntries = 109;
constexpr std::uint32_t kDirEntrySize = 128;
constexpr std::uint32_t kMiniSectorSize = 64;
constexpr std::uint8_t kStreamEntry = 2;
constexpr std::uint8_t kRootEntry = 5;

[[noreturn]] void damaged(const std::string& reason) {
  throw SheetError("damaged compound file: " + reason);
}

bool sameName(const std::u16string& stored, std::string_view wanted) {
  if (stored.size() != wanted.size()) return false;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const char16_t a = stored[i] < 0x80 && stored[i] >= 'A' && stored[i] <= 'Z'
                           ? static_cast<char16_t>(stored[i] + 32)
                           : stored[i];
    char b = wanted[i];
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
    if (a != static_cast<unsigned char>(b)) return false;
  }
  return true;
}

}  // namespace

CompoundFile::CompoundFile(std::span<const unsigned char> bytes) : m_bytes(bytes) {
  readHeader();
  loadFat();
  loadDirectory();
}

void CompoundFile::readHeader() {
  ByteReader header(m_bytes, "compound file header");
  const auto signature = header.bytes(sizeof kSignature);
  if (!std::equal(signature.begin(), signature.end(), kSignature))
    damaged("the signature is missing");
  header.skip(16 + 2);  // class id, minor version
  const std::uint16_t major = header.u16();
  const std::uint16_t byteOrder = header.u16();
  const std::uint16_t sectorShift = header.u16();
  const std::uint16_t miniShift = header.u16();
  if (byteOrder != 0xFFFE) damaged("unknown byte order mark");
  if (!((major == 3 && sectorShift == 9) || (major == 4 && sectorShift == 12)))
    damaged("unsupported version " + std::to_string(major) + " with sector shift " +
            std::to_string(sectorShift));
  if (miniShift != 6) damaged("unsupported mini sector shift " + std::to_string(miniShift));
  header.skip(6 + 4);  // reserved, directory sector count (0 in version 3)
  m_fatSectors = header.u32();
  m_firstDirSector = header.u32();
  header.skip(4);  // transaction signature
  m_miniCutoff = header.u32();
  m_firstMiniFatSector = header.u32();
  m_miniFatSectors = header.u32();
  m_firstDifatSector = header.u32();
  m_difatSectors = header.u32();
  if (m_miniCutoff != 4096)
    damaged("unexpected mini stream cutoff " + std::to_string(m_miniCutoff));

  m_sectorSize = 1u << sectorShift;
  if (m_bytes.size() < m_sectorSize) damaged("the file ends inside its header");
  // Sector counts come from the file's real length; a final sector that the
  // writer left short still counts, and each read checks its own end.
  const std::size_t body = m_bytes.size() - m_sectorSize;
  const std::size_t count = (body + m_sectorSize - 1) / m_sectorSize;
  m_sectorCount = static_cast<std::uint32_t>(std::min<std::size_t>(count, kMaxRegularSector));
}

std::size_t CompoundFile::sectorOffset(std::uint32_t id) const {
  return (static_cast<std::size_t>(id) + 1) * m_sectorSize;
}

std::span<const unsigned char> CompoundFile::sector(std::uint32_t id) const {
  if (id >= m_sectorCount)
    damaged("sector " + std::to_string(id) + " lies past the end of the file (" +
            std::to_string(m_sectorCount) + " sectors)");
  const std::size_t offset = sectorOffset(id);
  const std::size_t length = std::min<std::size_t>(m_sectorSize, m_bytes.size() - offset);
  return m_bytes.subspan(offset, length);
}

void CompoundFile::loadFat() {
  // The FAT's own sectors are listed by the DIFAT: 109 ids in the header,
  // the rest in a chain of DIFAT sectors whose last id points to the next.
  std::vector<std::uint32_t> fatSectors;
  const std::uint32_t wanted = std::min(m_fatSectors, m_sectorCount);
  if (m_fatSectors > m_sectorCount)
    damaged("the header lists " + std::to_string(m_fatSectors) + " FAT sectors in a file of " +
            std::to_string(m_sectorCount) + " sectors");
  fatSectors.reserve(wanted);
  ByteReader header(m_bytes, "compound file header");
  header.seek(76);
  for (std::uint32_t i = 0; i < kHeaderDifatEntries && fatSectors.size() < wanted; ++i)
    fatSectors.push_back(header.u32());

  const std::uint32_t perDifatSector = m_sectorSize / 4 - 1;
  std::uint32_t next = m_firstDifatSector;
  std::vector<bool> visited;
  while (fatSectors.size() < wanted) {
    if (next == kEndOfChain || next == kFreeSector)
      damaged("the DIFAT ends after " + std::to_string(fatSectors.size()) + " of " +
              std::to_string(wanted) + " FAT sectors");
    if (visited.empty()) visited.resize(m_sectorCount, false);
    if (next < m_sectorCount && visited[next]) damaged("the DIFAT chain runs in a cycle");
    if (next < m_sectorCount) visited[next] = true;
    ByteReader difat(sector(next), "DIFAT sector", sectorOffset(next));
    for (std::uint32_t i = 0; i < perDifatSector && fatSectors.size() < wanted; ++i)
      fatSectors.push_back(difat.u32());
    difat.seek(static_cast<std::size_t>(perDifatSector) * 4);
    next = difat.u32();
  }

  // Entries past the file's last sector could only point nowhere, so the
  // table is cut to the sector count.
  m_fat.reserve(m_sectorCount);
  for (const std::uint32_t id : fatSectors) {
    // A FAT sector cut short by the end of the file describes only the
    // sectors its bytes reach.
    ByteReader reader(sector(id), "FAT sector", sectorOffset(id));
    while (reader.remaining() >= 4 && m_fat.size() < m_sectorCount)
      m_fat.push_back(reader.u32());
  }
}

std::vector<std::uint32_t> CompoundFile::chain(std::uint32_t start,
                                               const std::vector<std::uint32_t>& table,
                                               const char* what) const {
  std::vector<std::uint32_t> sectors;
  for (std::uint32_t id = start; id != kEndOfChain;) {
    if (id >= table.size())
      damaged(std::string(what) + " refers to sector " + std::to_string(id) + ", past the " +
              std::to_string(table.size()) + " the file holds");
    if (sectors.size() >= table.size()) damaged(std::string(what) + " runs in a cycle");
    sectors.push_back(id);
    id = table[id];
  }
  return sectors;
}

std::span<const unsigned char> CompoundFile::readChain(const std::vector<std::uint32_t>& sectors,
                                                       std::uint64_t size, const char* what) {
  const std::uint64_t capacity = static_cast<std::uint64_t>(sectors.size()) * m_sectorSize;
  if (size > capacity)
    damaged(std::string(what) + " declares " + std::to_string(size) +
            " bytes but its chain holds " + std::to_string(capacity));
  const auto length = static_cast<std::size_t>(size);
  // A stream written in consecutive sectors is read in place, without a copy.
  bool consecutive = true;
  for (std::size_t i = 1; i < sectors.size() && consecutive; ++i)
    consecutive = sectors[i] == sectors[i - 1] + 1;
  if (sectors.empty()) return {};
  const std::size_t begin = (static_cast<std::size_t>(sectors.front()) + 1) * m_sectorSize;
  if (consecutive) {
    if (begin > m_bytes.size() || m_bytes.size() - begin < length)
      damaged(std::string(what) + " runs past the end of the file");
    return m_bytes.subspan(begin, length);
  }
  std::vector<unsigned char> copy;
  copy.reserve(length);
  for (const std::uint32_t id : sectors) {
    if (copy.size() == length) break;
    const auto data = sector(id);
    const std::size_t take = std::min<std::size_t>(data.size(), length - copy.size());
    if (take < std::min<std::size_t>(m_sectorSize, length - copy.size()))
      damaged(std::string(what) + " runs past the end of the file");
    copy.insert(copy.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(take));
  }
  m_copies.push_back(std::move(copy));
  return m_copies.back();
}

void CompoundFile::loadDirectory() {
  const auto sectors = chain(m_firstDirSector, m_fat, "the directory chain");
  const std::size_t perSector = m_sectorSize / kDirEntrySize;
  m_entries.reserve(sectors.size() * perSector);
  for (const std::uint32_t id : sectors) {
    const auto data = sector(id);
    for (std::size_t i = 0; i < perSector; ++i) {
      // Some writers end the file inside its last sector instead of filling
      // it: the entries there read as if the sector were padded with zeros.
      std::array<unsigned char, kDirEntrySize> raw{};
      const std::size_t begin = std::min(data.size(), i * kDirEntrySize);
      const std::size_t length = std::min<std::size_t>(kDirEntrySize, data.size() - begin);
      std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(begin), length, raw.begin());
      ByteReader reader(raw, "directory entry", sectorOffset(id) + i * kDirEntrySize);
      Entry entry;
      const auto rawName = reader.bytes(64);
      const std::uint16_t nameBytes = reader.u16();
      entry.type = reader.u8();
      reader.skip(1);  // red-black colour
      entry.left = reader.u32();
      entry.right = reader.u32();
      entry.child = reader.u32();
      reader.skip(16 + 4 + 16);  // class id, state bits, times
      entry.start = reader.u32();
      entry.size = reader.u64();
      if (m_sectorSize == 512) entry.size &= 0xFFFFFFFFu;  // version 3 keeps 32 bits
      const std::size_t chars = std::min<std::size_t>(nameBytes, 64) / 2;
      for (std::size_t c = 0; c < chars; ++c) {
        const auto unit = static_cast<char16_t>(rawName[2 * c] | rawName[2 * c + 1] << 8);
        if (unit == 0) break;
        entry.name.push_back(unit);
      }
      m_entries.push_back(std::move(entry));
    }
  }
  if (m_entries.empty() || m_entries.front().type != kRootEntry)
    damaged("the directory has no root entry");
}

void CompoundFile::loadMiniStream() {
  if (!m_miniFat.empty() || m_miniFatSectors == 0) return;
  const auto fatChain = chain(m_firstMiniFatSector, m_fat, "the mini FAT chain");
  for (const std::uint32_t id : fatChain) {
    ByteReader reader(sector(id), "mini FAT sector", sectorOffset(id));
    while (reader.remaining() >= 4)
      m_miniFat.push_back(reader.u32());
  }
  // The mini stream is copied as far as the file holds it: a small stream
  // that lies in a part the file lacks is refused when it is read.
  const Entry& root = m_entries.front();
  const auto sectors = chain(root.start, m_fat, "the mini stream chain");
  const std::uint64_t capacity = static_cast<std::uint64_t>(sectors.size()) * m_sectorSize;
  if (root.size > capacity)
    damaged("the mini stream declares " + std::to_string(root.size) +
            " bytes but its chain holds " + std::to_string(capacity));
  const auto size = static_cast<std::size_t>(root.size);
  m_miniStream.reserve(size);
  for (const std::uint32_t id : sectors) {
    const auto data = sector(id);
    const std::size_t take = std::min(data.size(), size - m_miniStream.size());
    m_miniStream.insert(m_miniStream.end(), data.begin(),
                        data.begin() + static_cast<std::ptrdiff_t>(take));
    if (take < m_sectorSize) break;
  }
  // The mini FAT cannot describe more sectors than the mini stream holds.
  m_miniFat.resize(std::min<std::size_t>(m_miniFat.size(), m_miniStream.size() / kMiniSectorSize));
}

const CompoundFile::Entry* CompoundFile::findInRoot(std::string_view name) const {
  // The root's children form a tree through left and right siblings; walk it
  // with an explicit stack, visiting each entry at most once.
  std::vector<std::uint32_t> stack{m_entries.front().child};
  std::vector<bool> seen(m_entries.size(), false);
  while (!stack.empty()) {
    const std::uint32_t id = stack.back();
    stack.pop_back();
    if (id == kNoStream) continue;
    if (id >= m_entries.size()) damaged("a directory entry refers to entry " + std::to_string(id));
    if (seen[id]) damaged("the directory tree runs in a cycle");
    seen[id] = true;
    const Entry& entry = m_entries[id];
    if (entry.type == kStreamEntry && sameName(entry.name, name)) return &entry;
    stack.push_back(entry.left);
    stack.push_back(entry.right);
  }
  return nullptr;
}

std::optional<std::span<const unsigned char>> CompoundFile::stream(std::string_view name) {
  const Entry* entry = findInRoot(name);
  if (!entry) return std::nullopt;
  if (entry->size >= m_miniCutoff)
    return readChain(chain(entry->start, m_fat, "a stream's sector chain"), entry->size,
                     "the workbook stream");

  // Small streams live in 64-byte sectors inside the root's mini stream.
  loadMiniStream();
  const auto sectors = chain(entry->start, m_miniFat, "a stream's mini sector chain");
  if (entry->size > static_cast<std::uint64_t>(sectors.size()) * kMiniSectorSize)
    damaged("a small stream declares " + std::to_string(entry->size) +
            " bytes but its chain holds " + std::to_string(sectors.size() * kMiniSectorSize));
  std::vector<unsigned char> copy;
  copy.reserve(static_cast<std::size_t>(entry->size));
  for (const std::uint32_t id : sectors) {
    if (copy.size() == entry->size) break;
    const std::size_t offset = static_cast<std::size_t>(id) * kMiniSectorSize;
    const std::size_t take =
        std::min<std::size_t>(kMiniSectorSize, static_cast<std::size_t>(entry->size) - copy.size());
    if (offset + take > m_miniStream.size()) damaged("a small stream runs past the mini stream");
    copy.insert(copy.end(), m_miniStream.begin() + static_cast<std::ptrdiff_t>(offset),
                m_miniStream.begin() + static_cast<std::ptrdiff_t>(offset + take));
  }
  m_copies.push_back(std::move(copy));
  return m_copies.back();
}

}  // namespace vip::sheet
