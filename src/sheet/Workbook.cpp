#include "sheet/Workbook.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "sheet/CellText.h"
#include "sheet/XlsReader.h"
#include "sheet/XlsxReader.h"

namespace vip::sheet {
namespace {

constexpr unsigned char kCompoundFileSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr unsigned char kZipSignature[] = {'P', 'K', 0x03, 0x04};

template <std::size_t N>
bool startsWith(std::span<const unsigned char> bytes, const unsigned char (&signature)[N]) {
  return bytes.size() >= N && std::memcmp(bytes.data(), signature, N) == 0;
}

std::vector<unsigned char> readWholeFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw SheetError(path + ": cannot open the workbook: " + std::strerror(errno));
  // One read into a buffer of the file's size, so the bytes are held once;
  // the loop after it only matters for a file that grows or has no size.
  std::vector<unsigned char> bytes;
  struct stat info {};
  if (fstat(fileno(file), &info) == 0 && info.st_size > 0) {
    bytes.resize(static_cast<std::size_t>(info.st_size));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  }
  unsigned char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + got);
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) throw SheetError(path + ": cannot read the workbook: " + std::strerror(error));
  return bytes;
}

}  // namespace

std::unique_ptr<Workbook> Workbook::open(const std::string& path, const FormatSettings& settings) {
  const std::vector<unsigned char> bytes = readWholeFile(path);
  return fromBytes(bytes, path, settings);
}

std::unique_ptr<Workbook> Workbook::fromBytes(std::span<const unsigned char> bytes,
                                              const std::string& name,
                                              const FormatSettings& settings) {
  if (bytes.empty()) throw SheetError(name + ": the file is empty, not an Excel workbook");
  if (startsWith(bytes, kCompoundFileSignature))
    return std::make_unique<Workbook>(readXls(bytes, name), settings);
  if (startsWith(bytes, kZipSignature))
    return std::make_unique<Workbook>(readXlsx(bytes, name), settings);
  if (isBiffStream(bytes)) return std::make_unique<Workbook>(readBiffStream(bytes, name), settings);
  throw SheetError(name + ": not an Excel workbook (.xls or .xlsx)");
}

Workbook::Workbook(SheetData sheet, const FormatSettings& settings)
    : m_sheet(std::move(sheet)), m_settings(settings) {}

int Workbook::rowCount() const {
  return static_cast<int>(m_sheet.lastRow());
}

int Workbook::colCount() const {
  return static_cast<int>(m_sheet.lastCol());
}

std::string Workbook::cellText(int row, int col) const {
  if (row < 1 || col < 1) return {};
  const Cell* cell = m_sheet.find(static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(col));
  return cell ? sheet::cellText(*cell, m_sheet, m_settings) : std::string();
}

std::span<const Cell> Workbook::rowCells(int row) const {
  if (row < 1) return {};
  return m_sheet.rowCells(static_cast<std::uint32_t>(row));
}

std::string Workbook::cellText(const Cell& cell) const {
  return sheet::cellText(cell, m_sheet, m_settings);
}

void Workbook::close() {
  m_sheet = SheetData();
}

}  // namespace vip::sheet
