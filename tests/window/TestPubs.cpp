#include <QApplication>
#include <QDialogButtonBox>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <memory>

#include "ScriptedPrompts.h"
#include "window/Pubs.h"
#include "window/QtPrompts.h"

namespace {

// Runs the window program with `args`; its exit code and both streams.
struct ProgramRun {
  int code = -1;
  QString out;
  QString err;
};
ProgramRun runWindowProgram(const QStringList& args, const QProcessEnvironment& environment) {
  QProcess program;
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(VIP_WINDOW), args);
  ProgramRun run;
  if (!program.waitForFinished(30000)) {
    program.kill();
    program.waitForFinished();
    return run;
  }
  run.code = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
  run.out = QString::fromUtf8(program.readAllStandardOutput());
  run.err = QString::fromUtf8(program.readAllStandardError());
  return run;
}

}  // namespace

class PubsTest : public QObject {
  Q_OBJECT
 private slots:
  void applicationTitle_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("plain") << "/usr/bin/vipimport"
                           << "vipimport";
    QTest::newRow("upper case with extension") << "C:/Tools/VIPIMPORT.EXE"
                                               << "Vipimport";
    QTest::newRow("cut at the first dot") << "/opt/My.Tool.bin"
                                          << "My";
    QTest::newRow("mixed case") << "/a/VipImport"
                                << "Vipimport";
    QTest::newRow("leading dot") << "/a/.hidden"
                                 << "";
  }
  void applicationTitle() {
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(vip::window::applicationTitleFor(path), title);
  }

  // The error display adds a full stop after a letter or a Chinese
  // character, never after "." or "!", and shows an empty message as is.
  void errorDisplay_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << "qryInsert: Field 'VCT_No' not found"
                            << "qryInsert: Field 'VCT_No' not found.";
    QTest::newRow("chinese") << "表不存在"
                             << "表不存在.";
    QTest::newRow("full stop") << "Disk full."
                               << "Disk full.";
    QTest::newRow("exclamation") << "连接数据库失败!"
                                 << "连接数据库失败!";
    QTest::newRow("closing parenthesis") << "failed (42)"
                                         << "failed (42)";
    QTest::newRow("digit") << "error 42"
                           << "error 42.";
    QTest::newRow("empty") << ""
                           << "";
  }
  void errorDisplay() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    ScriptedPrompts prompts;
    prompts.expectError(shown);
    vip::window::showErrorDisplay(nullptr, message.toStdString());
    QCOMPARE(prompts.shown(), QStringList{QStringLiteral("error: ") + shown});
    QCOMPARE(prompts.problems(), QStringList{});
  }

  void noticeIsCaptionedSystemPrompt() {
    ScriptedPrompts prompts;
    prompts.expectNotice(QStringLiteral("导入完毕"));
    vip::window::MsgBox(QStringLiteral("导入完毕"));
    QCOMPARE(prompts.problems(), QStringList{});  // the caption is checked there
    QCOMPARE(prompts.pending(), 0);
  }

  // Qt's own texts are Chinese whatever the locale: dialog buttons and the
  // log's context menu.
  void qtTextsAreChinese() {
    if (!vip::window::installQtTranslations())
      QSKIP("Qt's Chinese translations (qt6-translations-l10n) are not installed");
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QCOMPARE(buttons.button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
    QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    QPlainTextEdit log;
    const std::unique_ptr<QMenu> menu(log.createStandardContextMenu());
    QStringList actions;
    for (const QAction* action : menu->actions())
      actions << action->text().section(QLatin1Char('\t'), 0, 0);
    QVERIFY2(
        actions.contains(QStringLiteral("复制(&C)")) && actions.contains(QStringLiteral("全选")),
        qPrintable(actions.join(QLatin1Char(' '))));
  }

  // A short notice is still wide enough for its caption.
  void noticeIsWideEnoughForItsCaption() {
    int width = 0;
    int needed = 0;
    QTimer::singleShot(0, this, [&] {
      QMessageBox* box = nullptr;
      const bool up = QTest::qWaitFor([&] {
        box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        return box != nullptr && box->isVisible();
      });
      if (!up) return;
      width = box->width();
      needed = vip::window::QtPrompts::captionRoom(box->windowTitle(), box->font());
      box->accept();
    });
    vip::window::QtPrompts().information(nullptr, QStringLiteral("系统提示"),
                                         QStringLiteral("导入完毕"));
    QVERIFY(needed > 0);
    QVERIFY2(width >= needed, qPrintable(QStringLiteral("%1 < %2").arg(width).arg(needed)));
  }

  // --help and --version answer without a display; any other argument is
  // a usage error rather than a window.
  void windowProgramArguments() {
    QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      headless.remove(QString::fromLatin1(name));
    const ProgramRun version = runWindowProgram({QStringLiteral("--version")}, headless);
    QCOMPARE(version.code, 0);
    QVERIFY2(QRegularExpression(QStringLiteral("^vipimport \\d+\\.\\d+\\.\\d+\n$"))
                 .match(version.out)
                 .hasMatch(),
             qPrintable(version.out));
    const ProgramRun help = runWindowProgram({QStringLiteral("--help")}, headless);
    QCOMPARE(help.code, 0);
    QVERIFY2(help.out.startsWith(QStringLiteral("usage: vipimport")), qPrintable(help.out));

    QProcessEnvironment offscreen = headless;
    offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const ProgramRun stray = runWindowProgram({QStringLiteral("--bogus")}, offscreen);
    QCOMPARE(stray.code, 2);
    QVERIFY2(stray.err.contains(QStringLiteral("usage: vipimport")), qPrintable(stray.err));
  }

  // The seam itself: a prompt nobody scripted is a problem, not a silent OK.
  void unscriptedPromptIsReported() {
    ScriptedPrompts prompts;
    vip::window::MsgBox(QStringLiteral("意外"));
    QCOMPARE(prompts.problems().size(), 1);
  }
};

int runPubsTests(int argc, char** argv) {
  PubsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "TestPubs.moc"
