#include <memory>

#include <QDate>
#include <QFile>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "ScriptedPrompts.h"
#include "TestStore.h"
#include "import/CheckReport.h"
#include "sheet/Workbook.h"
#include "store/Connection.h"
#include "store/Statements.h"
#include "window/TForm1.h"

using vip::window::SaveFileChoice;
using vip::window::TForm1;

namespace {

const QString kCategories = QStringLiteral(VIP_FIXTURES "/window/categories.xls");
const QString kMembers = QStringLiteral(VIP_FIXTURES "/window/members.xls");

QString today() {
  return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
}

// A store that already holds the category W1 of categories.xls: that row
// of the workbook is refused (the category number is unique).
void holdCategoryW1(const std::string& store) {
  teststore::execute(store, "INSERT INTO VipCardType (VCT_No, VCT_Name) VALUES ('W1', '旧金卡')");
}

// The log of a whole run over categories.xls and members.xls on a store
// that holds W1; the first category row's failure line carries the store's
// own message, so its beginning stands for it.
QStringList runLogWithW1Refused() {
  return {"正在导入会员类别，请耐心等待......",
          "插入第2行会员类别失败:",
          ">>>会员类别数量:2 成功导入数量:1",
          "正在导入会员资料，请耐心等待......",
          ">>>会员资料数量:3 成功导入数量:3",
          "",
          "<<<",
          "导入完毕",
          "会员类别数量:2 成功导入数量:1",
          "会员资料数量:3 成功导入数量:3",
          ">>>"};
}

// The report on categories.xls and members.xls against the store as it is.
QStringList reportOf(const std::string& store) {
  vip::store::Connection connection;
  connection.setConnectionString(store);
  QStringList lines;
  for (const std::string& line :
       vip::import::checkWorkbooks(connection, kCategories.toStdString(), kMembers.toStdString())
           .lines)
    lines << QString::fromStdString(line);
  return lines;
}

}  // namespace

class TForm1Test : public QObject {
  Q_OBJECT
 private:
  QTemporaryDir m_dir;
  std::unique_ptr<ScriptedPrompts> m_prompts;
  std::unique_ptr<TForm1> m_form;
  int m_stores = 0;

