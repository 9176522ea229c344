#pragma once

#include <optional>
#include <string>

#include "import/Operator.h"
#include "import/RowImporter.h"
#include "import/RowLog.h"
#include "store/Backend.h"
#include "store/Query.h"

namespace vip::import {

// The guarded loop over the data rows of one phase: each row under its own
// guard, a failing row logged with its sheet row number and the loop going
// on. Every record commits by itself, or, with batches, the rows of each
// batch share one transaction (savepoints keep each row's failures to
// itself, so the log and the numbers are those of the per-record loop).
class RowLoop {
 public:
  struct Setup {
    Phase phase = Phase::Categories;
    const char* failureText = "";  // "会员类别失败:", after "插入第N行"
    int rowCount = 0;              // the used range's last row
    int commitEvery = 0;           // rows per transaction; 0: per record
  };

  // The store failed for good at `row`: what the run kept is what was
  // committed before it.
  struct StoreLost {
    int firstRowNotImported = 0;
    std::string message;
  };

  RowLoop(const Setup& setup, RowLog& log, store::Query& qryInsert, RowImporter& rows);

  // Runs the rows. Returns the first row not imported when the operator
  // interrupted; throws StoreLost when the store is gone or unusable.
  std::optional<int> run();

  int imported() const { return m_imported; }
  // Of those, the rows whose transaction committed (all, without batches).
  int committedImported() const { return m_committedImported; }

 private:
  std::optional<int> runBatch(int first, int last);
  void runRow(int row);
  void rowFailed(int row, const std::string& message);
  // The batch cannot be kept: rolls it back and reports what was committed.
  [[noreturn]] void loseBatch(int first, int failedRow, const std::string& message);
  store::Backend& backend() { return m_qryInsert.connection().backend(); }

  Setup m_setup;
  RowLog& m_log;
  store::Query& m_qryInsert;
  RowImporter& m_rows;
  int m_imported = 0;
  int m_committedImported = 0;
  int m_lastCommittedRow = 1;
};

}  // namespace vip::import
