#include "import/CheckReport.h"

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "common/AsciiCase.h"
#include "common/Messages.h"
#include "import/ColumnPlan.h"
#include "import/ColumnTables.h"
#include "import/SheetSurvey.h"
#include "import/TitleHint.h"
#include "sheet/Workbook.h"
#include "store/Query.h"
#include "store/Statement.h"

namespace vip::import {

namespace {

// Longer lists keep their first items and say how many there are.
constexpr std::size_t kListLimit = 20;

enum class Severity {
  Info,     // what the import will do
  Note,     // worth a look, but no warning
  Warning,  // makes the check fail
};

struct Line {
  Severity severity = Severity::Info;
  std::string text;
};

// One workbook's part of the report.
class Section {
 public:
  explicit Section(CheckReport& report) : m_report(report) {}

  void add(Severity severity, std::string text, int warnings = 1) {
    if (severity != Severity::Info) ++m_findings;
    if (severity == Severity::Warning) m_report.warnings += warnings;
    m_report.lines.push_back(std::move(text));
  }
  // Lines of one kind: the first kListLimit of them, then "……共N个".
  void addList(const std::vector<Line>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i < kListLimit) {
        add(lines[i].severity, lines[i].text);
      } else if (lines[i].severity == Severity::Warning) {
        ++m_report.warnings;
      }
    }
    if (lines.size() > kListLimit)
      m_report.lines.push_back("……共" + std::to_string(lines.size()) + "个");
  }
  void close() {
    if (m_findings == 0) m_report.lines.push_back("未发现问题");
  }

 private:
  CheckReport& m_report;
  int m_findings = 0;
};

// "第5、9、12-15行": ascending rows, runs as ranges; a long list ends "……共N行".
std::string rowList(const std::vector<int>& rows) {
  std::string text = "第";
  std::size_t items = 0;
  for (std::size_t i = 0; i < rows.size();) {
    std::size_t end = i;
    while (end + 1 < rows.size() && rows[end + 1] == rows[end] + 1)
      ++end;
    if (items == kListLimit) {
      return text + "行……共" + std::to_string(rows.size()) + "行";
    }
    if (items > 0) text += "、";
    text += std::to_string(rows[i]);
    if (end > i) text += "-" + std::to_string(rows[end]);
    ++items;
    i = end + 1;
  }
  return text + "行";
}

std::string quoted(std::string_view text) {
  return "'" + shownText(text) + "'";
}

// One workbook's column table and what differs between the two phases.
struct WorkbookKind {
  const char* heading;
  const char* table;
  std::span<const std::string_view> titles;
  std::span<const std::string_view> fields;
  std::span<const std::string_view> otherTitles;  // the other workbook's
  const char* otherTitleNote;
  SheetSurvey::EmptyCells emptyCells;
  const char* lackedColumnFails;  // which rows fail when the store lacks a matched column
};

const WorkbookKind kCategories = {"会员类别工作簿:",
                                  "VipCardType",
                                  VipTypeTitles,
                                  VipTypeFields,
                                  VipMasterTitles,
                                  "这是会员资料工作簿的标题",
                                  SheetSurvey::EmptyCells::Skipped,
                                  "此列有内容的行都将导入失败"};
const WorkbookKind kMembers = {"会员资料工作簿:",
                               "VipCardMaster",
                               VipMasterTitles,
                               VipMasterFields,
                               VipTypeTitles,
                               "这是会员类别工作簿的标题",
                               SheetSurvey::EmptyCells::Written,
                               "每行都将导入失败"};

std::size_t memberEntry(std::string_view title) {
  return *findTitle(VipMasterTitles, title);
}

// A target table as the store describes it to the import.
class TargetTable {
 public:
  TargetTable(store::Connection& connection, const std::string& table,
              const FormatSettings& settings)
      : m_table(table) {
    store::Query query(connection, "qryCheck", settings);
    query.setSql(store::Statement::selectEmpty(table));
    query.open();
    m_fields = query.sharedFields();
  }

  const std::string& name() const { return m_table; }
  const store::FieldDef* field(std::string_view name) const {
    for (const store::FieldDef& field : *m_fields) {
      if (equalsIgnoringCase(field.name, name)) return &field;
    }
    return nullptr;
  }

 private:
  std::string m_table;
  store::TableColumns m_fields;
};

// The non-empty texts of some columns of a table, one set per column; a
// column the table lacks gives an empty set and is not asked for.
std::vector<std::unordered_set<std::string>> storedTexts(
    store::Connection& connection, const TargetTable& table,
    const std::vector<std::string_view>& columns, const FormatSettings& settings) {
  std::vector<std::unordered_set<std::string>> sets(columns.size());
  std::vector<std::size_t> asked;
  std::string select;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const store::FieldDef* field = table.field(columns[i]);
    if (field == nullptr) continue;
    select += (select.empty() ? "SELECT " : ", ") + field->name;
    asked.push_back(i);
  }
  if (asked.empty()) return sets;
  store::Query query(connection, "qryCheck", settings);
  query.setSql(store::Statement::text(select + " FROM " + table.name()));
  query.open();
  for (; !query.eof(); query.next()) {
    for (const std::size_t i : asked) {
      std::string text = query.fieldAsText(columns[i]);
      if (!text.empty()) sets[i].insert(std::move(text));
    }
  }
  return sets;
}