  template <typename T>
  T* child(const char* name) const {
    T* found = m_form->findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) qFatal("no control %s", name);
    return found;
  }
  QPushButton* button(const char* name) const { return child<QPushButton>(name); }
  QStringList logLines() const {
    QStringList lines = child<QPlainTextEdit>("mLog")->toPlainText().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.pop_back();  // the final line break
    return lines;
  }
  // enabled/visible of connect, the two choose buttons, import, close, check.
  QString buttonStates() const {
    QString states;
    for (const char* name : {"btnConnectDB", "btnSelectVipType", "btnSelectVipMaster", "btnImport",
                             "btnClose", "btnCheck"}) {
      const QPushButton* b = button(name);
      states += !b->isVisibleTo(m_form.get()) ? QLatin1Char('h')
                : b->isEnabled()              ? QLatin1Char('E')
                                              : QLatin1Char('d');
    }
    return states;
  }
  std::string newStore() {
    return teststore::create(m_dir.path(), QStringLiteral("store%1.db").arg(++m_stores));
  }
  void connectTo(const std::string& store) {
    m_prompts->expectConnection(store);
    button("btnConnectDB")->click();
  }
  void choosePaths(const QString& categories, const QString& members) {
    m_prompts->expectWorkbook({}, categories);
    button("btnSelectVipType")->click();
    m_prompts->expectWorkbook({}, members);
    button("btnSelectVipMaster")->click();
  }
  static QStringList entryTexts(const QMenu& menu) {
    QStringList entries;
    for (const QAction* action : menu.actions()) {
      if (!action->isSeparator()) entries << action->text().section(QLatin1Char('\t'), 0, 0);
    }
    return entries;
  }
  // Opens mLog's context menu, picks the entry named `choose` (none: closes
  // the menu) and returns the texts of the menu's entries.
  QStringList useLogMenu(const char* choose) {
    QStringList entries;
    QTimer::singleShot(0, m_form.get(), [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      QVERIFY(menu != nullptr);
      entries = entryTexts(*menu);
      auto* wanted =
          choose != nullptr ? menu->findChild<QAction*>(QString::fromLatin1(choose)) : nullptr;
      if (wanted == nullptr) {
        menu->close();
        return;
      }
      menu->setActiveAction(wanted);
      QTest::keyClick(menu, Qt::Key_Return);
    });
    QWidget* viewport = child<QPlainTextEdit>("mLog")->viewport();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20),
                            viewport->mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(viewport, &event);
    return entries;
  }
  // The entries of a read-only text area's own menu, in the language loaded.
  static QStringList qtOwnLogEntries() {
    QPlainTextEdit log;
    log.setReadOnly(true);
    const std::unique_ptr<QMenu> menu(log.createStandardContextMenu());
    return entryTexts(*menu);
  }
  // The log's lines, each row failure line cut after its row number: the
  // store's own message stays out of the comparison.
  QStringList logLinesWithoutStoreMessages() const {
    QStringList lines = logLines();
    for (QString& line : lines) {
      if (line.startsWith(QStringLiteral("插入第")))
        line = line.section(QLatin1Char(':'), 0, 0) + QLatin1Char(':');
    }
    return lines;
  }

 private slots:
  void initTestCase() {
    QVERIFY(m_dir.isValid());
    QVERIFY2(!newStore().empty(), "vipimport-cli init-store makes no store");
  }
  void init() {
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_form = std::make_unique<TForm1>();
  }
  void cleanup() {
    m_form.reset();
    // Uninstalled before anything is verified: a failure here must not
    // leave the next test with the real dialogs, which nobody answers.
    const QStringList problems = m_prompts->problems();
    const int pending = m_prompts->pending();
    m_prompts.reset();
    // The connect operation's busy cursor is always put back.
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    QCOMPARE(pending, 0);
  }

  void windowFrame() {
    QCOMPARE(m_form->windowTitle(), QStringLiteral("导入会员资料-EXCEL"));
    QCOMPARE(m_form->size(), QSize(955, 529));
    QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
    const Qt::WindowFlags flags = m_form->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!m_form->windowIcon().isNull());
    const QRect desktop = m_form->screen()->geometry();
    QCOMPARE(m_form->pos(), QPoint(desktop.left() + (desktop.width() - 955) / 2,
                                   desktop.top() + (desktop.height() - 529) / 2));
  }

  void controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    QTest::newRow("btnSelectVipType")
        << "btnSelectVipType" << QRect(692, 43, 83, 25) << "选择会员类别";
    QTest::newRow("btnSelectVipMaster")
        << "btnSelectVipMaster" << QRect(692, 77, 83, 25) << "选择会员资料";
    QTest::newRow("btnImport") << "btnImport" << QRect(790, 52, 58, 38) << "执行导入";
    QTest::newRow("btnClose") << "btnClose" << QRect(878, 52, 58, 38) << "关闭";
    QTest::newRow("btnConnectDB") << "btnConnectDB" << QRect(692, 8, 83, 25) << "连接数据库";
    QTest::newRow("btnCheck") << "btnCheck" << QRect(790, 8, 146, 25) << "检查数据";
  }
  void controls() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    const auto* b = m_form->findChild<QPushButton*>(name);
    QVERIFY(b != nullptr);
    QCOMPARE(b->geometry(), geometry);
    QCOMPARE(b->text(), caption);
    // The whole caption shows inside the button's frame.
    QVERIFY2(b->fontMetrics().horizontalAdvance(caption) <= b->width() - 8,
             qPrintable(QStringLiteral("%1 px").arg(b->fontMetrics().horizontalAdvance(caption))));
  }

  void labelsBoxesAndLog() {
    QCOMPARE(child<QLabel>("cxlbl1")->text(), QStringLiteral("会员类别excel文件："));
    QCOMPARE(child<QLabel>("cxlbl1")->pos(), QPoint(43, 42));
    QCOMPARE(child<QLabel>("cxLabel1")->text(), QStringLiteral("会员资料excel文件："));
    QCOMPARE(child<QLabel>("cxLabel1")->pos(), QPoint(43, 76));
    for (const char* name : {"edtVipType", "edtVipMaster"}) {
      const QLineEdit* box = child<QLineEdit>(name);
      QVERIFY(box->isReadOnly());
      QVERIFY(box->text().isEmpty());
      QCOMPARE(box->width(), 500);
      QCOMPARE(box->font().pixelSize(), 14);
      QVERIFY2(QFontInfo(box->font()).family().startsWith(QStringLiteral("Noto Serif CJK")),
               qPrintable(QFontInfo(box->font()).family()));
    }
    QCOMPARE(child<QLineEdit>("edtVipType")->pos(), QPoint(192, 45));
    QCOMPARE(child<QLineEdit>("edtVipMaster")->pos(), QPoint(192, 78));
    const QPlainTextEdit* log = child<QPlainTextEdit>("mLog");
    QCOMPARE(log->geometry(), QRect(0, 112, 954, 417));
    QVERIFY(log->isReadOnly());
    QVERIFY(log->toPlainText().isEmpty());
    QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(log->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QVERIFY2(QFontInfo(log->font()).family().startsWith(QStringLiteral("Noto Sans CJK")),
             qPrintable(QFontInfo(log->font()).family()));
    QVERIFY(!child<QProgressBar>("pbImport")->isVisibleTo(m_form.get()));
  }

  void tabOrder() {
    QStringList order;
    QWidget* widget = child<QLineEdit>("edtVipType");
    for (int i = 0; i < 9; ++i) {
      order << widget->objectName();
      widget = widget->nextInFocusChain();
      while (widget->focusPolicy() == Qt::NoFocus)
        widget = widget->nextInFocusChain();
    }
    QCOMPARE(order,
             (QStringList{"edtVipType", "btnSelectVipType", "edtVipMaster", "btnSelectVipMaster",
                          "btnImport", "mLog", "btnClose", "btnConnectDB", "btnCheck"}));
  }

  void statesAtStart() {
    QCOMPARE(buttonStates(), QStringLiteral("EdddEd"));
    QVERIFY(!m_form->connection().isOpen());
    QVERIFY(m_form->sysDate().empty());
  }

  // Highlights show at once behind the dialog; Open keeps the confirmed
  // path (typed or highlighted), Cancel restores what the box held.
  void chooseWorkbook_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QStringList>("highlights");
    QTest::addColumn<QString>("confirm");  // null: Cancel
    QTest::addColumn<QString>("whileOpen");
    QTest::addColumn<QString>("after");
    QTest::newRow("highlight then open") << "" << QStringList{"/w/a.xls"} << "/w/a.xls"
                                         << "/w/a.xls"
                                         << "/w/a.xls";
    QTest::newRow("last highlight shows")
        << "" << QStringList{"/w/a.xls", "/w/b.xls", "/w"} << "/w/b.xls"
        << "/w"
        << "/w/b.xls";
    QTest::newRow("typed name, no highlight") << "/w/old.xls" << QStringList{} << "/w/typed.xls"
                                              << "/w/old.xls"
                                              << "/w/typed.xls";
    QTest::newRow("highlight then cancel")
        << "/w/old.xls" << QStringList{"/w/a.xls"} << QString() << "/w/a.xls"
        << "/w/old.xls";
    QTest::newRow("cancel on an empty box")
        << "" << QStringList{"/w/a.xls"} << QString() << "/w/a.xls"
        << "";
  }
  void chooseWorkbook() {
    QFETCH(QString, before);
    QFETCH(QStringList, highlights);
    QFETCH(QString, confirm);
    QFETCH(QString, whileOpen);
    QFETCH(QString, after);
    connectTo(newStore());
    for (const char* pair : {"Type", "Master"}) {
      const QByteArray boxName = QByteArray("edtVip") + pair;
      const QByteArray buttonName = QByteArray("btnSelectVip") + pair;
      QLineEdit* box = child<QLineEdit>(boxName.constData());
      if (!before.isEmpty()) {
        m_prompts->expectWorkbook({}, before);
        button(buttonName.constData())->click();
      }
      QString seenWhileOpen;
      m_prompts->expectWorkbook(highlights,
                                confirm.isNull() ? std::nullopt : std::optional<QString>(confirm),
                                nullptr, [&] { seenWhileOpen = box->text(); });
      button(buttonName.constData())->click();
      QCOMPARE(seenWhileOpen, whileOpen);
      QCOMPARE(box->text(), after);
    }
  }

  // The name field shows the file last confirmed with Open in that same
  // dialog; Cancel does not change it.
  void nameFieldShowsLastConfirmed() {
    connectTo(newStore());
    QString nameField = QStringLiteral("unset");
    m_prompts->expectWorkbook({}, QStringLiteral("/w/first.xls"), &nameField);
    button("btnSelectVipType")->click();
    QCOMPARE(nameField, QString());
    m_prompts->expectWorkbook({QStringLiteral("/w/other.xls")}, std::nullopt, &nameField);
    button("btnSelectVipType")->click();
    QCOMPARE(nameField, QStringLiteral("/w/first.xls"));
    m_prompts->expectWorkbook({}, std::nullopt, &nameField);
    button("btnSelectVipType")->click();
    QCOMPARE(nameField, QStringLiteral("/w/first.xls"));
    m_prompts->expectWorkbook({}, std::nullopt, &nameField);
    button("btnSelectVipMaster")->click();
    QCOMPARE(nameField, QString());  // the other dialog keeps its own
  }

  void workbookDialogsAreTitledAfterTheirBoxes() {
    connectTo(newStore());
    choosePaths(kCategories, kMembers);
    QCOMPARE(m_prompts->workbookTitles(),
             (QStringList{"选择会员类别excel文件", "选择会员资料excel文件"}));
  }

  void connectEmbeddedStore() {
    const std::string store = newStore();
    std::string initial;
    m_prompts->expectConnection(store, &initial);
    button("btnConnectDB")->click();
    QCOMPARE(initial, std::string(vip::store::statements::kDefaultConnectionString));
    QCOMPARE(buttonStates(), QStringLiteral("EEEEEE"));
    QVERIFY(m_form->connection().isOpen());
    QCOMPARE(QString::fromStdString(m_form->sysDate()), today());

    // With the parameter row the business date is its text as stored; a
    // second connect opens the dialog on the built-in string again.
    teststore::execute(
        store, "INSERT INTO Qx_SysPara (SP_Name, SP_Value) VALUES ('系统日期', '2026/1/31')");
    initial.clear();
    m_prompts->expectConnection(store, &initial);
    button("btnConnectDB")->click();
    QCOMPARE(initial, std::string(vip::store::statements::kDefaultConnectionString));
    QCOMPARE(m_form->sysDate(), std::string("2026/1/31"));
    QCOMPARE(m_prompts->shown(), QStringList{});
  }

  void connectMissingStoreFile() {
    const std::string missing = teststore::connectionString(m_dir.filePath("missing.db"));
    m_prompts->expectConnection(missing);
    m_prompts->expectNotice(QStringLiteral("连接数据库失败!"));
    button("btnConnectDB")->click();
    QCOMPARE(buttonStates(), QStringLiteral("EEEEEE"));
    QVERIFY(!m_form->connection().isOpen());
    QCOMPARE(m_form->connection().connectionString(), missing);
    QCOMPARE(QString::fromStdString(m_form->sysDate()), today());
    QVERIFY(!QFile::exists(m_dir.filePath("missing.db")));
  }

  // Cancel connects with the built-in string, whatever the last connect used.
  void cancelUsesTheBuiltInString() {
    connectTo(newStore());
    m_prompts->expectConnection(std::nullopt);
    m_prompts->expectNotice(QStringLiteral("连接数据库失败!"));  // no SQL Server here
    button("btnConnectDB")->click();
    QCOMPARE(m_form->connection().connectionString(),
             std::string(vip::store::statements::kDefaultConnectionString));
    QCOMPARE(buttonStates(), QStringLiteral("EEEEEE"));
  }

  void connectStoreLackingParameters() {
    const std::string store = newStore();
    teststore::execute(store, "DROP TABLE Qx_SysPara");
    m_prompts->expectConnection(store);
    m_prompts->expectError(QString());
    button("btnConnectDB")->click();
    QCOMPARE(m_prompts->shown().size(), 1);
    const QString shown = m_prompts->shown().front();
    QVERIFY2(shown.contains(QStringLiteral("Qx_SysPara")), qPrintable(shown));
    QVERIFY2(shown.endsWith(QLatin1Char('.')) || shown.endsWith(QLatin1Char('!')),
             qPrintable(shown));
    QCOMPARE(buttonStates(), QStringLiteral("EEEEEE"));
    QVERIFY(m_form->connection().isOpen());
    QCOMPARE(QString::fromStdString(m_form->sysDate()), today());
  }

  void writeLog_data() {
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QString>("content");
    QTest::newRow("one line") << QStringList{"abc"} << "abc\n";
    QTest::newRow("empty text adds an empty line") << QStringList{"a", "", "b"} << "a\n\nb\n";
    QTest::newRow("CR LF splits") << QStringList{"x\r\ny"} << "x\ny\n";
    QTest::newRow("order kept") << QStringList{"1", "2", "3"} << "1\n2\n3\n";
  }
  void writeLog() {
    QFETCH(QStringList, writes);
    QFETCH(QString, content);
    for (const QString& text : writes)
      m_form->WriteLog(text);
    QCOMPARE(child<QPlainTextEdit>("mLog")->toPlainText(), content);
  }

  void writeLogKeepsTheNewestLineInView() {
    m_form->show();
    for (int i = 0; i < 300; ++i)
      m_form->WriteLog(QStringLiteral("第%1行").arg(i));
    const QScrollBar* bar = child<QPlainTextEdit>("mLog")->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
  }

  void importRefusedByItsChecks() {
    connectTo(newStore());
    m_prompts->expectNotice(QStringLiteral("请选择会员类别excel文件!"));
    button("btnImport")->click();
    choosePaths(kCategories, kCategories);
    m_prompts->expectNotice(QStringLiteral("请选择不同的两个文件!"));
    button("btnImport")->click();
    QCOMPARE(logLines(), QStringList{});
    QCOMPARE(buttonStates(), QStringLiteral("EEEEEE"));
  }

  void wholeImport() {
    const std::string store = newStore();
    connectTo(store);
    choosePaths(kCategories, kMembers);
    m_prompts->expectNotice(QStringLiteral("导入完毕"));
    button("btnImport")->click();
    QCOMPARE(logLines(),
             (QStringList{"正在导入会员类别，请耐心等待......", ">>>会员类别数量:2 成功导入数量:2",
                          "正在导入会员资料，请耐心等待......", ">>>会员资料数量:3 成功导入数量:3",
                          "", "<<<", "导入完毕", "会员类别数量:2 成功导入数量:2",
                          "会员资料数量:3 成功导入数量:3", ">>>"}));
    QCOMPARE(teststore::countRows(store, "VipCardType"), 2);
    QCOMPARE(teststore::countRows(store, "VipCardMaster"), 3);
    QCOMPARE(buttonStates(), QStringLiteral("EEEhEd"));
    QVERIFY(!button("btnImport")->isEnabled());
    QVERIFY(!child<QProgressBar>("pbImport")->isVisibleTo(m_form.get()));

    // Connecting again never brings the import button back.
    connectTo(store);
    QCOMPARE(buttonStates(), QStringLiteral("EEEhEd"));
  }

  // A member workbook that does not open ends the run after the category
  // phase; both buttons stay disabled until connecting again enables import.
  void escapedFailure() {
    const QString notAWorkbook = m_dir.filePath(QStringLiteral("not_a_workbook.xls"));
    QFile file(notAWorkbook);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("this is no workbook");
    file.close();
    const std::string store = newStore();
    connectTo(store);
    choosePaths(kCategories, notAWorkbook);
    m_prompts->expectError(QString());
    button("btnImport")->click();
    QCOMPARE(m_prompts->shown().size(), 1);
    const QStringList lines = logLines();
    QCOMPARE(lines,
             (QStringList{"正在导入会员类别，请耐心等待......", ">>>会员类别数量:2 成功导入数量:2",
                          "正在导入会员资料，请耐心等待......"}));
    QCOMPARE(teststore::countRows(store, "VipCardType"), 2);
    QCOMPARE(buttonStates(), QStringLiteral("EEEddd"));
    QVERIFY(!child<QProgressBar>("pbImport")->isVisibleTo(m_form.get()));
    connectTo(store);
    QCOMPARE(buttonStates(), QStringLiteral("EEEEdE"));
  }

  // Between rows the window handles input: a connect runs (without
  // enabling a second run), and a close waits for the run to return and
  // says so in the log.
  void inputDuringAnImport() {
    const std::string store = newStore();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    connectTo(store);
    choosePaths(kCategories, kMembers);
    QString statesDuringRun;
    bool visibleAfterClose = false;
    bool progressShown = false;
    QMetaObject::invokeMethod(
        m_form.get(),
        [&] {
          QVERIFY(m_form->importRunning());
          progressShown = child<QProgressBar>("pbImport")->isVisible();
          button("btnConnectDB")->click();
          statesDuringRun = buttonStates();
          m_form->close();
          m_form->close();
          visibleAfterClose = m_form->isVisible();
        },
        Qt::QueuedConnection);
    m_prompts->expectConnection(store);  // the prompts come in this order
    m_prompts->expectNotice(QStringLiteral("导入完毕"));
    button("btnImport")->click();
    QCOMPARE(statesDuringRun, QStringLiteral("EEEddd"));
    QVERIFY(progressShown);
    QVERIFY(visibleAfterClose);
    // The first close attempt says at once what will happen, once.
    QCOMPARE(logLines().count(QStringLiteral("导入完成后窗口将关闭")), 1);
    QCOMPARE(logLines().back(), QStringLiteral(">>>"));
    QCOMPARE(teststore::countRows(store, "VipCardMaster"), 3);
    QVERIFY(!m_form->isVisible());  // closed once the run had returned
  }

  // A close asked for during a run that then fails follows its error display.
  void closeDuringAFailingImport() {
    const std::string store = newStore();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    connectTo(store);
    choosePaths(kCategories, m_dir.filePath(QStringLiteral("absent.xls")));
    QMetaObject::invokeMethod(
        m_form.get(), [&] { m_form->close(); }, Qt::QueuedConnection);
    m_prompts->expectError(QString());
    button("btnImport")->click();
    QCOMPARE(m_prompts->shown().size(), 1);
    QCOMPARE(logLines().back(), QStringLiteral("正在导入会员资料，请耐心等待......"));
    QVERIFY(logLines().contains(QStringLiteral("导入完成后窗口将关闭")));
    QVERIFY(!m_form->isVisible());
  }

  // Readable phase and counts, in room of its own.
  void progressStrip() {
    const QProgressBar* bar = child<QProgressBar>("pbImport");
    for (QWidget* control : m_form->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (control == bar) continue;
      QVERIFY2(!bar->geometry().intersects(control->geometry()), qPrintable(control->objectName()));
    }
    QVERIFY(m_form->rect().contains(bar->geometry()));
    const QFontMetrics metrics(bar->font());
    QVERIFY(metrics.height() <= bar->height());
    QVERIFY(metrics.horizontalAdvance(QStringLiteral("会员资料 65535/65535")) < bar->width());
    m_form->progress(vip::import::Phase::Members, 1234, 20000);
    QCOMPARE(bar->text(), QStringLiteral("会员资料 1234/20000"));
    m_form->progress(vip::import::Phase::Categories, 0, 0);
    QCOMPARE(bar->text(), QStringLiteral("会员类别 0/0"));
  }

  // The rehearsal writes the run's log and the report, refuses what the
  // store refuses, leaves the store and every button as they were, and an
  // import afterwards runs as if no check had been.
  void checkOnAStore() {
    const std::string store = newStore();
    holdCategoryW1(store);
    connectTo(store);
    choosePaths(kCategories, kMembers);
    const QStringList report = reportOf(store);
    QVERIFY(!report.isEmpty());
    const std::string before = teststore::snapshot(store);
    m_prompts->expectNotice(QStringLiteral("检查完毕"));
    button("btnCheck")->click();
    QCOMPARE(logLinesWithoutStoreMessages(), runLogWithW1Refused() + report);
    QCOMPARE(m_prompts->shown(), QStringList{"notice: 检查完毕"});
    QCOMPARE(teststore::snapshot(store), before);
    QCOMPARE(buttonStates(), QStringLiteral("EEEEEE"));
    QVERIFY(!child<QProgressBar>("pbImport")->isVisibleTo(m_form.get()));

    m_form->WriteLog(QStringLiteral("--"));
    m_prompts->expectNotice(QStringLiteral("导入完毕"));
    button("btnImport")->click();
    const QStringList lines = logLinesWithoutStoreMessages();
    QCOMPARE(lines.mid(lines.indexOf(QStringLiteral("--")) + 1), runLogWithW1Refused());
    QCOMPARE(teststore::countRows(store, "VipCardType"), 2);
    QCOMPARE(teststore::countRows(store, "VipCardMaster"), 3);
  }

  void checkRefusedByItsChecks_data() {
    QTest::addColumn<QString>("categories");
    QTest::addColumn<QString>("members");
    QTest::addColumn<QString>("notice");
    QTest::newRow("no paths") << ""
                              << ""
                              << "请选择会员类别excel文件!";
    QTest::newRow("no member path") << kCategories << ""
                                    << "请选择会员资料excel文件!";
    QTest::newRow("one path twice") << kMembers << kMembers << "请选择不同的两个文件!";
  }
  void checkRefusedByItsChecks() {
    QFETCH(QString, categories);
    QFETCH(QString, members);
    QFETCH(QString, notice);
    const std::string store = newStore();
    connectTo(store);
    if (!categories.isEmpty()) {
      m_prompts->expectWorkbook({}, categories);
      button("btnSelectVipType")->click();
    }
    if (!members.isEmpty()) {
      m_prompts->expectWorkbook({}, members);
      button("btnSelectVipMaster")->click();
    }
    const std::string before = teststore::snapshot(store);
    m_prompts->expectNotice(notice);
    button("btnCheck")->click();
    QCOMPARE(logLines(), QStringList{});
    QCOMPARE(buttonStates(), QStringLiteral("EEEEEE"));
    QCOMPARE(teststore::snapshot(store), before);
  }

  // A failure that escapes the check goes to the error display; nothing of
  // the check stays, and the buttons are as they were.
  void checkEscapedFailure() {
    const std::string store = newStore();
    connectTo(store);
    choosePaths(kCategories, m_dir.filePath(QStringLiteral("absent.xls")));
    const std::string before = teststore::snapshot(store);
    m_prompts->expectError(QString());
    button("btnCheck")->click();
    QCOMPARE(m_prompts->shown().size(), 1);
    QVERIFY2(m_prompts->shown().front().contains(QStringLiteral("absent.xls")),
             qPrintable(m_prompts->shown().front()));
    QCOMPARE(teststore::snapshot(store), before);
    QCOMPARE(buttonStates(), QStringLiteral("EEEEEE"));
  }

  // Between rows of a check the window handles input, but no second run
  // starts, connecting waits for the check's end (it would end the
  // rehearsal's transaction) and a close follows the final notice.
  void inputDuringACheck() {
    const std::string store = newStore();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    connectTo(store);
    choosePaths(kCategories, kMembers);
    const std::string before = teststore::snapshot(store);
    QString statesDuringCheck;
    QString stripText;
    bool visibleAfterClose = false;
    QMetaObject::invokeMethod(
        m_form.get(),
        [&] {
          QVERIFY(m_form->checkRunning());
          statesDuringCheck = buttonStates();
          const QProgressBar* bar = child<QProgressBar>("pbImport");
          stripText = bar->isVisible() ? bar->text() : QString();
          button("btnImport")->click();
          button("btnConnectDB")->click();
          m_form->close();
          m_form->close();
          visibleAfterClose = m_form->isVisible();
        },
        Qt::QueuedConnection);
    m_prompts->expectNotice(QStringLiteral("检查完毕"));
    button("btnCheck")->click();
    QCOMPARE(statesDuringCheck, QStringLiteral("EEEEEd"));
    QCOMPARE(stripText, QStringLiteral("会员类别 0/2"));
    QVERIFY(visibleAfterClose);
    const QStringList lines = logLines();
    QCOMPARE(lines.count(QStringLiteral("正在导入会员类别，请耐心等待......")), 1);
    QCOMPARE(lines.count(QStringLiteral("检查完成后才能连接数据库")), 1);
    QCOMPARE(lines.count(QStringLiteral("检查完成后窗口将关闭")), 1);
    QCOMPARE(lines.back(), reportOf(store).back());
    QCOMPARE(teststore::snapshot(store), before);
    QVERIFY(!m_form->isVisible());
  }

  // The log's menu keeps Qt's entries and saves the log as UTF-8 text.
  void saveLog() {
    for (const char* line :
         {"正在导入会员类别，请耐心等待......", "", "会员资料数量:3 成功导入数量:3"})
      m_form->WriteLog(QString::fromUtf8(line));
    m_form->show();
    const QString path = m_dir.filePath(QStringLiteral("log.txt"));
    m_prompts->expectSaveFile(SaveFileChoice::Log, path);
    const QStringList entries = useLogMenu("actSaveLog");
    QCOMPARE(entries, qtOwnLogEntries() + QStringList{"保存日志…"});
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("正在导入会员类别，请耐心等待......\n\n"
                                         "会员资料数量:3 成功导入数量:3\n"));
    saved.close();

    m_prompts->expectSaveFile(SaveFileChoice::Log, std::nullopt);
    QFile::remove(path);
    useLogMenu("actSaveLog");
    QVERIFY(!QFile::exists(path));
  }

  // After a run with rejects the menu exports them: the refused category
  // row, as read, with its reason; a phase without rejects leaves no file
  // (one of an earlier export would pass for this run's).
  void exportRejects() {
    const std::string store = newStore();
    holdCategoryW1(store);
    m_form->show();
    connectTo(store);
    choosePaths(kCategories, kMembers);
    QVERIFY(!useLogMenu(nullptr).contains(QStringLiteral("导出未导入的行…")));
    m_prompts->expectNotice(QStringLiteral("导入完毕"));
    button("btnImport")->click();

    const QString categoriesFile = m_dir.filePath(QStringLiteral("fix.categories.xlsx"));
    const QString membersFile = m_dir.filePath(QStringLiteral("fix.members.xlsx"));
    QFile stale(membersFile);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.close();
    m_prompts->expectSaveFile(SaveFileChoice::Rejects, m_dir.filePath(QStringLiteral("fix.xlsx")));
    m_prompts->expectNotice(QStringLiteral("未导入的行已写入:\n") + categoriesFile);
    QCOMPARE(useLogMenu("actExportRejects"),
             (qtOwnLogEntries() + QStringList{"保存日志…", "导出未导入的行…"}));
    QVERIFY(!QFile::exists(membersFile));
    const auto rejects = vip::sheet::Workbook::open(categoriesFile.toStdString());
    QCOMPARE(rejects->rowCount(), 2);
    QCOMPARE(rejects->cellText(1, 1), std::string("类别编号"));
    QCOMPARE(rejects->cellText(1, 3), std::string("失败原因"));
    QCOMPARE(rejects->cellText(2, 1), std::string("W1"));
    QCOMPARE(rejects->cellText(2, 2), std::string("金卡"));
    QCOMPARE(
        QStringLiteral("插入第2行会员类别失败:") + QString::fromStdString(rejects->cellText(2, 3)),
        logLines().at(1));
  }
};

int runTForm1Tests(int argc, char** argv) {
  TForm1Test test;
  return QTest::qExec(&test, argc, argv);
}

#include "TestTForm1.moc"
