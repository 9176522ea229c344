#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sheet/SheetData.h"
#include "sheet/SheetError.h"

namespace vip::sheet {
namespace {

Cell number(std::uint32_t col, double value) {
  Cell cell;
  cell.col = col;
  cell.kind = CellKind::Number;
  cell.number = value;
  return cell;
}

Cell blank(std::uint32_t col) {
  Cell cell;
  cell.col = col;
  return cell;
}

double at(const SheetData& sheet, std::uint32_t row, std::uint32_t col) {
  const Cell* cell = sheet.find(row, col);
  return cell && cell->kind == CellKind::Number ? cell->number : -1;
}

std::vector<std::uint32_t> columns(const SheetData& sheet, std::uint32_t row) {
  std::vector<std::uint32_t> out;
  for (const Cell& cell : sheet.rowCells(row))
    out.push_back(cell.col);
  return out;
}

TEST(SheetData, InOrderAndOutOfOrderGiveTheSameIndex) {
  // (row, col, value) in the order a writer stored them; the second list
  // stores the same cells backwards.
  const std::vector<std::tuple<std::uint32_t, std::uint32_t, double>> cells = {
      {1, 1, 11}, {1, 2, 12}, {1, 5, 15}, {3, 2, 32}, {3, 3, 33}, {3, 4, 34}, {7, 1, 71}};
  SheetData forward, backward;
  for (const auto& [row, col, value] : cells)
    forward.addCell(row, number(col, value));
  for (auto it = cells.rbegin(); it != cells.rend(); ++it)
    backward.addCell(std::get<0>(*it), number(std::get<1>(*it), std::get<2>(*it)));
  for (SheetData* sheet : {&forward, &backward}) {
    sheet->finish();
    EXPECT_EQ(sheet->lastRow(), 7u);
    EXPECT_EQ(sheet->lastCol(), 5u);
    for (const auto& [row, col, value] : cells)
      EXPECT_EQ(at(*sheet, row, col), value) << row << "," << col;
    EXPECT_EQ(sheet->find(1, 3), nullptr);  // a gap in a sparse row
    EXPECT_EQ(sheet->find(1, 6), nullptr);
    EXPECT_EQ(sheet->find(2, 1), nullptr);  // an empty row
    EXPECT_EQ(sheet->find(8, 1), nullptr);  // past the last row
    EXPECT_EQ(sheet->find(0, 1), nullptr);
    EXPECT_EQ(columns(*sheet, 1), (std::vector<std::uint32_t>{1, 2, 5}));
    EXPECT_EQ(columns(*sheet, 3), (std::vector<std::uint32_t>{2, 3, 4}));
    EXPECT_TRUE(sheet->rowCells(2).empty());
    EXPECT_TRUE(sheet->rowCells(99).empty());
  }
}

TEST(SheetData, LaterDuplicateWins) {
  SheetData adjacent;  // the duplicate follows at once (the in-order path)
  adjacent.addCell(2, number(3, 1));
  adjacent.addCell(2, number(3, 2));
  adjacent.finish();
  EXPECT_EQ(at(adjacent, 2, 3), 2);
  EXPECT_EQ(adjacent.rowCells(2).size(), 1u);

  SheetData apart;  // other cells between (the sorting path)
  apart.addCell(2, number(3, 1));
  apart.addCell(5, number(1, 9));
  apart.addCell(2, number(3, 2));
  apart.addCell(1, number(1, 7));
  apart.addCell(2, number(3, 3));
  apart.finish();
  EXPECT_EQ(at(apart, 2, 3), 3);
  EXPECT_EQ(apart.rowCells(2).size(), 1u);
  EXPECT_EQ(at(apart, 1, 1), 7);
  EXPECT_EQ(at(apart, 5, 1), 9);
}

TEST(SheetData, UsedRangeIsTheBoundingBoxOfValuesAndBlanks) {
  SheetData sheet;
  sheet.addCell(3, number(2, 1));   // B3
  sheet.addCell(10, number(4, 1));  // D10
  sheet.finish();
  EXPECT_EQ(sheet.lastRow(), 10u);  // index of the last row, not the size 8
  EXPECT_EQ(sheet.lastCol(), 4u);

  SheetData withBlank;
  withBlank.addCell(1, number(1, 1));
  withBlank.addCell(12, blank(7));  // a formatted blank counts
  withBlank.finish();
  EXPECT_EQ(withBlank.lastRow(), 12u);
  EXPECT_EQ(withBlank.lastCol(), 7u);

  SheetData empty;
  empty.finish();
  EXPECT_EQ(empty.lastRow(), 1u);
  EXPECT_EQ(empty.lastCol(), 1u);
  EXPECT_EQ(empty.find(1, 1), nullptr);
  EXPECT_TRUE(empty.rowCells(1).empty());
}

TEST(SheetData, ReferencesOutsideTheLimitsAreRefused) {
  const std::vector<std::pair<std::uint32_t, std::uint32_t>> outside = {
      {0, 1}, {1, 0}, {65537, 1}, {1, 257}, {4294967295u, 1}};
  for (const auto& [row, col] : outside) {
    SheetData sheet(SheetData::kXlsMaxRows, SheetData::kXlsMaxCols);
    EXPECT_THROW(sheet.addCell(row, number(col, 1)), SheetError) << row << "," << col;
  }
  SheetData sheet(SheetData::kXlsMaxRows, SheetData::kXlsMaxCols);
  sheet.addCell(65536, number(256, 1));
  sheet.finish();
  EXPECT_EQ(sheet.lastRow(), 65536u);
  EXPECT_EQ(sheet.lastCol(), 256u);
}

TEST(SheetData, FarStrayCellKeepsRowsCheap) {
  SheetData sheet;  // the .xlsx limits
  sheet.addCell(1, number(1, 1));
  sheet.addCell(1048576, number(16384, 2));
  sheet.finish();
  EXPECT_EQ(sheet.lastRow(), 1048576u);
  EXPECT_EQ(sheet.lastCol(), 16384u);
  EXPECT_EQ(sheet.rowCells(1).size(), 1u);
  EXPECT_EQ(sheet.rowCells(1048576).size(), 1u);
  EXPECT_EQ(at(sheet, 1048576, 16384), 2);
  EXPECT_EQ(sheet.find(1048576, 16383), nullptr);
}

TEST(SheetData, StringIndexPastThePoolIsRefused) {
  SheetData sheet;
  EXPECT_EQ(sheet.string(sheet.addString("only")), "only");
  EXPECT_THROW(sheet.string(1), SheetError);
  EXPECT_THROW(sheet.string(4294967295u), SheetError);
}

}  // namespace
}  // namespace vip::sheet