// The rows a value stands in, values in the order they first appear.
struct Occurrences {
  std::string text;
  std::vector<int> rows;
};

std::vector<Occurrences> byText(const std::vector<SheetSurvey::RowValue>& values) {
  std::vector<Occurrences> groups;
  std::unordered_map<std::string_view, std::size_t> index;
  for (const SheetSurvey::RowValue& value : values) {
    const auto [at, added] = index.try_emplace(value.text, groups.size());
    if (added) groups.push_back({value.text, {}});
    groups[at->second].rows.push_back(value.row);
  }
  return groups;
}

// What the store does with a known column that no title feeds.
std::string missingColumnFate(const WorkbookKind& kind, const TargetTable& table,
                              std::string_view column) {
  const store::FieldDef* field = table.field(column);
  const std::string name(column);
  if (field == nullptr) return kind.table + std::string("也没有") + name + "列";
  if (!field->defaultKnown) return name + "由数据库决定";
  if (field->defaultValue) return name + "取数据库的默认值" + shownText(*field->defaultValue);
  if (field->nullable) return name + "将为NULL";
  return name + "不可为NULL且没有默认值,每行都将被数据库拒绝";
}

Line titleLine(const WorkbookKind& kind, const SheetSurvey& survey, const TargetTable& table,
               const SheetSurvey::Title& title) {
  const std::string column = columnLetters(title.col) + "列";
  if (title.failure)
    return {Severity::Note,
            column + "的标题无法读取:" + messageText(*title.failure) + ";每行都将导入失败"};
  const std::string shown = column + quoted(title.text);
  if (title.entry) {
    const std::string_view field = kind.fields[*title.entry];
    if (table.field(field) == nullptr)
      return {Severity::Warning, shown + "应导入到" + std::string(field) + ",但" + kind.table +
                                     "没有此列:" + kind.lackedColumnFails};
    const int last = *survey.lastColumnOf(*title.entry);
    if (last != title.col)
      return {Severity::Note, shown + "导入到" + std::string(field) + "(与" + columnLetters(last) +
                                  "列同名,以后者为准)"};
    return {Severity::Info, shown + "导入到" + std::string(field)};
  }
  if (const std::optional<NearMiss> near = findNearMiss(kind.titles, title.text))
    return {
        Severity::Warning,
        shown + "不导入:" + nearMissText(title.text, kind.titles[near->entry], near->differences)};
  if (findTitle(kind.otherTitles, title.text))
    return {Severity::Note, shown + "不导入:" + kind.otherTitleNote};
  return {Severity::Info, shown + "不导入"};
}

void reportTitles(Section& section, const WorkbookKind& kind, const SheetSurvey& survey,
                  const TargetTable& table) {
  std::vector<Line> ignored;
  for (const SheetSurvey::Title& title : survey.titles()) {
    if (!title.failure && title.text.empty()) continue;
    Line line = titleLine(kind, survey, table, title);
    if (title.entry || title.failure) {
      section.add(line.severity, std::move(line.text));
    } else {
      ignored.push_back(std::move(line));
    }
  }
  section.addList(ignored);
  for (std::size_t entry = 0; entry < kind.titles.size(); ++entry) {
    if (survey.lastColumnOf(entry)) continue;
    section.add(Severity::Warning, "缺少标题" + quoted(kind.titles[entry]) + ":" +
                                       missingColumnFate(kind, table, kind.fields[entry]));
  }
  if (const auto& low = survey.lowTitle())
    section.add(Severity::Note, "第" + std::to_string(low->row) + "行有已知标题" +
                                    quoted(low->text) + ":标题须在第1行");
}

void reportRows(Section& section, const SheetSurvey& survey) {
  std::vector<Line> unreadable;
  for (const SheetSurvey::UnreadableCell& cell : survey.unreadableCells())
    unreadable.push_back({Severity::Note, "单元格" + cellName(cell.row, cell.col) +
                                              "无法读取:" + messageText(cell.message) + ";第" +
                                              std::to_string(cell.row) + "行将导入失败"});
  section.addList(unreadable);

  // The empty rows that end the used range, and those before them.
  const std::vector<int>& empty = survey.emptyRows();
  std::size_t inner = empty.size();
  while (inner > 0 &&
         empty[inner - 1] == survey.rowCount() - static_cast<int>(empty.size() - inner))
    --inner;
  const std::vector<int> trailing(empty.begin() + static_cast<std::ptrdiff_t>(inner), empty.end());
  const std::vector<int> before(empty.begin(), empty.begin() + static_cast<std::ptrdiff_t>(inner));
  if (!trailing.empty())
    section.add(Severity::Warning, "末尾空行:" + rowList(trailing) + ",将作为空记录导入",
                static_cast<int>(trailing.size()));
  if (!before.empty())
    section.add(Severity::Warning, "中间空行:" + rowList(before) + ",将作为空记录导入",
                static_cast<int>(before.size()));
}

