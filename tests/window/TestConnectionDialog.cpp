#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "ScriptedPrompts.h"
#include "TestStore.h"
#include "store/ConnectionString.h"
#include "store/Statements.h"
#include "window/ConnectionDialog.h"

using vip::window::ConnectionDialog;
using vip::window::StoreFileChoice;

namespace {

const std::string kBuiltIn = vip::store::statements::kDefaultConnectionString;
const QString kBuiltInPassword = QStringLiteral("qelvirandospu");

// A loopback port that takes connections (the kernel completes them) and
// never answers, like a server that hangs.
class SilentServer {
 public:
  SilentServer() : m_fd(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    if (m_fd < 0 || bind(m_fd, generic, length) != 0 || listen(m_fd, 8) != 0 ||
        getsockname(m_fd, generic, &length) != 0)
      return;
    m_port = ntohs(address.sin_port);
  }
  ~SilentServer() {
    if (m_fd >= 0) close(m_fd);
  }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  int port() const { return m_port; }

 private:
  int m_fd;
  int m_port = 0;
};

}  // namespace

class ConnectionDialogTest : public QObject {
  Q_OBJECT
 private:
  QTemporaryDir m_dir;

  template <typename T>
  static T* child(const ConnectionDialog& dialog, const char* name) {
    T* found = dialog.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) qFatal("no child %s", name);
    return found;
  }
  static void type(QLineEdit* edit, const QString& text) {
    edit->clear();
    QTest::keyClicks(edit, text);
  }
  static QString shownString(const ConnectionDialog& dialog) {
    return child<QLineEdit>(dialog, "edtConnectionString")->text();
  }
  static QString testResult(const ConnectionDialog& dialog) {
    return child<QLabel>(dialog, "lblTestResult")->text();
  }
  static QPushButton* testButton(const ConnectionDialog& dialog) {
    return child<QPushButton>(dialog, "btnTestConnection");
  }
  // Every text a box shows in clear (password fields aside).
  static QString clearTexts(const ConnectionDialog& dialog) {
    QStringList texts;
    for (const QLineEdit* edit : dialog.findChildren<QLineEdit*>())
      if (edit->echoMode() == QLineEdit::Normal) texts << edit->text();
    return texts.join(QLatin1Char('\n'));
  }
  static void choosePage(ConnectionDialog& dialog, ConnectionDialog::Page page) {
    child<QComboBox>(dialog, "cbProvider")->activated(page);
  }

 private slots:
  void initTestCase() { QVERIFY(m_dir.isValid()); }

  void opensOnTheBuiltInStringWithThePasswordMasked() {
    ConnectionDialog dialog(nullptr, kBuiltIn);
    QCOMPARE(dialog.connectionString(), kBuiltIn);
    QCOMPARE(shownString(dialog),
             QStringLiteral("Provider=SQLOLEDB;Password=********;Persist Security Info=True;"
                            "User ID=sa;Initial Catalog=qxsys;Data Source=."));
    QCOMPARE(child<QComboBox>(dialog, "cbProvider")->currentIndex(),
             int(ConnectionDialog::SqlServerPage));
    QCOMPARE(child<QLineEdit>(dialog, "edtServer")->text(), QStringLiteral("."));
    QCOMPARE(child<QLineEdit>(dialog, "edtDatabase")->text(), QStringLiteral("qxsys"));
    QCOMPARE(child<QLineEdit>(dialog, "edtUser")->text(), QStringLiteral("sa"));
    auto* password = child<QLineEdit>(dialog, "edtPassword");
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QCOMPARE(password->text(), kBuiltInPassword);
    QVERIFY(!clearTexts(dialog).contains(kBuiltInPassword));
  }

  // Editing a field rewrites only its key; the other keys and their order stay.
  void fieldsRewriteTheirKeys() {
    ConnectionDialog dialog(nullptr, kBuiltIn);
    type(child<QLineEdit>(dialog, "edtServer"), QStringLiteral("db1,1433"));
    type(child<QLineEdit>(dialog, "edtPassword"), QStringLiteral("n3w;pass"));
    QCOMPARE(dialog.connectionString(),
             std::string("Provider=SQLOLEDB;Password=\"n3w;pass\";Persist Security Info=True;"
                         "User ID=sa;Initial Catalog=qxsys;Data Source=db1,1433"));
    QCOMPARE(shownString(dialog),
             QStringLiteral("Provider=SQLOLEDB;Password=********;Persist Security Info=True;"
                            "User ID=sa;Initial Catalog=qxsys;Data Source=db1,1433"));
    const auto parsed = vip::store::ConnectionString::parse(dialog.connectionString());
    QCOMPARE(parsed.get("password"), std::optional<std::string>("n3w;pass"));
  }

  // The string drives the fields when it parses. A masked password left as
  // it is keeps the one held; one typed into the string replaces it and is
  // masked once the box is left.
  void stringDrivesTheFields() {
    ConnectionDialog dialog(nullptr, kBuiltIn);
    auto* string = child<QLineEdit>(dialog, "edtConnectionString");
    type(string, QStringLiteral("Provider=SQLOLEDB;Password=********;User ID=vip;Data Source=h"));
    QCOMPARE(dialog.connectionString(),
             "Provider=SQLOLEDB;Password=" + kBuiltInPassword.toStdString() +
                 ";User ID=vip;Data Source=h");
    QCOMPARE(child<QLineEdit>(dialog, "edtUser")->text(), QStringLiteral("vip"));

    type(string, QStringLiteral("Provider=SQLOLEDB;Password=Typed-42;Data Source=h"));
    QCOMPARE(child<QLineEdit>(dialog, "edtPassword")->text(), QStringLiteral("Typed-42"));
    emit string->editingFinished();
    QCOMPARE(shownString(dialog),
             QStringLiteral("Provider=SQLOLEDB;Password=********;Data Source=h"));

    type(string, QStringLiteral("Provider=SQLite;Data Source=/srv/store.db"));
    QCOMPARE(dialog.connectionString(), std::string("Provider=SQLite;Data Source=/srv/store.db"));
    QCOMPARE(child<QComboBox>(dialog, "cbProvider")->currentIndex(),
             int(ConnectionDialog::SqlitePage));
    QCOMPARE(child<QLineEdit>(dialog, "edtStoreFile")->text(), QStringLiteral("/srv/store.db"));

    type(string, QStringLiteral("Provider=MSDASQL;DSN=pg;UID=u;PWD=Odbc-Secret"));
    QCOMPARE(child<QComboBox>(dialog, "cbProvider")->currentIndex(),
             int(ConnectionDialog::OdbcPage));
    QCOMPARE(child<QComboBox>(dialog, "cbOdbcDataSource")->currentText(), QStringLiteral("pg"));
    QCOMPARE(child<QLineEdit>(dialog, "edtOdbcKeys")->text(), QStringLiteral("UID=u;PWD=********"));

    // Text that does not parse is what OK gives, as typed.
    type(string, QStringLiteral("Provider=SQLite;Data Source=\"unclosed"));
    QCOMPARE(dialog.connectionString(), std::string("Provider=SQLite;Data Source=\"unclosed"));
  }

  // Each page builds its string from its own fields; nothing carries over.
  void eachPageBuildsItsOwnString() {
    ConnectionDialog dialog(nullptr, kBuiltIn);
    choosePage(dialog, ConnectionDialog::SqlitePage);
    QCOMPARE(dialog.connectionString(), std::string("Provider=SQLite;Data Source="));
    QCOMPARE(child<QLineEdit>(dialog, "edtStoreFile")->text(), QString());
    type(child<QLineEdit>(dialog, "edtStoreFile"), QStringLiteral("/tmp/s.db"));
    QCOMPARE(dialog.connectionString(), std::string("Provider=SQLite;Data Source=/tmp/s.db"));

    choosePage(dialog, ConnectionDialog::OdbcPage);
    QCOMPARE(dialog.connectionString(), std::string("Provider=MSDASQL"));
    child<QComboBox>(dialog, "cbOdbcDataSource")->setEditText(QStringLiteral("members"));
    auto* keys = child<QLineEdit>(dialog, "edtOdbcKeys");
    type(keys, QStringLiteral("UID=vip;PWD=Odbc-Secret"));
    QCOMPARE(dialog.connectionString(),
             std::string("Provider=MSDASQL;DSN=members;UID=vip;PWD=Odbc-Secret"));
    QCOMPARE(shownString(dialog),
             QStringLiteral("Provider=MSDASQL;DSN=members;UID=vip;PWD=********"));
    emit keys->editingFinished();
    QCOMPARE(keys->text(), QStringLiteral("UID=vip;PWD=********"));
    QVERIFY(!clearTexts(dialog).contains(QStringLiteral("Odbc-Secret")));
    // Editing another key keeps the masked password.
    keys->setCursorPosition(0);
    QTest::keyClicks(keys, QStringLiteral("Port=5433;"));
    QCOMPARE(dialog.connectionString(),
             std::string("Provider=MSDASQL;DSN=members;Port=5433;UID=vip;PWD=Odbc-Secret"));

    // Each page keeps its own settings while another is shown.
    choosePage(dialog, ConnectionDialog::SqlServerPage);
    QCOMPARE(dialog.connectionString(), kBuiltIn);
    choosePage(dialog, ConnectionDialog::SqlitePage);
    QCOMPARE(dialog.connectionString(), std::string("Provider=SQLite;Data Source=/tmp/s.db"));
  }

  // The data sources unixODBC knows are offered on the ODBC page.
  void odbcPageOffersTheDataSources() {
    const QString ini = m_dir.filePath(QStringLiteral("odbc.ini"));
    QFile file(ini);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[vipimport_members]\nDescription = members\nDriver = PostgreSQL Unicode\n");
    file.close();
    const QByteArray before = qgetenv("ODBCINI");
    qputenv("ODBCINI", QFile::encodeName(ini));
    ConnectionDialog dialog(nullptr, kBuiltIn);
    if (before.isNull())
      qunsetenv("ODBCINI");
    else
      qputenv("ODBCINI", before);
    auto* sources = child<QComboBox>(dialog, "cbOdbcDataSource");
    const int index = sources->findText(QStringLiteral("vipimport_members"));
    QVERIFY2(index > 0, "the user data source is not offered");
    choosePage(dialog, ConnectionDialog::OdbcPage);
    sources->setCurrentIndex(index);
    QCOMPARE(dialog.connectionString(), std::string("Provider=MSDASQL;DSN=vipimport_members"));
    sources->setCurrentIndex(0);  // the empty entry: no DSN key
    QCOMPARE(dialog.connectionString(), std::string("Provider=MSDASQL"));
  }

  void composeQuotesWhatNeedsIt_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("written");
    QTest::newRow("plain") << "abc"
                           << "K=abc";
    QTest::newRow("semicolon") << "a;b"
                               << "K=\"a;b\"";
    QTest::newRow("double quote") << "a\"b"
                                  << "K=\"a\"\"b\"";
    QTest::newRow("single quote") << "it's"
                                  << "K=\"it's\"";
    QTest::newRow("outer blanks") << " x "
                                  << "K=\" x \"";
  }
  void composeQuotesWhatNeedsIt() {
    QFETCH(QString, value);
    QFETCH(QString, written);
    const std::string text = ConnectionDialog::compose({{"K", value.toStdString()}});
    QCOMPARE(QString::fromStdString(text), written);
    QCOMPARE(vip::store::ConnectionString::parse(text).get("K"),
             std::optional<std::string>(value.toStdString()));
  }

  // The test runs off the GUI thread and tells its outcome; a failure says
  // why, without the password; any change clears the last outcome.
  void testConnectionReportsTheResult() {
    const std::string store = teststore::create(m_dir.path(), QStringLiteral("dialog.db"));
    QVERIFY(!store.empty());
    ConnectionDialog good(nullptr, store);
    testButton(good)->click();
    QTRY_COMPARE(testResult(good), QStringLiteral("测试连接成功。"));

    ConnectionDialog bad(nullptr, "Provider=SQLite;Data Source=" + m_dir.path().toStdString() +
                                      "/missing.db;Password=hunter2secret");
    testButton(bad)->click();
    QTRY_VERIFY(testResult(bad) != QStringLiteral("正在测试…"));
    QVERIFY2(testResult(bad).startsWith(QStringLiteral("测试连接失败: ")),
             qPrintable(testResult(bad)));
    QVERIFY2(!testResult(bad).contains(QStringLiteral("hunter2secret")), "password shown");
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("missing.db"))));

    ScriptedPrompts prompts;
    prompts.expectStoreFile(StoreFileChoice::Existing, m_dir.filePath(QStringLiteral("dialog.db")));
    child<QPushButton>(bad, "btnChooseStoreFile")->click();
    QCOMPARE(testResult(bad), QString());
    QCOMPARE(prompts.problems(), QStringList{});
    QCOMPARE(prompts.pending(), 0);
  }

  // Against a server that takes the connection and never answers, the
  // dialog stays usable and the test can be abandoned; its late outcome is
  // dropped, also once the dialog is gone.
  void silentServerCanBeAbandoned() {
    const SilentServer silent;
    QVERIFY(silent.port() != 0);
    const std::string connect = "Provider=SQLOLEDB;Data Source=127.0.0.1," +
                                std::to_string(silent.port()) +
                                ";User ID=sa;Password=Silent-Secret;Initial Catalog=qxsys";
    auto dialog = std::make_unique<ConnectionDialog>(nullptr, connect);
    QElapsedTimer clock;
    clock.start();
    testButton(*dialog)->click();
    QVERIFY2(clock.elapsed() < 2000, "the test held the GUI thread");
    QCOMPARE(testResult(*dialog), QStringLiteral("正在测试…"));
    QCOMPARE(testButton(*dialog)->text(), QStringLiteral("放弃测试"));
    QTest::qWait(300);
    QCOMPARE(testResult(*dialog), QStringLiteral("正在测试…"));

    testButton(*dialog)->click();
    QCOMPARE(testResult(*dialog), QStringLiteral("已放弃测试。"));
    QCOMPARE(testButton(*dialog)->text(), QStringLiteral("测试连接"));

    // A second test goes away with the dialog while it runs.
    testButton(*dialog)->click();
    QCOMPARE(testResult(*dialog), QStringLiteral("正在测试…"));
    dialog.reset();
    QTest::qWait(100);
  }

  // "新建…" makes an empty store where the operator says and selects it; a
  // file that already holds a store is left as it is.
  void newStoreIsMadeAndSelected() {
    const QString path = m_dir.filePath(QStringLiteral("新建.db"));
    ScriptedPrompts prompts;
    ConnectionDialog dialog(nullptr, kBuiltIn);
    choosePage(dialog, ConnectionDialog::SqlitePage);
    prompts.expectStoreFile(StoreFileChoice::New, path);
    child<QPushButton>(dialog, "btnNewStore")->click();
    QCOMPARE(testResult(dialog), QStringLiteral("已新建空数据库。"));
    QCOMPARE(child<QLineEdit>(dialog, "edtStoreFile")->text(), path);
    const std::string selected = "Provider=SQLite;Data Source=" + path.toStdString();
    QCOMPARE(dialog.connectionString(), selected);
    QCOMPARE(teststore::countRows(selected, "VipCardType"), 0);
    QCOMPARE(teststore::countRows(selected, "Qx_SysPara"), 0);

    teststore::execute(selected, "INSERT INTO Qx_SysPara (SP_Name, SP_Value) VALUES ('a', 'b')");
    choosePage(dialog, ConnectionDialog::SqlServerPage);
    choosePage(dialog, ConnectionDialog::SqlitePage);
    prompts.expectStoreFile(StoreFileChoice::New, path);
    child<QPushButton>(dialog, "btnNewStore")->click();
    QVERIFY2(testResult(dialog).startsWith(QStringLiteral("新建数据库失败: ")),
             qPrintable(testResult(dialog)));
    QCOMPARE(teststore::countRows(selected, "Qx_SysPara"), 1);

    prompts.expectStoreFile(StoreFileChoice::New, std::nullopt);  // Cancel
    child<QPushButton>(dialog, "btnNewStore")->click();
    QCOMPARE(prompts.problems(), QStringList{});
    QCOMPARE(prompts.pending(), 0);
  }
};

int runConnectionDialogTests(int argc, char** argv) {
  ConnectionDialogTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "TestConnectionDialog.moc"
