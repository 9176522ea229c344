#include <QtTest>

#include "ScriptedPrompts.h"
#include "window/Pubs.h"

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
