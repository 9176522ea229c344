#include "store/odbc/OdbcBackend.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <map>

#include "common/AsciiCase.h"
#include "store/AllocationRetry.h"
#include "store/InsertCache.h"
#include "store/NumberBlocks.h"
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

// Multi-row inserts of a fast batch hold at most this many records, and
// fewer than a thousand parameters: psqlodbc writes each parameter with a
// type cast into the statement ("$12::timestamp") and cuts the cast short
// once the number has four digits ("$1004::timestam", which the server
// refuses, or "$10000::int" for an int8, which it would take as another
// type).
constexpr std::size_t kRowsPerInsert = 1000;
constexpr std::size_t kParametersPerInsert = 999;

// The records of a fast batch waiting for one table and set of columns.
struct PendingInserts {
  std::string table;
  std::vector<const FieldDef*> columns;
  std::vector<std::string> names;
  std::vector<Value> values;  // row after row
  std::size_t rows = 0;
};

// Connects; where the engine needs keys of its own, connects again with them.
std::unique_ptr<OdbcConnection> connect(const std::string& odbcText,
                                        const std::shared_ptr<const std::string>& secret,
                                        std::unique_ptr<OdbcDialect>& dialect) {
  auto connection = std::make_unique<OdbcConnection>(odbcText, secret);
  dialect = OdbcDialect::forDbms(connection->infoText(SQL_DBMS_NAME));
  const std::string keys = dialect->connectionKeys(odbcText);
  if (keys.empty()) return connection;
  connection.reset();
  const std::string separator = odbcText.empty() || odbcText.back() == ';' ? "" : ";";
  return std::make_unique<OdbcConnection>(odbcText + separator + keys, secret);
}

class OdbcBackend final : public Backend, private OdbcSession {
 public:
  OdbcBackend(const std::string& odbcText, const std::shared_ptr<const std::string>& secret)
      : m_connectionOwner(connect(odbcText, secret, m_dialect)), m_connection(*m_connectionOwner) {}

  ~OdbcBackend() override {
    if (m_inTransaction) rollbackTransaction();
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
    return operation([&] { return runBatch(statement.sqlServerText()); });
  }

  TableColumns describeTable(const std::string& table) override {
    const std::string key = toLowerAscii(table);
    if (auto found = m_tables.find(key); found != m_tables.end()) return found->second;
    return operation([&] { return describeNow(table, key); });
  }

  TableColumns describeNow(const std::string& table, const std::string& key) {
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
    // A record whose number the store gives cannot wait: the number is
    // wanted now.
    if (m_inTransaction && m_fast && identityField == nullptr) {
      queue(table, columns, values);
      return std::nullopt;
    }
    return operation([&] { return insertNow(table, columns, values, identityField); });
  }

  std::optional<std::int64_t> insertNow(const std::string& table,
                                        const std::vector<const FieldDef*>& columns,
                                        const std::vector<Value>& values,
                                        const FieldDef* identityField) {
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
    // In a transaction over many records the answer comes from the table's
    // description, read once, rather than a catalogue query per record.
    if (m_inTransaction) return m_dialect->OdbcDialect::isIdentity(*this, table, column);
    return m_dialect->isIdentity(*this, table, column);
  }

  std::int32_t allocate(const std::string& table, const std::string& column) override {
    if (m_inTransaction) {
      const std::string key = column + "_" + table;
      if (const auto number = m_blocks.take(key)) return *number;
      return operation([&] {
        const std::int32_t last = m_dialect->drawBlock(*this, table, column, m_numberBlock);
        const std::int64_t first = std::int64_t{last} - m_numberBlock + 1;
        if (first < std::numeric_limits<std::int32_t>::min())
          throw StoreError("ASN_NO " + std::to_string(first) + " is out of the integer range");
        return m_blocks.add(key, static_cast<std::int32_t>(first), last);
      });
    }
    return drawWithRetries([&] { return m_dialect->allocateOnce(*this, table, column); },
                           [&](const StoreError& error) { return m_dialect->retryable(error); });
  }

  void beginTransaction(int numberBlock) override {
    if (m_inTransaction) throw StoreError("A transaction is already open");
    m_connection.setAutocommit(false);
    m_inTransaction = true;
    m_broken = false;
    m_numberBlock = numberBlock < 1 ? 1 : numberBlock;
  }

  void commitTransaction() override {
    if (!m_inTransaction) throw StoreError("No transaction is open");
    flushInserts();
    giveBackUnusedNumbers();
    m_connection.endTransaction(true);
    endTransaction();
  }

  void rollbackTransaction() noexcept override {
    if (!m_inTransaction) return;
    m_connection.endTransactionQuietly();
    endTransaction();
  }

  bool inTransaction() const override { return m_inTransaction; }
  bool supportsFastBatches() const override { return m_dialect->supportsFastBatches(); }
  void setFastBatches(bool on) override { m_fast = on && m_dialect->supportsFastBatches(); }
  bool transactionBroken() const override { return m_broken; }

  void flushInserts() override {
    std::vector<PendingInserts> pending = std::move(m_pending);
    m_pending.clear();
    for (const PendingInserts& group : pending)
      operation([&] { return sendRows(group); });
  }

