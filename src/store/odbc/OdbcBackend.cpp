#include "store/odbc/OdbcBackend.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "common/AsciiCase.h"
#include "store/AllocationRetry.h"
#include "store/InsertCache.h"
#include "store/StoreError.h"
#include "store/odbc/OdbcConnection.h"
#include "store/odbc/OdbcDialect.h"
#include "store/odbc/OdbcResult.h"
#include "store/odbc/OdbcStatement.h"

namespace vip::store {

namespace {

// Statements of a schema script: split at semicolons outside quotes and
// comments, and at lines holding only GO (T-SQL's batch separator).
std::vector<std::string> splitScript(const std::string& sql) {
  std::vector<std::string> statements;
  std::string current;
  const auto flush = [&] {
    const bool blank = std::all_of(current.begin(), current.end(),
                                   [](unsigned char c) { return std::isspace(c) != 0; });
    if (!blank) statements.push_back(current);
    current.clear();
  };
  char quote = 0;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (quote != 0) {
      current += c;
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"' || c == '[') {
      quote = c == '[' ? ']' : c;
      current += c;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      while (i < sql.size() && sql[i] != '\n')
        ++i;
      current += '\n';
    } else if (c == ';') {
      flush();
    } else if ((i == 0 || sql[i - 1] == '\n') && (c == 'G' || c == 'g')) {
      std::size_t end = sql.find('\n', i);
      if (end == std::string::npos) end = sql.size();
      const std::string line = toLowerAscii(sql.substr(i, end - i));
      if (line.find_first_not_of(" \t\r", 2) == std::string::npos && line.rfind("go", 0) == 0) {
        flush();
        i = end;
      } else {
        current += c;
      }
    } else {
      current += c;
    }
  }
  flush();
  return statements;
}

// The kinds a record's columns are sent as, for the SQL types of NULLs.
std::vector<FieldKind> kindsOf(const std::vector<const FieldDef*>& columns) {
  std::vector<FieldKind> kinds;
  kinds.reserve(columns.size());
  for (const FieldDef* column : columns)
    kinds.push_back(column->kind);
  return kinds;
}

// A store that cannot hold U+0000 in a text would cut the text there
// without a word (PostgreSQL): the record is refused instead.
void requireNoNul(const std::vector<const FieldDef*>& columns, const std::vector<Value>& values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    const auto* text = std::get_if<std::string>(&values[i]);
    if (text != nullptr && text->find('\0') != std::string::npos) {
      throw StoreError("Field '" + columns[i]->name +
                       "' cannot hold the character U+0000 that its text contains");
    }
  }
}

class OdbcBackend final : public Backend, private OdbcSession {
 public:
  OdbcBackend(const std::string& odbcText, std::shared_ptr<const std::string> secret)
      : m_connection(odbcText, std::move(secret)),
        m_dialect(OdbcDialect::forDbms(m_connection.infoText(SQL_DBMS_NAME))) {}

  ~OdbcBackend() override {
    // Statements go before their connection.
    m_inserts.clear();
    m_prepared.clear();
  }

  OdbcBackend(const OdbcBackend&) = delete;
  OdbcBackend& operator=(const OdbcBackend&) = delete;

  Engine engine() const override { return m_dialect->engine(); }

  ResultSet query(const Statement& statement) override {
    // The business date read and the plain texts read the same on every
    // store reached through ODBC.
    return runBatch(statement.sqlServerText());
  }

  TableColumns describeTable(const std::string& table) override {
    const std::string key = toLowerAscii(table);
    if (auto found = m_tables.find(key); found != m_tables.end()) return found->second;
    std::vector<FieldDef> fields;
    {
      OdbcStatement statement(m_connection);
      OdbcStatement::Use use(statement);
      use->executeDirect(m_dialect->selectEmpty(table));
      for (const OdbcColumn& column : describeColumns(*use))
        fields.push_back(m_dialect->field(column));
    }
    m_dialect->refineColumns(*this, table, fields);
    auto columns = std::make_shared<const std::vector<FieldDef>>(std::move(fields));
    m_tables[key] = columns;
    return columns;
  }

