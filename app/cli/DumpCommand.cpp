#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "Commands.h"
#include "Options.h"
#include "sheet/SheetError.h"
#include "sheet/Workbook.h"

namespace vip::cli {
namespace {

constexpr const char* kDumpUsage =
    "usage: vipimport-cli dump WORKBOOK\n"
    "\n"
    "Shows a workbook (.xls or .xlsx) as the import reads it, as JSON Lines:\n"
    "first {\"rows\": R, \"cols\": C}, then one JSON array of C cell texts per\n"
    "sheet row 1..R; a cell that cannot be read shows as {\"error\": \"...\"}.\n";

// Output goes through one buffer written in large blocks.
class JsonLinesWriter {
 public:
  ~JsonLinesWriter() { flush(); }
  JsonLinesWriter() { m_buffer.reserve(kBlock + 4096); }
  JsonLinesWriter(const JsonLinesWriter&) = delete;
  JsonLinesWriter& operator=(const JsonLinesWriter&) = delete;

  void raw(std::string_view text) {
    m_buffer.append(text);
    if (m_buffer.size() >= kBlock) flush();
  }
  void string(std::string_view text) {
    m_buffer.push_back('"');
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        m_buffer.push_back('\\');
        m_buffer.push_back(c);
      } else if (byte < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
        m_buffer.append(escaped);
      } else {
        m_buffer.push_back(c);
      }
    }
    m_buffer.push_back('"');
    if (m_buffer.size() >= kBlock) flush();
  }
  void flush() {
    if (!m_buffer.empty()) std::fwrite(m_buffer.data(), 1, m_buffer.size(), stdout);
    m_buffer.clear();
  }

 private:
  static constexpr std::size_t kBlock = 1 << 16;
  std::string m_buffer;
};

void writeRow(const sheet::Workbook& workbook, int row, int cols, JsonLinesWriter& out) {
  out.raw("[");
  // Only the cells present are converted; the empty ones between are written
  // as "" without a look-up each.
  int next = 1;
  for (const sheet::Cell& cell : workbook.rowCells(row)) {
    const auto col = static_cast<int>(cell.col);
    if (col > cols) break;
    for (; next < col; ++next)
      out.raw(next == 1 ? "\"\"" : ",\"\"");
    if (col > 1) out.raw(",");
    try {
      out.string(workbook.cellText(cell));
    } catch (const sheet::SheetError& error) {
      out.raw("{\"error\": ");
      out.string(error.what());
      out.raw("}");
    }
    next = col + 1;
  }
  for (; next <= cols; ++next)
    out.raw(next == 1 ? "\"\"" : ",\"\"");
  out.raw("]\n");
}

}  // namespace

int runDump(const std::vector<std::string>& args) {
  std::string path;
  Options options("vipimport-cli dump", kDumpUsage);
  options.operand("WORKBOOK", path);
  if (const auto stop = options.parse(args)) return *stop;

  std::unique_ptr<sheet::Workbook> workbook;
  try {
    workbook = sheet::Workbook::open(path);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }

  const int rows = workbook->rowCount();
  const int cols = workbook->colCount();
  JsonLinesWriter out;
  out.raw("{\"rows\": " + std::to_string(rows) + ", \"cols\": " + std::to_string(cols) + "}\n");
  for (int row = 1; row <= rows; ++row)
    writeRow(*workbook, row, cols, out);
  out.flush();
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace vip::cli
