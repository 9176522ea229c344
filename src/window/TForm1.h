#pragma once

#include <functional>
#include <string>

#include <QString>
#include <QWidget>

#include "import/Operator.h"
#include "store/Connection.h"
#include "store/Query.h"
#include "window/RunRejects.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace vip::window {

// The import window: connect to the store, choose the category and member
// workbooks, check them against the store, import, close. It is also the
// import's operator: the log, the notices, the pump between rows and the
// progress strip.
class TForm1 : public QWidget, public vip::import::Operator {
  Q_OBJECT
 public:
  static constexpr int kClientWidth = 955;
  static constexpr int kClientHeight = 529;

  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // Boxes and dialogs without an owner wear the window's look and the
  // program's icon too.
  void lendLookToApplication() const;

  // Appends one line to mLog (an empty text adds an empty line, CR LF inside
  // splits it) and keeps the newest line in view.
  void WriteLog(const QString& text);

  // The business date written by the connect operation.
  const std::string& sysDate() const { return FSysDate; }
  store::Connection& connection() { return acQxsys; }
  bool importRunning() const { return m_run == Run::Import; }
  bool checkRunning() const { return m_run == Run::Check; }

  // vip::import::Operator
  void writeLog(const std::string& line) override;
  void msgBox(const std::string& text) override;
  void processEvents() override;
  void importStarted() override;
  void progress(vip::import::Phase phase, int row, int rows) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  enum class Run { None, Import, Check };
  // Marks a run (import or check) as going on for its lifetime.
  class ActiveRun;
  // The check's operator: the window's log, pump and progress strip.
  class CheckOperator;

  void buildControls();
  void setTabOrder();
  void placeOnScreen();
  // Every handler runs through here: a failure that escapes it goes to the
  // default error display and the window stays usable.
  void runGuarded(const std::function<void()>& handler);
  void onClicked(QPushButton* button, void (TForm1::*handler)());

  void btnConnectDBClick();
  void btnSelectVipTypeClick();
  void btnSelectVipMasterClick();
  void btnImportClick();
  void btnCloseClick();
  // The import rehearsed against the store in one transaction that is
  // rolled back: its log, then the report on the two workbooks.
  void btnCheckClick();
  // btnCheck is usable exactly where btnImport is and no run is going on.
  void updateCheckButton();
  void showProgressStrip();
  // The log area's context menu: Qt's own entries, saving the log, and
  // exporting the rows of the last run that did not import whole.
  void showLogMenu(const QPoint& pos);
  void saveLog();
  void exportRejects();
  void dlgOpenVipTypeSelectionChange(const QString& path);
  void dlgOpenVipMasterSelectionChange(const QString& path);
  void chooseWorkbook(QLineEdit* box, const QString& title, QString& lastConfirmed,
                      void (TForm1::*selectionChange)(const QString&));

  QLabel* cxlbl1 = nullptr;
  QLineEdit* edtVipType = nullptr;
  QPushButton* btnSelectVipType = nullptr;
  QLabel* cxLabel1 = nullptr;
  QLineEdit* edtVipMaster = nullptr;
  QPushButton* btnSelectVipMaster = nullptr;
  QPushButton* btnImport = nullptr;
  QPlainTextEdit* mLog = nullptr;
  QPushButton* btnClose = nullptr;
  QPushButton* btnConnectDB = nullptr;
  QPushButton* btnCheck = nullptr;
  QProgressBar* m_progress = nullptr;

  store::Connection acQxsys;
  store::Query qryTmp;
  store::Query qryInsert;
  store::Query qryDetail;

  std::string FSysDate;
  // The file last confirmed with Open in each dialog, for its name field.
  QString m_lastVipType;
  QString m_lastVipMaster;
  RunRejects m_rejects;
  Run m_run = Run::None;
  bool m_closePending = false;
};

}  // namespace vip::window
