// Reads every cell's text of a workbook's first worksheet the way the import
// does (rows 1..rowCount, columns 1..colCount), and prints a summary that the
// peer walks print too, so the figures of all sides describe the same work.
//
// Usage: sheet_walk [--row-cells] WORKBOOK
//   --row-cells  walk only the cells present in each row (rowCells) instead
//                of asking for every column of the used range
// stdout: "rows R cols C cells N bytes B"; stderr: open and walk times.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "sheet/Workbook.h"

namespace {

struct Totals {
  std::uint64_t cells = 0;
  std::uint64_t bytes = 0;
  std::uint64_t errors = 0;
};

// The import reads each column of the used range, so every position counts as
// a cell, empty or not; a cell whose value has no text counts as an error.
void walkEveryColumn(const vip::sheet::Workbook& book, Totals& totals) {
  const int rows = book.rowCount();
  const int cols = book.colCount();
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      ++totals.cells;
      try {
        totals.bytes += book.cellText(r, c).size();
      } catch (const vip::sheet::SheetError&) {
        ++totals.errors;
      }
    }
  }
}

void walkPresentCells(const vip::sheet::Workbook& book, Totals& totals) {
  const int rows = book.rowCount();
  const int cols = book.colCount();
  for (int r = 1; r <= rows; ++r) {
    for (const vip::sheet::Cell& cell : book.rowCells(r)) {
      try {
        totals.bytes += book.cellText(cell).size();
      } catch (const vip::sheet::SheetError&) {
        ++totals.errors;
      }
    }
  }
  // Same count as the full walk: the positions of the used range.
  totals.cells = static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(cols);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  bool presentOnly = false;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--row-cells") {
      presentOnly = true;
    } else if (path.empty() && !arg.starts_with("-")) {
      path = arg;
    } else {
      path.clear();
      break;
    }
  }
  if (path.empty()) {
    std::fprintf(stderr, "usage: sheet_walk [--row-cells] WORKBOOK\n");
    return 2;
  }
  try {
    const auto start = std::chrono::steady_clock::now();
    auto book = vip::sheet::Workbook::open(path);
    const double openSeconds = secondsSince(start);
    const auto walkStart = std::chrono::steady_clock::now();
    Totals totals;
    if (presentOnly) {
      walkPresentCells(*book, totals);
    } else {
      walkEveryColumn(*book, totals);
    }
    const double walkSeconds = secondsSince(walkStart);
    std::printf("rows %d cols %d cells %llu bytes %llu\n", book->rowCount(), book->colCount(),
                static_cast<unsigned long long>(totals.cells),
                static_cast<unsigned long long>(totals.bytes));
    std::fprintf(stderr, "open %.3f s, walk %.3f s, unreadable cells %llu\n", openSeconds,
                 walkSeconds, static_cast<unsigned long long>(totals.errors));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
