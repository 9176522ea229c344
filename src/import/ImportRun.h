#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/FormatSettings.h"
#include "import/Operator.h"
#include "import/RowImporter.h"
#include "import/RowLog.h"
#include "import/RunObserver.h"
#include "import/TitleRow.h"
#include "store/Query.h"

namespace vip::import {

// The import run behind btnImport: the path checks, the category phase, the
// member phase with its opening-balance entries, the closing block and the
// final notice. A failure outside the row guards escapes as an exception
// (its what() is the message for the default error display), and so does a
// store that is gone or cannot be written: no later row could be saved.
class ImportRun {
 public:
  enum class Outcome {
    Refused,      // a path check failed; its notice was shown, nothing changed
    Completed,    // the closing block was logged and "导入完毕" acknowledged
    Interrupted,  // the operator asked to stop; the run ended between two rows
  };

  // Where an interrupted run stopped.
  struct Stop {
    Phase phase = Phase::Categories;
    int firstRowNotImported = 0;  // sheet row
    int imported = 0;             // rows of that phase imported before it
  };

  // What goes beyond the import as it always was; the defaults change nothing.
  struct Options {
    // Rows per transaction (one transaction per batch); 0: every record
    // commits by itself.
    int commitEvery = 0;
    // Told what became of each row that did not import whole.
    RunObserver* observer = nullptr;
  };

  ImportRun(Operator& op, store::Query& qryInsert, store::Query& qryDetail, std::string sysDate,
            const FormatSettings& settings = defaultFormatSettings());
  ImportRun(Operator& op, store::Query& qryInsert, store::Query& qryDetail, std::string sysDate,
            const FormatSettings& settings, const Options& options);

  Outcome run(const std::string& categoryPath, const std::string& memberPath);

  // The notice that refuses these two paths; nothing when they may be run.
  static std::optional<std::string> refusal(const std::string& categoryPath,
                                            const std::string& memberPath);

  // Set after an Interrupted outcome.
  const std::optional<Stop>& stop() const { return m_stop; }

  // The fixed texts and target table of one phase.
  struct PhaseTexts;

 private:
  // Sets up a phase's row work once its titles are read and its target is open.
  using MakeRows = std::function<std::unique_ptr<RowImporter>(const TitleRow& titles)>;
  // One phase: start line, workbook, the guarded row loop, the summary line.
  // Returns the summary without its ">>>" for the closing block; nothing
  // when the operator interrupted the phase.
  std::optional<std::string> runPhase(const PhaseTexts& texts, const std::string& path,
                                      const MakeRows& makeRows);
  // The failure that ends a run whose store failed: the rows from `row` on
  // were not imported, `imported` rows of the phase were kept.
  [[noreturn]] void abandon(const PhaseTexts& texts, int row, int imported,
                            const std::string& storeMessage) const;
  // An interruption during the categories leaves every member row untried.
  void reportMembersNotTried(const std::string& memberPath);

  Operator& m_operator;
  store::Query& m_qryInsert;
  store::Query& m_qryDetail;
  std::string m_sysDate;
  FormatSettings m_settings;
  Options m_options;
  RowLog m_rowLog;
  int m_categoriesImported = 0;
  std::optional<Stop> m_stop;
};

}  // namespace vip::import
