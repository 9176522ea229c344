#include "store/Statement.h"

#include <string_view>

#include "store/Statements.h"

namespace vip::store {

namespace {

// Replaces each "%s" of a pattern, in order, by the next argument.
std::string formatPattern(std::string_view pattern, std::string_view first,
                          std::string_view second = {}) {
  std::string out;
  out.reserve(pattern.size() + first.size() + second.size());
  const std::string_view args[] = {first, second};
  std::size_t used = 0;
  std::size_t from = 0;
  for (std::size_t at = pattern.find("%s"); at != std::string_view::npos && used < 2;
       at = pattern.find("%s", from)) {
    out.append(pattern.substr(from, at - from));
    out.append(args[used++]);
    from = at + 2;
  }
  out.append(pattern.substr(from));
  return out;
}

// Replaces every "%0:s" by the table name and every "%1:s" by the column name.
std::string formatBatchLine(std::string_view line, std::string_view table,
                            std::string_view column) {
  std::string out;
  std::size_t from = 0;
  for (std::size_t at = line.find('%'); at != std::string_view::npos; at = line.find('%', at)) {
    const std::string_view code = line.substr(at, 4);
    if (code == "%0:s" || code == "%1:s") {
      out.append(line.substr(from, at - from));
      out.append(code[1] == '0' ? table : column);
      at += code.size();
      from = at;
    } else {
      ++at;
    }
  }
  out.append(line.substr(from));
  return out;
}

}  // namespace

Statement::Statement(Intent intent, std::string table, std::string column, std::string text)
    : m_intent(intent),
      m_table(std::move(table)),
      m_column(std::move(column)),
      m_text(std::move(text)) {}

Statement Statement::selectEmpty(std::string table) {
  return Statement(Intent::SelectEmpty, std::move(table), {}, {});
}

Statement Statement::businessDate() {
  return Statement(Intent::BusinessDate, {}, {}, {});
}

Statement Statement::identityTest(std::string table, std::string column) {
  return Statement(Intent::IdentityTest, std::move(table), std::move(column), {});
}

Statement Statement::allocation(std::string table, std::string column) {
  return Statement(Intent::Allocation, std::move(table), std::move(column), {});
}

Statement Statement::text(std::string sql) {
  return Statement(Intent::Text, {}, {}, std::move(sql));
}

std::string Statement::sqlServerText() const {
  switch (m_intent) {
    case Intent::SelectEmpty:
      return formatPattern(statements::kSelectEmpty, m_table);
    case Intent::BusinessDate:
      return statements::kBusinessDate;
    case Intent::IdentityTest:
      return formatPattern(statements::kIdentityTest, m_table, m_column);
    case Intent::Allocation: {
      std::string batch;
      for (const char* line : statements::kAllocationBatch) {
        if (!batch.empty()) batch += '\n';
        batch += formatBatchLine(line, m_table, m_column);
      }
      return batch;
    }
    case Intent::Text:
      break;
  }
  return m_text;
}

}  // namespace vip::store
