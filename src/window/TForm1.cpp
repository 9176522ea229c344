#include "window/TForm1.h"

#include <algorithm>
#include <exception>

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>

#include "common/Error.h"
#include "common/Messages.h"
#include "import/CheckReport.h"
#include "import/ImportRun.h"
#include "import/Rehearsal.h"
#include "store/BusinessDate.h"
#include "store/Statements.h"
#include "window/Prompts.h"
#include "window/Pubs.h"

// The style sheet and icon live in the static library; referencing them
// keeps the linker from dropping them.
static void initWindowResources() {
  Q_INIT_RESOURCE(window);
}

namespace vip::window {

namespace {

QFont face(const char* family, int pixelHeight) {
  QFont font(QString::fromUtf8(family));
  font.setPixelSize(pixelHeight);
  return font;
}

QString windowStyleSheet() {
  QFile file(QStringLiteral(":/vipimport/office2007blue.qss"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

// Six Chinese characters at 15 pixels are wider than an 83-pixel button on
// the CJK faces we have; the caption steps down until it fits rather than
// being clipped.
void fitCaption(QPushButton& button) {
  constexpr int kFrame = 8;  // border and padding of the style sheet, both sides
  QFont font = button.font();
  while (font.pixelSize() > 9 &&
         QFontMetrics(font).horizontalAdvance(button.text()) > button.width() - kFrame) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  if (font != button.font()) button.setFont(font);
}

// The connect operation is synchronous; the cursor shows that the window
// waits for the store.
class BusyCursor {
 public:
  BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

QString phaseName(import::Phase phase) {
  return phase == import::Phase::Categories ? QStringLiteral("会员类别")
                                            : QStringLiteral("会员资料");
}

}  // namespace

// While a run goes on, btnCheck is disabled, the progress strip may show and
// closing waits; afterwards the strip hides again.
class TForm1::ActiveRun {
 public:
  ActiveRun(TForm1& form, Run run) : m_form(form) {
    m_form.m_run = run;
    m_form.updateCheckButton();
  }
  ~ActiveRun() {
    m_form.m_run = Run::None;
    m_form.m_progress->hide();
    m_form.updateCheckButton();
  }
  ActiveRun(const ActiveRun&) = delete;
  ActiveRun& operator=(const ActiveRun&) = delete;

 private:
  TForm1& m_form;
};

class TForm1::CheckOperator final : public import::Operator {
 public:
  explicit CheckOperator(TForm1& form) : m_form(form) {}
  void writeLog(const std::string& line) override { m_form.writeLog(line); }
  // The check shows its own notices around the run (the path checks before
  // it, "检查完毕" after); the run's closing "导入完毕" would tell of an
  // import that did not happen.
  void msgBox(const std::string& text) override { (void)text; }
  void processEvents() override { m_form.processEvents(); }
  // A check changes no button.
  void importStarted() override { m_form.showProgressStrip(); }
  void progress(import::Phase phase, int row, int rows) override {
    m_form.progress(phase, row, rows);
  }

 private:
  TForm1& m_form;
};

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      qryTmp(acQxsys, "qryTmp"),
      qryInsert(acQxsys, "qryInsert"),
      qryDetail(acQxsys, "qryDetail") {
  initWindowResources();
  installFontSubstitutes();
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("导入会员资料-EXCEL"));
  setFont(face("MS Sans Serif", 11));
  setWindowIcon(QIcon(QStringLiteral(":/vipimport/vipimport.png")));
  setAttribute(Qt::WA_StyledBackground);
  setStyleSheet(windowStyleSheet());
  setFixedSize(kClientWidth, kClientHeight);
  buildControls();
  setTabOrder();

  onClicked(btnConnectDB, &TForm1::btnConnectDBClick);
  onClicked(btnSelectVipType, &TForm1::btnSelectVipTypeClick);
  onClicked(btnSelectVipMaster, &TForm1::btnSelectVipMasterClick);
  onClicked(btnImport, &TForm1::btnImportClick);
  onClicked(btnClose, &TForm1::btnCloseClick);
  onClicked(btnCheck, &TForm1::btnCheckClick);
  btnImport->installEventFilter(this);
  mLog->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(mLog, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { runGuarded([&] { showLogMenu(pos); }); });
  placeOnScreen();
}

TForm1::~TForm1() = default;

void TForm1::lendLookToApplication() const {
  QApplication::setWindowIcon(windowIcon());
  qApp->setStyleSheet(styleSheet());
}

void TForm1::buildControls() {
  const auto label = [this](const char* name, const char* caption, int left, int top) {
    auto* result = new QLabel(QString::fromUtf8(caption), this);
    result->setObjectName(QString::fromLatin1(name));
    result->setFont(face("MS Sans Serif", 16));
    result->setAttribute(Qt::WA_TranslucentBackground);
    result->move(left, top);
    result->adjustSize();
    return result;
  };
  const auto pathBox = [this](const char* name, int left, int top) {
    auto* box = new QLineEdit(this);
    box->setObjectName(QString::fromLatin1(name));
    box->setFont(face("宋体", 14));
    box->setReadOnly(true);
    box->ensurePolished();
    box->setGeometry(left, top, 500, box->sizeHint().height());
    return box;
  };
  const auto button = [this](const char* name, const char* caption, QRect geometry,
                             int pixelHeight) {
    auto* result = new QPushButton(QString::fromUtf8(caption), this);
    result->setObjectName(QString::fromLatin1(name));
    if (pixelHeight > 0) result->setFont(face("MS Sans Serif", pixelHeight));
    result->setAutoDefault(false);
    result->setGeometry(geometry);
    fitCaption(*result);
    return result;
  };

  cxlbl1 = label("cxlbl1", "会员类别excel文件：", 43, 42);
  edtVipType = pathBox("edtVipType", 192, 45);
  btnSelectVipType = button("btnSelectVipType", "选择会员类别", {692, 43, 83, 25}, 15);
  cxLabel1 = label("cxLabel1", "会员资料excel文件：", 43, 76);
  edtVipMaster = pathBox("edtVipMaster", 192, 78);
  btnSelectVipMaster = button("btnSelectVipMaster", "选择会员资料", {692, 77, 83, 25}, 15);
  btnImport = button("btnImport", "执行导入", {790, 52, 58, 38}, 0);

  mLog = new QPlainTextEdit(this);
  mLog->setObjectName(QStringLiteral("mLog"));
  mLog->setFont(face("微软雅黑", 16));
  mLog->setReadOnly(true);
  mLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  mLog->setGeometry(0, 112, 954, 417);

  btnClose = button("btnClose", "关闭", {878, 52, 58, 38}, 0);
  btnConnectDB = button("btnConnectDB", "连接数据库", {692, 8, 83, 25}, 0);
  btnCheck = button("btnCheck", "检查数据", {790, 8, 146, 25}, 0);

  // The free row above the labels, left of btnConnectDB: room for the
  // phase and the counts in a readable size.
  m_progress = new QProgressBar(this);
  m_progress->setObjectName(QStringLiteral("pbImport"));
  m_progress->setFont(face("微软雅黑", 13));
  m_progress->setAlignment(Qt::AlignCenter);
  m_progress->setGeometry(43, 8, 639, 25);
  m_progress->hide();

  btnSelectVipType->setEnabled(false);
  btnSelectVipMaster->setEnabled(false);
  btnImport->setEnabled(false);
  btnCheck->setEnabled(false);
}

void TForm1::setTabOrder() {
  const QWidget* order[] = {edtVipType,         btnSelectVipType, edtVipMaster,
                            btnSelectVipMaster, btnImport,        mLog,
                            btnClose,           btnConnectDB,     btnCheck};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i)
    QWidget::setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
  edtVipType->setFocus();
}

void TForm1::placeOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect desktop = screen->geometry();
  move(desktop.left() + (desktop.width() - width()) / 2,
       desktop.top() + (desktop.height() - height()) / 2);
}

void TForm1::runGuarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    showErrorDisplay(this, e.what());
  } catch (...) {
    showErrorDisplay(this, "Unknown failure");
  }
}

