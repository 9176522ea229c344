#pragma once

#include <deque>
#include <string>
#include <vector>

#include "store/Value.h"
#include "store/odbc/OdbcConnection.h"
#include "store/odbc/OdbcWideText.h"

namespace vip::store {

// One statement handle with the buffers of its bound parameters, which must
// stay in place until the statement has run. A statement is used through a
// Use guard, made before the first parameter is bound: however the use ends,
// the cursor is closed and the parameters dropped, so a prepared statement
// is ready for the next record.
class OdbcStatement {
 public:
  // A handle for statements executed directly.
  explicit OdbcStatement(const OdbcConnection& connection);
  // A statement prepared once and executed many times.
  OdbcStatement(const OdbcConnection& connection, const std::string& sql);
  OdbcStatement(OdbcStatement&&) noexcept = default;
  OdbcStatement& operator=(OdbcStatement&&) noexcept = default;
  OdbcStatement(const OdbcStatement&) = delete;
  OdbcStatement& operator=(const OdbcStatement&) = delete;

  class Use {
   public:
    explicit Use(OdbcStatement& statement) : m_statement(statement) {}
    ~Use() { m_statement.reset(); }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    OdbcStatement* operator->() { return &m_statement; }
    OdbcStatement& operator*() { return m_statement; }

   private:
    OdbcStatement& m_statement;
  };

  // Binds `values` as parameters 1..n; a NULL is sent as the SQL type of
  // the column kind at the same place of `nullKinds` (text where none is given).
  void bind(const std::vector<Value>& values, const std::vector<FieldKind>& nullKinds = {});
  // Runs the prepared statement with the parameters bound.
  void execute();
  // Runs a text directly, with the parameters bound.
  void executeDirect(const std::string& sql);

  // Moves to the next result of a batch; false after the last.
  bool moreResults();
  // Reads through every remaining result, so a batch runs to its end and
  // its later errors are reported.
  void drainResults();
  // Rows the last statement changed.
  SQLLEN rowCount();
  // Columns of the current result (0 for none).
  SQLSMALLINT resultColumns();
  // The next row of the current result; false at its end.
  bool fetch();

  const OdbcHandle& handle() const { return m_handle; }
  SQLHSTMT get() const { return m_handle.get(); }
  SQLRETURN check(SQLRETURN rc) const { return m_handle.check(rc); }

 private:
  struct Parameter {
    WideText wide;
    std::string narrow;
    std::int64_t integer = 0;
    double real = 0;
    SQL_TIMESTAMP_STRUCT timestamp{};
    unsigned char bit = 0;
    SQLLEN indicator = 0;
  };

  void bindOne(SQLUSMALLINT index, const Value& value, FieldKind nullKind, Parameter& buffer);
  void reset() noexcept;

  OdbcHandle m_handle;
  std::deque<Parameter> m_parameters;
};

}  // namespace vip::store
