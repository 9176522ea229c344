#include "import/ImportRun.h"

#include <exception>

#include "common/Error.h"
#include "import/CategoryRow.h"
#include "import/MemberRow.h"
#include "import/OpeningBalance.h"
#include "import/RowLoop.h"
#include "import/TitleRow.h"
#include "sheet/Workbook.h"
#include "store/Statement.h"
#include "store/StoreError.h"

namespace vip::import {

struct ImportRun::PhaseTexts {
  Phase phase;
  const char* startLine;
  const char* table;
  const char* failureLine;  // followed by the row number, then by the message
  const char* summary;      // followed by the row count, then by the imported count
};

namespace {

constexpr ImportRun::PhaseTexts kCategoryPhase = {Phase::Categories,
                                                  "正在导入会员类别，请耐心等待......",
                                                  "VipCardType", "会员类别失败:", "会员类别数量:"};
constexpr ImportRun::PhaseTexts kMemberPhase = {Phase::Members,
                                                "正在导入会员资料，请耐心等待......",
                                                "VipCardMaster", "会员资料失败:", "会员资料数量:"};

std::string summaryText(const ImportRun::PhaseTexts& texts, int rows, int imported) {
  return texts.summary + std::to_string(rows) + " 成功导入数量:" + std::to_string(imported);
}

}  // namespace

ImportRun::ImportRun(Operator& op, store::Query& qryInsert, store::Query& qryDetail,
                     std::string sysDate, const FormatSettings& settings)
    : ImportRun(op, qryInsert, qryDetail, std::move(sysDate), settings, Options{}) {}

ImportRun::ImportRun(Operator& op, store::Query& qryInsert, store::Query& qryDetail,
                     std::string sysDate, const FormatSettings& settings, const Options& options)
    : m_operator(op),
      m_qryInsert(qryInsert),
      m_qryDetail(qryDetail),
      m_sysDate(std::move(sysDate)),
      m_settings(settings),
      m_options(options),
      m_rowLog(op, options.observer) {}

std::optional<std::string> ImportRun::refusal(const std::string& categoryPath,
                                              const std::string& memberPath) {
  if (categoryPath.empty()) return "请选择会员类别excel文件!";
  if (memberPath.empty()) return "请选择会员资料excel文件!";
  // Byte equality only: two spellings of one file are two paths here.
  if (categoryPath == memberPath) return "请选择不同的两个文件!";
  return std::nullopt;
}

ImportRun::Outcome ImportRun::run(const std::string& categoryPath, const std::string& memberPath) {
  if (const auto notice = refusal(categoryPath, memberPath)) {
    m_operator.msgBox(*notice);
    return Outcome::Refused;
  }
  m_operator.importStarted();

  // The rows log through m_rowLog, which holds a fast batch's lines until
  // the batch has stood.
  const std::optional<std::string> categorySummary =
      runPhase(kCategoryPhase, categoryPath, [this](const TitleRow& titles) {
        return std::make_unique<CategoryRow>(m_rowLog, m_qryInsert, titles);
      });
  if (!categorySummary) {
    reportMembersNotTried(memberPath);
    return Outcome::Interrupted;
  }
  OpeningBalance entries(m_rowLog, m_qryDetail, m_sysDate);
  const std::optional<std::string> memberSummary =
      runPhase(kMemberPhase, memberPath, [&](const TitleRow& titles) {
        return std::make_unique<MemberRow>(m_rowLog, m_qryInsert, titles, entries, m_settings);
      });
  if (!memberSummary) return Outcome::Interrupted;

  m_operator.writeLog("");
  m_operator.writeLog("<<<");
  m_operator.writeLog("导入完毕");
  m_operator.writeLog(*categorySummary);
  m_operator.writeLog(*memberSummary);
  m_operator.writeLog(">>>");
  m_operator.msgBox("导入完毕");
  return Outcome::Completed;
}

std::optional<std::string> ImportRun::runPhase(const PhaseTexts& texts, const std::string& path,
                                               const MakeRows& makeRows) {
  m_operator.writeLog(texts.startLine);
  // A workbook that does not open ends the run here, with the reader's message.
  auto workbook = sheet::Workbook::open(path, m_settings);
  const int rowCount = workbook->rowCount();
  const int colCount = workbook->colCount();
  m_qryInsert.close();
  m_qryInsert.setSql(store::Statement::selectEmpty(texts.table));
  m_qryInsert.open();

  const TitleRow titles(*workbook, colCount);
  const std::unique_ptr<RowImporter> rows = makeRows(titles);
  RunObserver* observer = m_options.observer;
  if (observer != nullptr) observer->phaseStarted(texts.phase, path, *workbook);
  // However the phase ends, the observer hears of it while the workbook is open.
  struct PhaseEnd {
    RunObserver* observer;
    Phase phase;
    const sheet::Workbook& workbook;
    void now() {
      if (observer != nullptr) observer->phaseEnded(phase, workbook);
      observer = nullptr;
    }
    ~PhaseEnd() { now(); }
  } phaseEnd{observer, texts.phase, *workbook};

  m_operator.progress(texts.phase, 0, rowCount > 1 ? rowCount - 1 : 0);
  RowLoop loop({texts.phase, texts.failureLine, rowCount, m_options.commitEvery}, m_rowLog,
               m_qryInsert, *rows);
  std::optional<int> stoppedAt;
  try {
    stoppedAt = loop.run();
  } catch (const RowLoop::StoreLost& lost) {
    m_rowLog.rowsNotImported(texts.phase, lost.firstRowNotImported, rowCount, "未导入(导入已停止)");
    abandon(texts, lost.firstRowNotImported, loop.committedImported(), lost.message);
  }
  const int imported = loop.imported();
  if (stoppedAt) {
    m_operator.writeLog("导入已中断:第" + std::to_string(*stoppedAt) + "行及以后的行未导入");
    m_rowLog.rowsNotImported(texts.phase, *stoppedAt, rowCount, "未导入(导入已中断)");
    m_stop = Stop{texts.phase, *stoppedAt, imported};
    return std::nullopt;
  }
  if (texts.phase == Phase::Categories) m_categoriesImported = imported;

  std::string summary = summaryText(texts, rowCount - 1, imported);
  m_operator.writeLog(">>>" + summary);
  phaseEnd.now();
  workbook->close();
  return summary;
}

void ImportRun::reportMembersNotTried(const std::string& memberPath) {
  RunObserver* observer = m_options.observer;
  if (observer == nullptr) return;
  try {
    const auto workbook = sheet::Workbook::open(memberPath, m_settings);
    observer->phaseStarted(Phase::Members, memberPath, *workbook);
    observer->rowsNotImported(Phase::Members, 2, workbook->rowCount(), "未导入(导入已中断)");
    observer->phaseEnded(Phase::Members, *workbook);
  } catch (const std::exception&) {
    // A member workbook that does not open has no rows to report.
  }
}

void ImportRun::abandon(const PhaseTexts& texts, int row, int imported,
                        const std::string& storeMessage) const {
  const bool members = texts.phase == Phase::Members;
  std::string kept =
      "已导入的会员类别" + std::to_string(members ? m_categoriesImported : imported) + "条";
  if (members) kept += "、会员资料" + std::to_string(imported) + "条";
  // With batches, what was kept is what the last commit took.
  const std::string committed =
      m_options.commitEvery > 0 ? "已提交至第" + std::to_string(row - 1) + "行," : "";
  throw vip::Error("数据库不可用,导入已停止:" + storeMessage + "。" + committed + "第" +
                   std::to_string(row) + "行及以后的行未导入" + (members ? "" : ",会员资料未导入") +
                   ";" + kept + "保留在数据库中");
}

}  // namespace vip::import