SheetSurvey surveyOf(const sheet::Workbook& workbook, const WorkbookKind& kind,
                     std::span<const std::size_t> keys) {
  return SheetSurvey(workbook, kind.titles, keys, kind.emptyCells);
}

void reportSheet(Section& section, const WorkbookKind& kind, const std::string& path,
                 const SheetSurvey& survey, const TargetTable& table) {
  section.add(Severity::Info, kind.heading + messageText(path));
  section.add(Severity::Info,
              "工作表:第1个工作表,使用区域A1:" + cellName(survey.rowCount(), survey.colCount()) +
                  ",数据行" + std::to_string(survey.dataRows()) + "行");
  reportTitles(section, kind, survey, table);
  reportRows(section, survey);
}

// Card numbers given twice in the sheet, and those the store holds already.
void reportCardNumbers(Section& section, store::Connection& connection, const SheetSurvey& survey,
                       const TargetTable& members, const FormatSettings& settings) {
  constexpr std::array<std::string_view, 2> kTitles = {"会员卡号", "会员卡ID"};
  const std::vector<std::string_view> columns = {VipMasterFields[memberEntry(kTitles[0])],
                                                 VipMasterFields[memberEntry(kTitles[1])]};
  const std::vector<std::unordered_set<std::string>> stored =
      storedTexts(connection, members, columns, settings);
  for (std::size_t i = 0; i < kTitles.size(); ++i) {
    const std::vector<Occurrences> numbers = byText(survey.values(memberEntry(kTitles[i])));
    std::vector<Line> repeated, present;
    for (const Occurrences& number : numbers) {
      const std::string shown = std::string(kTitles[i]) + quoted(number.text);
      if (number.rows.size() > 1)
        repeated.push_back({Severity::Warning, shown + "在工作表中重复:" + rowList(number.rows)});
      if (stored[i].contains(number.text))
        present.push_back(
            {Severity::Warning, shown + "已存在于" + members.name() + ":" + rowList(number.rows)});
    }
    section.addList(repeated);
    section.addList(present);
  }
}

// Members' category numbers that neither the store nor the category workbook has.
void reportUnknownCategories(Section& section, store::Connection& connection,
                             const SheetSurvey& members, const SheetSurvey& categories,
                             const TargetTable& categoryTable, const FormatSettings& settings) {
  const std::size_t entry = memberEntry("类别编号");
  if (members.values(entry).empty()) return;
  std::unordered_set<std::string> known =
      std::move(storedTexts(connection, categoryTable, {"VCT_No"}, settings).front());
  for (const SheetSurvey::RowValue& value : categories.values(0))
    known.insert(value.text);
  std::vector<Line> unknown;
  for (const Occurrences& category : byText(members.values(entry))) {
    if (known.contains(category.text)) continue;
    unknown.push_back(
        {Severity::Warning, "类别编号" + quoted(category.text) + "既不在" + categoryTable.name() +
                                "中,也不在会员类别工作簿中:" + rowList(category.rows)});
  }
  section.addList(unknown);
}

}  // namespace

CheckReport checkWorkbooks(store::Connection& connection, const std::string& categoryPath,
                           const std::string& memberPath, const FormatSettings& settings) {
  CheckReport report;
  report.lines.push_back("检查报告");

  const std::unique_ptr<sheet::Workbook> categoryBook =
      sheet::Workbook::open(categoryPath, settings);
  const TargetTable categoryTable(connection, kCategories.table, settings);
  constexpr std::array<std::size_t, 1> kCategoryKeys = {0};  // 类别编号
  const SheetSurvey categories = surveyOf(*categoryBook, kCategories, kCategoryKeys);
  Section categorySection(report);
  reportSheet(categorySection, kCategories, categoryPath, categories, categoryTable);
  categorySection.close();

  const std::unique_ptr<sheet::Workbook> memberBook = sheet::Workbook::open(memberPath, settings);
  const TargetTable memberTable(connection, kMembers.table, settings);
  const std::array<std::size_t, 3> memberKeys = {memberEntry("类别编号"), memberEntry("会员卡号"),
                                                 memberEntry("会员卡ID")};
  const SheetSurvey members = surveyOf(*memberBook, kMembers, memberKeys);
  Section memberSection(report);
  reportSheet(memberSection, kMembers, memberPath, members, memberTable);
  reportCardNumbers(memberSection, connection, members, memberTable, settings);
  reportUnknownCategories(memberSection, connection, members, categories, categoryTable, settings);
  memberSection.close();

  report.lines.push_back("警告共" + std::to_string(report.warnings) + "个");
  return report;
}

}  // namespace vip::import
