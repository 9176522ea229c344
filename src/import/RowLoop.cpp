#include "import/RowLoop.h"

#include <algorithm>
#include <exception>

#include "store/StoreError.h"

namespace vip::import {

RowLoop::RowLoop(const Setup& setup, RowLog& log, store::Query& qryInsert, RowImporter& rows)
    : m_setup(setup), m_log(log), m_qryInsert(qryInsert), m_rows(rows) {}

std::optional<int> RowLoop::run() {
  if (m_setup.commitEvery > 0) {
    for (int first = 2; first <= m_setup.rowCount; first += m_setup.commitEvery) {
      const int last = std::min(m_setup.rowCount, first + m_setup.commitEvery - 1);
      if (const auto stoppedAt = runBatch(first, last)) return stoppedAt;
    }
    return std::nullopt;
  }
  for (int row = 2; row <= m_setup.rowCount; ++row) {
    // A stop asked for during a row takes effect once that row is done.
    if (m_log.interruptRequested()) return row;
    try {
      runRow(row);
    } catch (const StoreLost&) {
      m_committedImported = m_imported;
      throw;
    }
    m_committedImported = m_imported;
  }
  return std::nullopt;
}

// One transaction for the rows `first` to `last`. A fast batch holds its log
// until it has stood: when a statement of it fails, it is rolled back and
// done again the careful way, each operation under its own savepoint, so
// the failing row is found and logged exactly as per record.
std::optional<int> RowLoop::runBatch(int first, int last) {
  const int importedBefore = m_imported;
  std::optional<int> stoppedAt;
  int done = first - 1;
  // The rows first..`done` have run; a stop asked for ends the batch there.
  const auto runRows = [&](int from) {
    for (int row = from; row <= last && !backend().transactionBroken(); ++row) {
      if (m_log.interruptRequested()) {
        stoppedAt = row;
        return;
      }
      runRow(row);
      done = row;
    }
  };
  try {
    backend().beginTransaction(m_setup.commitEvery);
    const bool fast = backend().supportsFastBatches();
    backend().setFastBatches(fast);
    if (fast) m_log.hold();
    runRows(first);
    if (fast && !backend().transactionBroken()) {
      try {
        backend().flushInserts();
      } catch (const store::StoreError& failure) {
        if (failure.storeUnusable()) throw StoreLost{done + 1, failure.what()};
      }
    }
    if (fast && backend().transactionBroken()) {
      // The careful way: the rows already tried once, then the rest.
      m_log.discard();
      m_imported = importedBefore;
      backend().rollbackTransaction();
      backend().beginTransaction(m_setup.commitEvery);
      const int tried = done;
      for (int row = first; row <= tried; ++row)
        runRow(row);
      if (!stoppedAt) runRows(tried + 1);
    } else if (fast) {
      m_log.release();
    }
    backend().commitTransaction();
  } catch (const StoreLost& lost) {
    loseBatch(first, lost.firstRowNotImported, lost.message);
  } catch (const store::StoreError& failure) {
    // Taking, writing out or committing the transaction itself failed.
    loseBatch(first, done + 1, failure.what());
  }
  m_committedImported = m_imported;
  m_lastCommittedRow = done;
  return stoppedAt;
}

void RowLoop::loseBatch(int first, int failedRow, const std::string& message) {
  backend().rollbackTransaction();
  m_log.release();
  m_log.rowsNotImported(m_setup.phase, first, failedRow - 1, "所在批次未提交,已回滚");
  m_log.writeLog("已提交至第" + std::to_string(m_lastCommittedRow) + "行");
  throw StoreLost{m_lastCommittedRow + 1, message};
}

void RowLoop::runRow(int row) {
  try {
    m_log.processEvents();
    m_log.progress(m_setup.phase, row - 1, m_setup.rowCount > 1 ? m_setup.rowCount - 1 : 0);
    m_qryInsert.append();
    m_rows.import(row);
    ++m_imported;
  } catch (const store::StoreError& failure) {
    rowFailed(row, failure.what());
    // A store that is gone or cannot be written fails every later row.
    if (failure.storeUnusable()) throw StoreLost{row, failure.what()};
  } catch (const std::exception& failure) {
    rowFailed(row, failure.what());
  }
}

void RowLoop::rowFailed(int row, const std::string& message) {
  m_log.writeLog("插入第" + std::to_string(row) + "行" + m_setup.failureText + message);
  // Nothing of a failed row may reach the store with the next one.
  if (m_qryInsert.inInsertState()) m_qryInsert.cancel();
  if (const auto member = m_rows.savedRecord())
    m_log.rowPartlySaved(m_setup.phase, row, *member, message);
  else
    m_log.rowRejected(m_setup.phase, row, message);
}

}  // namespace vip::import
