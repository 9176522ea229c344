#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "TestStore.h"
#include "store/ConnectionString.h"
#include "store/Statements.h"
#include "window/ConnectionDialog.h"

using vip::window::ConnectionDialog;

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
  static QString testResult(ConnectionDialog& dialog) {
    child<QPushButton>(dialog, "btnTestConnection")->click();
    return child<QLabel>(dialog, "lblTestResult")->text();
  }

 private slots:
  void initTestCase() { QVERIFY(m_dir.isValid()); }

  void opensOnTheBuiltInString() {
    ConnectionDialog dialog(nullptr, vip::store::statements::kDefaultConnectionString);
    QCOMPARE(dialog.connectionString(),
             std::string(vip::store::statements::kDefaultConnectionString));
    QCOMPARE(child<QComboBox>(dialog, "cbProvider")->currentIndex(),
             int(ConnectionDialog::SqlServerPage));
    QCOMPARE(child<QLineEdit>(dialog, "edtServer")->text(), QStringLiteral("."));
    QCOMPARE(child<QLineEdit>(dialog, "edtDatabase")->text(), QStringLiteral("qxsys"));
    QCOMPARE(child<QLineEdit>(dialog, "edtUser")->text(), QStringLiteral("sa"));
    QCOMPARE(child<QLineEdit>(dialog, "edtPassword")->echoMode(), QLineEdit::Password);
  }

  // Editing a field rewrites only its key; the other keys and their order stay.
  void fieldsRewriteTheirKeys() {
    ConnectionDialog dialog(nullptr, vip::store::statements::kDefaultConnectionString);
    type(child<QLineEdit>(dialog, "edtServer"), QStringLiteral("db1,1433"));
    type(child<QLineEdit>(dialog, "edtPassword"), QStringLiteral("n3w;pass"));
    QCOMPARE(dialog.connectionString(),
             std::string("Provider=SQLOLEDB;Password=\"n3w;pass\";Persist Security Info=True;"
                         "User ID=sa;Initial Catalog=qxsys;Data Source=db1,1433"));
    const auto parsed = vip::store::ConnectionString::parse(dialog.connectionString());
    QCOMPARE(parsed.get("password"), std::optional<std::string>("n3w;pass"));
  }

  // The raw string is what OK gives; the fields follow it when it parses.
  void rawStringDrivesTheFields() {
    ConnectionDialog dialog(nullptr, vip::store::statements::kDefaultConnectionString);
    auto* raw = child<QLineEdit>(dialog, "edtConnectionString");
    type(raw, QStringLiteral("Provider=SQLite;Data Source=/srv/store.db"));
    QCOMPARE(dialog.connectionString(), std::string("Provider=SQLite;Data Source=/srv/store.db"));
    QCOMPARE(child<QComboBox>(dialog, "cbProvider")->currentIndex(),
             int(ConnectionDialog::SqlitePage));
    QCOMPARE(child<QLineEdit>(dialog, "edtStoreFile")->text(), QStringLiteral("/srv/store.db"));
    type(raw, QStringLiteral("Provider=MSDASQL;DSN=pg"));
    QCOMPARE(child<QComboBox>(dialog, "cbProvider")->currentIndex(),
             int(ConnectionDialog::OdbcPage));
    QCOMPARE(child<QLineEdit>(dialog, "edtOdbcKeys")->text(), QStringLiteral("DSN=pg"));
  }

  void switchingProviderKeepsTheOtherKeys() {
    ConnectionDialog dialog(nullptr, "Data Source=.;User ID=sa");
    child<QComboBox>(dialog, "cbProvider")->activated(ConnectionDialog::SqlitePage);
    type(child<QLineEdit>(dialog, "edtStoreFile"), QStringLiteral("/tmp/s.db"));
    QCOMPARE(dialog.connectionString(),
             std::string("Provider=SQLite;Data Source=/tmp/s.db;User ID=sa"));
    child<QComboBox>(dialog, "cbProvider")->activated(ConnectionDialog::OdbcPage);
    type(child<QLineEdit>(dialog, "edtOdbcKeys"),
         QStringLiteral("Driver={PostgreSQL Unicode};Server=h"));
    QCOMPARE(dialog.connectionString(),
             std::string("Provider=MSDASQL;Driver={PostgreSQL Unicode};Server=h"));
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

  void testConnectionReportsTheResult() {
    const std::string store = teststore::create(m_dir.path(), QStringLiteral("dialog.db"));
    QVERIFY(!store.empty());
    ConnectionDialog good(nullptr, store);
    QCOMPARE(testResult(good), QStringLiteral("测试连接成功。"));

    // A failing test tells why, without the password.
    ConnectionDialog bad(nullptr, "Provider=SQLite;Data Source=" + m_dir.path().toStdString() +
                                      "/missing.db;Password=hunter2secret");
    const QString result = testResult(bad);
    QVERIFY2(result.startsWith(QStringLiteral("测试连接失败: ")), qPrintable(result));
    QVERIFY2(!result.contains(QStringLiteral("hunter2secret")), "password shown");
  }
};

int runConnectionDialogTests(int argc, char** argv) {
  ConnectionDialogTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "TestConnectionDialog.moc"
