#include "sheet/XlsxWriter.h"

#include <xlsxwriter.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/Messages.h"
#include "sheet/SheetError.h"

namespace vip::sheet {

namespace {

bool isHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "_x" followed by four hexadecimal digits and "_" at `at`.
bool escapeAt(std::string_view text, std::size_t at) {
  if (at + 7 > text.size() || text[at] != '_' || text[at + 1] != 'x' || text[at + 6] != '_')
    return false;
  return isHex(text[at + 2]) && isHex(text[at + 3]) && isHex(text[at + 4]) && isHex(text[at + 5]);
}

[[noreturn]] void fail(const std::string& path, const std::string& why) {
  throw SheetError("Cannot write the workbook '" + vip::messageText(path) + "': " + why);
}

}  // namespace

std::string escapedCellText(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (escapeAt(text, i)) {
      out += "_x005F";  // an escaped underscore: the rest is read as it stands
    } else if (byte < 0x20 && text[i] != '\t' && text[i] != '\n') {
      // XML reads a carriage return as a line feed, and has no other
      // control characters at all.
      out += "_x00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
      out += '_';
      continue;
    }
    out += text[i];
  }
  return out;
}

struct XlsxWriter::Workbook {
  lxw_workbook* workbook = nullptr;
  lxw_worksheet* sheet = nullptr;
  lxw_row_t nextRow = 0;
};

XlsxWriter::XlsxWriter(const std::string& path)
    : m_workbook(std::make_unique<Workbook>()), m_path(path) {
  // A file that cannot be made fails here, with the system's reason, not
  // after every row has been written.
  if (std::FILE* probe = std::fopen(path.c_str(), "wb")) {
    std::fclose(probe);
  } else {
    fail(path, std::strerror(errno));
  }
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  m_workbook->workbook = workbook_new_opt(path.c_str(), &options);
  if (m_workbook->workbook == nullptr) fail(path, "the workbook could not be started");
}

XlsxWriter::~XlsxWriter() {
  // A workbook never closed is written as far as it got, errors unheard.
  if (m_workbook && m_workbook->workbook != nullptr) workbook_close(m_workbook->workbook);
}

void XlsxWriter::addSheet(const std::string& name) {
  m_workbook->sheet = workbook_add_worksheet(m_workbook->workbook, name.c_str());
  if (m_workbook->sheet == nullptr) fail(m_path, "no sheet named '" + name + "' could be added");
  m_workbook->nextRow = 0;
}

void XlsxWriter::addRow(const std::vector<std::string>& cells) {
  if (m_workbook->sheet == nullptr) addSheet("Sheet1");
  if (m_workbook->nextRow >= LXW_ROW_MAX) fail(m_path, "a sheet holds at most 1048576 rows");
  const lxw_row_t row = m_workbook->nextRow++;
  for (std::size_t col = 0; col < cells.size(); ++col) {
    if (cells[col].empty()) continue;
    if (col >= LXW_COL_MAX) fail(m_path, "a sheet holds at most 16384 columns");
    const std::string text = escapedCellText(cells[col]);
    const lxw_error rc = worksheet_write_string(m_workbook->sheet, row, static_cast<lxw_col_t>(col),
                                                text.c_str(), nullptr);
    if (rc != LXW_NO_ERROR) fail(m_path, lxw_strerror(rc));
  }
}

void XlsxWriter::close() {
  lxw_workbook* workbook = m_workbook->workbook;
  m_workbook->workbook = nullptr;
  const lxw_error rc = workbook_close(workbook);
  if (rc != LXW_NO_ERROR) fail(m_path, lxw_strerror(rc));
}

}  // namespace vip::sheet
