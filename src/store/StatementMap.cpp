#include "store/StatementMap.h"

#include <array>
#include <initializer_list>
#include <string_view>

#include "store/Statements.h"

namespace vip::store {

namespace {

// Replaces every "%0:s" by the table name and every "%1:s" by the column name.
std::string formatBatchLine(std::string_view line, const std::string& table,
                            const std::string& column) {
  // Runs of plain text are copied whole: every serial number formats this
  // batch (and the SQLite map formats it again to check the text it got).
  std::string out;
  out.reserve(line.size() + 4 * (table.size() + column.size()));
  std::size_t from = 0;
  for (std::size_t at = line.find('%'); at != std::string_view::npos; at = line.find('%', at)) {
    const std::string_view code = line.substr(at, 4);
    if (code == "%0:s" || code == "%1:s") {
      out.append(line.substr(from, at - from));
      out += code[1] == '0' ? table : column;
      at += code.size();
      from = at;
    } else {
      ++at;
    }
  }
  out.append(line.substr(from));
  return out;
}

// Replaces the "%s" of a pattern, in order, by the arguments.
std::string formatPattern(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  auto arg = args.begin();
  for (std::size_t i = 0; i < pattern.size();) {
    if (pattern.substr(i, 2) == "%s" && arg != args.end()) {
      out += *arg++;
      i += 2;
    } else {
      out += pattern[i++];
    }
  }
  return out;
}

// A name our statements carry: no blank, quote or separator in it.
bool plainName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (c == ' ' || c == '\'' || c == '"' || c == ';' || c == '\r' || c == '\n' || c == '\t' ||
        c == '(' || c == ')' || c == ',')
      return false;
  }
  return true;
}

// Splits `text` around the "%s" of `pattern`; true when the text has the
// pattern's exact shape.
bool matchPattern(std::string_view text, std::string_view pattern, std::string& first,
                  std::string& second) {
  const std::size_t a = pattern.find("%s");
  const std::size_t b = pattern.find("%s", a + 2);
  const std::string_view head = pattern.substr(0, a);
  const std::string_view middle = pattern.substr(a + 2, b - a - 2);
  const std::string_view tail = pattern.substr(b + 2);
  if (text.size() < head.size() + middle.size() + tail.size()) return false;
  if (text.substr(0, head.size()) != head) return false;
  if (text.substr(text.size() - tail.size()) != tail) return false;
  const std::string_view inner = text.substr(head.size(), text.size() - head.size() - tail.size());
  const std::size_t split = inner.find(middle);
  if (split == std::string_view::npos) return false;
  first = std::string(inner.substr(0, split));
  second = std::string(inner.substr(split + middle.size()));
  return plainName(first) && plainName(second);
}

bool matchSelectEmpty(std::string_view text, std::string& table) {
  const std::string_view pattern = statements::kSelectEmpty;
  const std::string_view head = pattern.substr(0, pattern.find("%s"));
  if (text.substr(0, head.size()) != head) return false;
  table = std::string(text.substr(head.size()));
  return plainName(table);
}

bool matchAllocation(std::string_view text, std::string& table, std::string& column) {
  // The column and the table are read from the counter-creation line, then
  // the whole text must be the batch they format.
  constexpr std::string_view columnStart = "isnull(max(";
  constexpr std::string_view columnEnd = "),0)+1,'";
  constexpr std::string_view tableStart = "' from ";
  constexpr std::string_view tableEnd = "  end";
  const std::size_t c0 = text.find(columnStart);
  if (c0 == std::string_view::npos) return false;
  const std::size_t c1 = text.find(columnEnd, c0);
  if (c1 == std::string_view::npos) return false;
  const std::size_t t0 = text.find(tableStart, c1);
  if (t0 == std::string_view::npos) return false;
  const std::size_t t1 = text.find(tableEnd, t0);
  if (t1 == std::string_view::npos) return false;
  column = std::string(text.substr(c0 + columnStart.size(), c1 - c0 - columnStart.size()));
  table = std::string(text.substr(t0 + tableStart.size(), t1 - t0 - tableStart.size()));
  return plainName(table) && plainName(column) && text == allocationBatch(table, column);
}

}  // namespace

std::string selectEmptyStatement(const std::string& table) {
  return formatPattern(statements::kSelectEmpty, {table});
}

namespace {

// The texts formatted for the last few (table, column) pairs: every record
// numbered from a counter formats the same two statements again.
class FormattedTexts {
 public:
  template <typename Format>
  const std::string& get(const std::string& table, const std::string& column, Format format) {
    for (const Entry& entry : m_entries) {
      if (entry.used && entry.table == table && entry.column == column) return entry.text;
    }
    Entry& entry = m_entries[m_next];
    m_next = (m_next + 1) % m_entries.size();
    entry = Entry{true, table, column, format()};
    return entry.text;
  }

 private:
  struct Entry {
    bool used = false;
    std::string table, column, text;
  };
  std::array<Entry, 4> m_entries;
  std::size_t m_next = 0;
};

}  // namespace

std::string identityTestStatement(const std::string& table, const std::string& column) {
  thread_local FormattedTexts texts;
  return texts.get(table, column, [&] {
    return formatPattern(statements::kIdentityTest, {table, column});
  });
}

std::string allocationBatch(const std::string& table, const std::string& column) {
  thread_local FormattedTexts texts;
  return texts.get(table, column, [&] {
    std::string batch;
    for (const char* line : statements::kAllocationBatch) {
      if (!batch.empty()) batch += '\n';
      batch += formatBatchLine(line, table, column);
    }
    return batch;
  });
}

namespace {

RecognisedStatement recogniseAnew(const std::string& sqlServerText) {
  RecognisedStatement result;
  if (sqlServerText == statements::kBusinessDate) {
    result.kind = RecognisedStatement::Kind::BusinessDate;
  } else if (matchSelectEmpty(sqlServerText, result.table)) {
    result.kind = RecognisedStatement::Kind::SelectEmpty;
  } else if (matchPattern(sqlServerText, statements::kIdentityTest, result.table, result.column)) {
    result.kind = RecognisedStatement::Kind::IdentityTest;
  } else if (matchAllocation(sqlServerText, result.table, result.column)) {
    result.kind = RecognisedStatement::Kind::Allocation;
  } else {
    result = RecognisedStatement{};
  }
  return result;
}

}  // namespace

RecognisedStatement recogniseStatement(const std::string& sqlServerText) {
  // Every record numbered from a counter sends the same identity test and
  // batch texts again; the last few texts seen are remembered per thread.
  struct Seen {
    std::string text;
    RecognisedStatement statement;
  };
  constexpr std::size_t kRemembered = 4;
  thread_local std::array<Seen, kRemembered> seen;
  thread_local std::size_t next = 0;
  for (const Seen& entry : seen) {
    if (!entry.text.empty() && entry.text == sqlServerText) return entry.statement;
  }
  RecognisedStatement result = recogniseAnew(sqlServerText);
  seen[next] = Seen{sqlServerText, result};
  next = (next + 1) % kRemembered;
  return result;
}

}  // namespace vip::store