void TForm1::onClicked(QPushButton* button, void (TForm1::*handler)()) {
  connect(button, &QPushButton::clicked, this, [this, handler] {
    runGuarded([this, handler] { (this->*handler)(); });
    // A close asked for during a run (import or check) follows the run's
    // final notice or its error display.
    if (m_closePending && m_run == Run::None) close();
  });
}

void TForm1::WriteLog(const QString& text) {
  QString line = text;
  line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  line.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QTextCursor cursor = mLog->textCursor();
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(line + QLatin1Char('\n'));
  mLog->setTextCursor(cursor);
  mLog->verticalScrollBar()->setValue(mLog->verticalScrollBar()->maximum());
}

void TForm1::writeLog(const std::string& line) {
  WriteLog(QString::fromStdString(line));
}

void TForm1::msgBox(const std::string& text) {
  MsgBox(QString::fromStdString(text));
}

void TForm1::processEvents() {
  QCoreApplication::processEvents();
}

void TForm1::importStarted() {
  btnImport->setEnabled(false);
  btnClose->setEnabled(false);
  showProgressStrip();
}

void TForm1::showProgressStrip() {
  m_progress->setRange(0, 1);
  m_progress->setValue(0);
  m_progress->setFormat(QString());
  m_progress->show();
}

void TForm1::progress(vip::import::Phase phase, int row, int rows) {
  m_progress->setRange(0, std::max(rows, 1));
  m_progress->setValue(std::clamp(row, 0, std::max(rows, 1)));
  // A literal text: the phase's name holds no '%'.
  m_progress->setFormat(QStringLiteral("%1 %2/%3").arg(phaseName(phase)).arg(row).arg(rows));
}

