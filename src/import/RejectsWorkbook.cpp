#include "import/RejectsWorkbook.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "sheet/XlsxWriter.h"

namespace vip::import {

namespace {

constexpr const char* kReasonTitle = "失败原因";

// The texts of a row as the import reads them, up to its last cell; a cell
// whose text cannot be read stays empty (the row's reason says why).
std::vector<std::string> rowTexts(const sheet::Workbook& workbook, int row, int colCount) {
  std::vector<std::string> texts;
  for (const sheet::Cell& cell : workbook.rowCells(row)) {
    const auto col = static_cast<int>(cell.col);
    if (col > colCount) break;
    texts.resize(static_cast<std::size_t>(col));
    try {
      texts.back() = workbook.cellText(cell);
    } catch (const std::exception&) {
      texts.back().clear();
    }
  }
  texts.resize(static_cast<std::size_t>(std::max(colCount, 0)));
  return texts;
}

std::vector<std::string> withColumns(std::vector<std::string> texts,
                                     std::initializer_list<std::string> more) {
  texts.insert(texts.end(), more.begin(), more.end());
  return texts;
}

}  // namespace

RejectsWorkbook::RejectsWorkbook(const std::string& name) : m_base(name) {
  if (m_base.size() > 5 && m_base.compare(m_base.size() - 5, 5, ".xlsx") == 0)
    m_base.resize(m_base.size() - 5);
}

std::string RejectsWorkbook::pathOf(Phase phase) const {
  return m_base + (phase == Phase::Categories ? ".categories.xlsx" : ".members.xlsx");
}

void RejectsWorkbook::phaseStarted(Phase, const std::string&, const sheet::Workbook&) {
  m_rejected.clear();
  m_notImported.clear();
  m_partial.clear();
}

void RejectsWorkbook::rowRejected(Phase, int row, const std::string& message) {
  m_rejected[row] = message;
  m_partial.erase(row);
}

void RejectsWorkbook::rowPartlySaved(Phase, int row, const std::string& memberId,
                                     const std::string& message) {
  m_partial[row] = Partial{memberId, message};
}

void RejectsWorkbook::rowsNotImported(Phase, int first, int last, const std::string& reason) {
  if (first > last) return;
  m_notImported.push_back(Range{first, last, reason});
  // A member saved in a batch that was rolled back is no longer saved.
  m_partial.erase(m_partial.lower_bound(first), m_partial.upper_bound(last));
}

const std::string* RejectsWorkbook::reasonFor(int row) const {
  if (const auto found = m_rejected.find(row); found != m_rejected.end()) return &found->second;
  for (const Range& range : m_notImported) {
    if (row >= range.first && row <= range.last) return &range.reason;
  }
  return nullptr;
}

void RejectsWorkbook::phaseEnded(Phase phase, const sheet::Workbook& workbook) {
  // Called on every way out of a phase, a failing one too: a workbook that
  // cannot be written is reported, never thrown.
  try {
    write(phase, workbook);
  } catch (const std::exception& error) {
    if (m_failure.empty()) m_failure = error.what();
  }
}

void RejectsWorkbook::write(Phase phase, const sheet::Workbook& workbook) {
  const std::string path = pathOf(phase);
  if (m_rejected.empty() && m_notImported.empty() && m_partial.empty()) {
    // A workbook of an earlier run would pass for this one's.
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return;
  }
  const int colCount = workbook.colCount();
  const std::vector<std::string> titles = rowTexts(workbook, 1, colCount);
  sheet::XlsxWriter writer(path);
  writer.addSheet("未导入");
  writer.addRow(withColumns(titles, {kReasonTitle}));
  for (int row = 2; row <= workbook.rowCount(); ++row) {
    if (const std::string* reason = reasonFor(row))
      writer.addRow(withColumns(rowTexts(workbook, row, colCount), {*reason}));
  }
  if (!m_partial.empty()) {
    writer.addSheet("已部分导入");
    writer.addRow(
        {"以下会员已保存,只有期初余额记录未能保存:请勿再整行导入,"
         "按VCM_ID在系统中补录其余额"});
    writer.addRow(withColumns(titles, {"VCM_ID", kReasonTitle}));
    for (const auto& [row, partial] : m_partial)
      writer.addRow(
          withColumns(rowTexts(workbook, row, colCount), {partial.memberId, partial.message}));
  }
  writer.close();
  m_written.push_back(path);
}

}  // namespace vip::import