  std::optional<std::int64_t> insert(const std::string& table,
                                     const std::vector<const FieldDef*>& columns,
                                     const std::vector<Value>& values) override {
    if (columns.size() != values.size()) throw StoreError("Insert: columns and values differ");
    if (!m_dialect->textHoldsNul()) requireNoNul(columns, values);
    const TableColumns fields = describeTable(table);
    const auto identity = std::find_if(fields->begin(), fields->end(),
                                       [](const FieldDef& field) { return field.identity; });
    const FieldDef* identityField = identity == fields->end() ? nullptr : &*identity;
    OdbcStatement& prepared = m_inserts.get(table, columns, [&] {
      return std::make_unique<OdbcStatement>(m_connection,
                                             m_dialect->insert(table, columns, identityField));
    });
    OdbcStatement::Use use(prepared);
    use->bind(values, kindsOf(columns));
    use->execute();
    if (identityField == nullptr || !m_dialect->returnsIdentity()) return std::nullopt;
    return readFirstInteger(*use);
  }

  bool isIdentity(const std::string& table, const std::string& column) override {
    return m_dialect->isIdentity(*this, table, column);
  }

  std::int32_t allocate(const std::string& table, const std::string& column) override {
    return drawWithRetries([&] { return m_dialect->allocateOnce(*this, table, column); },
                           [&](const StoreError& error) { return m_dialect->retryable(error); });
  }

  bool tableExists(const std::string& table) override {
    const ResultSet result = run(m_dialect->tableExists(), {Value{table}});
    if (result.rows.empty() || result.rows[0].empty()) return false;
    const auto* count = std::get_if<std::int64_t>(&result.rows[0][0]);
    return count != nullptr && *count > 0;
  }

  // The whole script in one transaction, so a failure leaves no half-made
  // store behind.
  void executeScript(const std::string& sql) override {
    forgetSchema();
    const auto transaction = m_dialect->begin(*this);
    for (const std::string& statement : splitScript(sql))
      execute(statement);
    transaction->commit();
  }

 private:
  // OdbcSession
  ResultSet run(const std::string& sql, const std::vector<Value>& parameters) override {
    OdbcStatement& statement = prepared(sql);
    OdbcStatement::Use use(statement);
    use->bind(parameters);
    use->execute();
    return readResult(*use, *m_dialect);
  }

  void execute(const std::string& sql) override {
    OdbcStatement statement(m_connection);
    OdbcStatement::Use use(statement);
    use->executeDirect(sql);
  }

  std::int64_t changedRows(const std::string& sql, const std::string& parameter) override {
    OdbcStatement statement(m_connection);
    OdbcStatement::Use use(statement);
    use->bind({Value{parameter}});
    use->executeDirect(sql);
    return use->rowCount();
  }

  ResultSet runBatch(const std::string& sql) override {
    OdbcStatement statement(m_connection);
    OdbcStatement::Use use(statement);
    use->executeDirect(sql);
    ResultSet result = readResult(*use, *m_dialect);
    // The whole batch runs (a SQL Server batch's commit comes after its
    // select), and its later errors are reported.
    use->drainResults();
    return result;
  }

  OdbcConnection& connection() override { return m_connection; }

  OdbcStatement& prepared(const std::string& sql) {
    auto found = m_prepared.find(sql);
    if (found != m_prepared.end()) return found->second;
    return m_prepared.emplace(sql, OdbcStatement(m_connection, sql)).first->second;
  }

  // Kept statements and metadata describe the schema as it was.
  void forgetSchema() {
    m_inserts.clear();
    m_prepared.clear();
    m_tables.clear();
  }

  OdbcConnection m_connection;
  std::unique_ptr<OdbcDialect> m_dialect;
  std::map<std::string, TableColumns> m_tables;     // by lower-case name
  std::map<std::string, OdbcStatement> m_prepared;  // by statement text
  InsertCache<OdbcStatement> m_inserts;
};

}  // namespace

std::unique_ptr<Backend> openOdbcBackend(const ConnectionString& settings) {
  const std::string odbcText = odbcConnectionString(settings);
  auto secret = std::make_shared<const std::string>(settings.password());
  return std::make_unique<OdbcBackend>(odbcText, std::move(secret));
}

}  // namespace vip::store