void TForm1::closeEvent(QCloseEvent* event) {
  // Closing during a run ends the program only once the run has returned;
  // the log says so at the first attempt.
  if (m_run != Run::None) {
    if (!m_closePending)
      WriteLog(m_run == Run::Import ? QStringLiteral("导入完成后窗口将关闭")
                                    : QStringLiteral("检查完成后窗口将关闭"));
    m_closePending = true;
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == btnImport) {
    const QEvent::Type type = event->type();
    if (type == QEvent::EnabledChange || type == QEvent::HideToParent ||
        type == QEvent::ShowToParent)
      updateCheckButton();
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::updateCheckButton() {
  btnCheck->setEnabled(btnImport->isEnabled() && !btnImport->isHidden() && m_run == Run::None);
}

void TForm1::btnConnectDBClick() {
  // The check's transaction lives on this connection: connecting again
  // would end it, and the rest of the rehearsal would stay in the store.
  if (m_run == Run::Check) {
    WriteLog(QStringLiteral("检查完成后才能连接数据库"));
    return;
  }
  if (acQxsys.isOpen()) acQxsys.close();
  // Every connect starts from the built-in string, never from the last one;
  // Cancel or a dialog that fails gives the built-in string unchanged.
  const std::string builtIn = store::statements::kDefaultConnectionString;
  std::string chosen = builtIn;
  try {
    if (auto edited = prompts().editConnection(this, builtIn)) chosen = std::move(*edited);
  } catch (const std::exception&) {
    chosen = builtIn;
  }
  btnSelectVipType->setEnabled(true);
  btnSelectVipMaster->setEnabled(true);
  // A run in progress owns btnImport: a second run on the same queries
  // would write one phase's rows through the other's table.
  if (m_run == Run::None) btnImport->setEnabled(true);
  store::ConnectResult result;
  {
    const BusyCursor waiting;
    result = store::connectStore(acQxsys, qryTmp, chosen, FSysDate);
  }
  if (!result.opened) MsgBox(QStringLiteral("连接数据库失败!"));
}

void TForm1::chooseWorkbook(QLineEdit* box, const QString& title, QString& lastConfirmed,
                            void (TForm1::*selectionChange)(const QString&)) {
  const QString before = box->text();
  const auto confirmed = prompts().openWorkbook(
      this, title, lastConfirmed, [this, selectionChange](const QString& path) {
        runGuarded([&] { (this->*selectionChange)(path); });
      });
  if (confirmed) {
    lastConfirmed = *confirmed;
    box->setText(*confirmed);
  } else {
    box->setText(before);
  }
}

void TForm1::btnSelectVipTypeClick() {
  chooseWorkbook(edtVipType, QStringLiteral("选择会员类别excel文件"), m_lastVipType,
                 &TForm1::dlgOpenVipTypeSelectionChange);
}

void TForm1::btnSelectVipMasterClick() {
  chooseWorkbook(edtVipMaster, QStringLiteral("选择会员资料excel文件"), m_lastVipMaster,
                 &TForm1::dlgOpenVipMasterSelectionChange);
}

void TForm1::dlgOpenVipTypeSelectionChange(const QString& path) {
  edtVipType->setText(path);
}

void TForm1::dlgOpenVipMasterSelectionChange(const QString& path) {
  edtVipMaster->setText(path);
}

void TForm1::btnImportClick() {
  if (m_run != Run::None) return;
  const std::string categories = edtVipType->text().toStdString();
  const std::string members = edtVipMaster->text().toStdString();
  // Refused before the run starts, so that the rows kept from the last run
  // stay there to export.
  if (const auto notice = import::ImportRun::refusal(categories, members)) {
    MsgBox(QString::fromStdString(*notice));
    return;
  }
  import::ImportRun::Outcome outcome = import::ImportRun::Outcome::Refused;
  {
    // A failure escaping the run leaves btnImport and btnClose disabled.
    const ActiveRun running(*this, Run::Import);
    import::ImportRun::Options options;
    options.observer = m_rejects.startRun();
    import::ImportRun run(*this, qryInsert, qryDetail, FSysDate, defaultFormatSettings(), options);
    outcome = run.run(categories, members);
  }
  if (outcome == import::ImportRun::Outcome::Completed) {
    btnImport->hide();
    btnClose->setEnabled(true);
  }
}

void TForm1::btnCheckClick() {
  if (m_run != Run::None) return;
  const std::string categories = edtVipType->text().toStdString();
  const std::string members = edtVipMaster->text().toStdString();
  if (const auto notice = import::ImportRun::refusal(categories, members)) {
    MsgBox(QString::fromStdString(*notice));
    return;
  }
  std::vector<std::string> report;
  {
    const ActiveRun running(*this, Run::Check);
    const import::Rehearsal rehearsal(acQxsys);
    // The store as it is before the rehearsal's rows: the card numbers it
    // already holds are those of earlier imports.
    report = import::checkWorkbooks(acQxsys, categories, members).lines;
    CheckOperator op(*this);
    import::ImportRun::Options options;
    options.observer = m_rejects.startRun();
    import::ImportRun run(op, qryInsert, qryDetail, FSysDate, defaultFormatSettings(), options);
    run.run(categories, members);
  }  // rolled back here: the store is not held while the notice waits
  for (const std::string& line : report)
    writeLog(line);
  MsgBox(QStringLiteral("检查完毕"));
}

void TForm1::showLogMenu(const QPoint& pos) {
  const std::unique_ptr<QMenu> menu(mLog->createStandardContextMenu());
  menu->setObjectName(QStringLiteral("mLogMenu"));
  menu->addSeparator();
  QAction* save = menu->addAction(QStringLiteral("保存日志…"));
  save->setObjectName(QStringLiteral("actSaveLog"));
  QAction* exportRows = nullptr;
  // The workbooks of a run going on are still being written.
  if (m_run == Run::None && m_rejects.any()) {
    exportRows = menu->addAction(QStringLiteral("导出未导入的行…"));
    exportRows->setObjectName(QStringLiteral("actExportRejects"));
  }
  QAction* chosen = menu->exec(mLog->viewport()->mapToGlobal(pos));
  if (chosen == nullptr) return;
  if (chosen == save) saveLog();
  if (chosen == exportRows) exportRejects();
}

void TForm1::saveLog() {
  const auto path = prompts().saveFile(this, SaveFileChoice::Log);
  if (!path) return;
  QSaveFile file(*path);
  if (!file.open(QIODevice::WriteOnly) || file.write(mLog->toPlainText().toUtf8()) < 0 ||
      !file.commit())
    throw vip::Error("日志无法保存到" + vip::messageText(path->toStdString()) + ":" +
                     vip::messageText(file.errorString().toStdString()));
}

void TForm1::exportRejects() {
  const auto name = prompts().saveFile(this, SaveFileChoice::Rejects);
  if (!name) return;
  QString notice =
      QStringLiteral("未导入的行已写入:\n") + m_rejects.exportTo(*name).join(QLatin1Char('\n'));
  if (const QString failure = m_rejects.failure(); !failure.isEmpty())
    notice += QStringLiteral("\n部分未导入的行未能保留:") + failure;
  MsgBox(notice);
}

void TForm1::btnCloseClick() {
  close();
}

}  // namespace vip::window