  bool tableExists(const std::string& table) override {
    const ResultSet result =
        operation([&] { return run(m_dialect->tableExists(), {Value{table}}); });
    if (result.rows.empty() || result.rows[0].empty()) return false;
    const auto* count = std::get_if<std::int64_t>(&result.rows[0][0]);
    return count != nullptr && *count > 0;
  }

  // The whole script in one transaction, so a failure leaves no half-made
  // store behind.
  void executeScript(const std::string& sql) override {
    if (m_inTransaction) throw StoreError("A script cannot run inside a transaction");
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

  std::int64_t changedRows(const std::string& sql, const std::vector<Value>& parameters) override {
    OdbcStatement statement(m_connection);
    OdbcStatement::Use use(statement);
    use->bind(parameters);
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

  // One operation on the store. Outside a transaction it runs as it stands.
  // Inside one it runs under a savepoint, undone alone when it fails; in a
  // fast batch without one, a failure leaving the transaction broken.
  template <typename Work>
  auto operation(Work&& work) -> decltype(work()) {
    if (!m_inTransaction) return work();
    if (m_broken) throw StoreError("The batch's transaction failed and must be rolled back");
    if (m_fast) {
      try {
        return work();
      } catch (const StoreError&) {
        m_broken = true;
        throw;
      }
    }
    if (const std::string savepoint = m_dialect->savepoint(); !savepoint.empty())
      execute(savepoint);
    try {
      auto result = work();
      if (const std::string release = m_dialect->releaseSavepoint(); !release.empty())
        execute(release);
      return result;
    } catch (const StoreError& failure) {
      undoOperation(failure);
      throw;
    }
  }

  // Back to the savepoint; a store that cannot even do that is unusable
  // for the rest of the transaction, and the failure says so by itself.
  void undoOperation(const StoreError& failure) {
    try {
      execute(m_dialect->rollbackToSavepoint());
      if (const std::string release = m_dialect->releaseSavepoint(); !release.empty())
        execute(release);
    } catch (const StoreError&) {
      if (!failure.storeUnusable()) m_broken = true;
    }
  }

  void queue(const std::string& table, const std::vector<const FieldDef*>& columns,
             const std::vector<Value>& values) {
    PendingInserts* group = nullptr;
    for (PendingInserts& candidate : m_pending) {
      if (candidate.table == table && candidate.names.size() == columns.size() &&
          std::equal(columns.begin(), columns.end(), candidate.names.begin(),
                     [](const FieldDef* column, const std::string& name) {
                       return column->name == name;
                     })) {
        group = &candidate;
      }
    }
    if (group == nullptr) {
      group = &m_pending.emplace_back();
      group->table = table;
      group->columns = columns;
      for (const FieldDef* column : columns)
        group->names.push_back(column->name);
    }
    group->values.insert(group->values.end(), values.begin(), values.end());
    ++group->rows;
  }

  // A group's records as few multi-row INSERTs.
  int sendRows(const PendingInserts& group) {
    const std::size_t width = std::max<std::size_t>(group.columns.size(), 1);
    const std::size_t perInsert =
        std::max<std::size_t>(1, std::min(kRowsPerInsert, kParametersPerInsert / width));
    const std::vector<FieldKind> rowKinds = kindsOf(group.columns);
    for (std::size_t first = 0; first < group.rows; first += perInsert) {
      const std::size_t rows = std::min(perInsert, group.rows - first);
      const auto begin =
          group.values.begin() + static_cast<std::ptrdiff_t>(first * group.columns.size());
      const std::vector<Value> values(
          begin, begin + static_cast<std::ptrdiff_t>(rows * group.columns.size()));
      std::vector<FieldKind> kinds;
      kinds.reserve(values.size());
      for (std::size_t row = 0; row < rows; ++row)
        kinds.insert(kinds.end(), rowKinds.begin(), rowKinds.end());
      OdbcStatement statement(m_connection);
      OdbcStatement::Use use(statement);
      use->bind(values, kinds);
      use->executeDirect(m_dialect->insertRows(group.table, group.columns, rows));
    }
    return 0;
  }

  // The counter rows are still ours: each keeps the last number handed out.
  void giveBackUnusedNumbers() {
    for (const NumberBlocks::Leftover& leftover : m_blocks.leftovers()) {
      operation([&] {
        return changedRows(
            "UPDATE " + m_dialect->counterTable() + " SET ASN_NO=? WHERE ASN_TYPE=? AND ASN_NO=?",
            {Value{std::int64_t{leftover.lastUsed}}, Value{leftover.key},
             Value{std::int64_t{leftover.lastDrawn}}});
      });
    }
  }

  void endTransaction() noexcept {
    try {
      m_connection.setAutocommit(true);
    } catch (const StoreError&) {
      // A connection that is gone takes its settings with it.
    }
    m_inTransaction = false;
    m_fast = false;
    m_broken = false;
    m_pending.clear();
    m_blocks.clear();
  }

  // Kept statements and metadata describe the schema as it was.
  void forgetSchema() {
    m_inserts.clear();
    m_prepared.clear();
    m_tables.clear();
  }

  std::unique_ptr<OdbcDialect> m_dialect;
  std::unique_ptr<OdbcConnection> m_connectionOwner;
  OdbcConnection& m_connection;
  bool m_inTransaction = false;
  bool m_fast = false;
  bool m_broken = false;
  int m_numberBlock = 1;
  NumberBlocks m_blocks;
  std::vector<PendingInserts> m_pending;
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
