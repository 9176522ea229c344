#include "window/ConnectionDialog.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "common/AsciiCase.h"
#include "store/Connection.h"
#include "store/ConnectionString.h"
#include "store/StoreSchema.h"
#include "window/OdbcDataSources.h"
#include "window/Prompts.h"
#include "window/Pubs.h"

namespace vip::window {

namespace {

using Pairs = ConnectionDialog::Pairs;

bool sameKey(const std::string& a, const std::string& b) {
  return vip::equalsIgnoringCase(a, b);
}

std::string valueOf(const Pairs& pairs, const std::string& key) {
  return store::ConnectionString::find(pairs, key).value_or("");
}

// Sets `key` in place (keeping the order of the string; of a key given
// twice, the last setting, which is the one that counts); a key not yet
// present is added at the end unless the value is empty.
void setValue(Pairs& pairs, const std::string& key, const std::string& value) {
  for (auto it = pairs.rbegin(); it != pairs.rend(); ++it) {
    if (sameKey(it->first, key)) {
      it->second = value;
      return;
    }
  }
  if (!value.empty()) pairs.emplace_back(key, value);
}

void setOrRemove(Pairs& pairs, const std::string& key, const std::string& value) {
  if (value.empty()) {
    std::erase_if(pairs, [&key](const auto& pair) { return sameKey(pair.first, key); });
  } else {
    setValue(pairs, key, value);
  }
}

// A password shown masked and left so stands for the one already held.
Pairs unmasked(Pairs pairs, const Pairs& held) {
  for (auto& [key, value] : pairs)
    if (value == ConnectionDialog::kMask && store::ConnectionString::isPasswordKey(key))
      value = valueOf(held, key);
  return pairs;
}

QString toQ(const std::string& text) {
  return QString::fromStdString(text);
}

std::optional<Pairs> tryParse(const std::string& text) {
  try {
    return store::ConnectionString::parse(text).pairs();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

ConnectionDialog::Page pageOf(const Pairs& pairs) {
  switch (store::ConnectionString::providerOf(valueOf(pairs, "Provider"))) {
    case store::Provider::Sqlite:
      return ConnectionDialog::SqlitePage;
    case store::Provider::None:
    case store::Provider::SqlServer:
      return ConnectionDialog::SqlServerPage;
    default:
      return ConnectionDialog::OdbcPage;
  }
}

// The keys the ODBC page shows in its free-text box: all but the provider
// and the data source, which have their own fields.
bool isOdbcFieldKey(const std::string& key) {
  return sameKey(key, "Provider") || sameKey(key, "DSN");
}

QString testOutcome(const std::string& connectionString) {
  try {
    store::openBackend(store::ConnectionString::parse(connectionString));
    return QStringLiteral("测试连接成功。");
  } catch (const std::exception& e) {
    // Store messages never hold the password.
    return QStringLiteral("测试连接失败: ") + QString::fromStdString(e.what());
  } catch (...) {
    return QStringLiteral("测试连接失败");
  }
}

}  // namespace

// A test in flight on its own thread. The dialog marks it abandoned (when
// the operator gives up, anything changes or the dialog goes away); the
// thread posts its outcome only while it is not, under the same lock, so a
// result never reaches a dialog that is gone.
struct ConnectionDialog::PendingTest {
  std::mutex mutex;
  bool abandoned = false;
};

std::string ConnectionDialog::compose(const Pairs& pairs) {
  return store::ConnectionString::compose(pairs);
}

Pairs ConnectionDialog::masked(Pairs pairs) {
  for (auto& [key, value] : pairs)
    if (store::ConnectionString::isPasswordKey(key)) value = kMask;
  return pairs;
}

ConnectionDialog::ConnectionDialog(QWidget* parent, const std::string& initial) : QDialog(parent) {
  setObjectName(QStringLiteral("dlgConnection"));
  setWindowTitle(QStringLiteral("数据连接属性"));
  setWindowModality(Qt::WindowModal);

  m_pairs[SqlServerPage] = {{"Provider", "SQLOLEDB"}};
  m_pairs[SqlitePage] = {{"Provider", "SQLite"}, {"Data Source", ""}};
  m_pairs[OdbcPage] = {{"Provider", "MSDASQL"}};
  std::copy(std::begin(m_pairs), std::end(m_pairs), std::begin(m_held));

  m_provider = new QComboBox(this);
  m_provider->setObjectName(QStringLiteral("cbProvider"));
  m_provider->addItems({QStringLiteral("SQL Server (SQLOLEDB)"),
                        QStringLiteral("内嵌 SQLite 数据库文件"),
                        QStringLiteral("ODBC 数据源 (MSDASQL)")});
  m_pages = new QStackedWidget(this);
  m_pages->addWidget(buildSqlServerPage());
  m_pages->addWidget(buildSqlitePage());
  m_pages->addWidget(buildOdbcPage());

  m_string = new QLineEdit(this);
  m_string->setObjectName(QStringLiteral("edtConnectionString"));
  m_string->setMinimumWidth(520);
  m_testButton = new QPushButton(QStringLiteral("测试连接"), this);
  m_testButton->setObjectName(QStringLiteral("btnTestConnection"));
  m_testButton->setAutoDefault(false);
  m_testResult = new QLabel(this);
  m_testResult->setObjectName(QStringLiteral("lblTestResult"));
  m_testResult->setWordWrap(true);
  m_testResult->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* top = new QFormLayout;
  top->addRow(QStringLiteral("提供程序:"), m_provider);
  auto* testRow = new QHBoxLayout;
  testRow->addWidget(m_testButton);
  testRow->addWidget(m_testResult, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(m_pages);
  layout->addWidget(new QLabel(QStringLiteral("连接字符串:"), this));
  layout->addWidget(m_string);
  layout->addLayout(testRow);
  layout->addWidget(buttons);

  if (auto parsed = tryParse(initial)) {
    const Page page = pageOf(*parsed);
    m_pairs[page] = std::move(*parsed);
    showPage(page);
    showString();
  } else {
    // Not a string the fields can show; OK gives it back as it came.
    m_string->setText(toQ(initial));
    m_stringParses = false;
    showPage(SqlServerPage);
  }

  connect(m_provider, &QComboBox::activated, this, &ConnectionDialog::providerChosen);
  connect(m_string, &QLineEdit::textEdited, this, &ConnectionDialog::stringEdited);
  // A password typed into the string shows masked once the box is left.
  connect(m_string, &QLineEdit::editingFinished, this, [this] {
    if (m_stringParses) showString();
  });
  connect(m_testButton, &QPushButton::clicked, this, &ConnectionDialog::testClicked);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

ConnectionDialog::~ConnectionDialog() {
  abandonTest();
}

QLineEdit* ConnectionDialog::addField(QWidget* page, const char* name, const QString& label) {
  auto* edit = new QLineEdit(page);
  edit->setObjectName(QString::fromLatin1(name));
  static_cast<QFormLayout*>(page->layout())->addRow(label, edit);
  return edit;
}

QWidget* ConnectionDialog::buildSqlServerPage() {
  auto* page = new QWidget(this);
  auto* form = new QFormLayout(page);
  form->setContentsMargins(0, 0, 0, 0);
  m_server = addField(page, "edtServer", QStringLiteral("服务器:"));
  m_database = addField(page, "edtDatabase", QStringLiteral("数据库:"));
  m_user = addField(page, "edtUser", QStringLiteral("用户名:"));
  m_password = addField(page, "edtPassword", QStringLiteral("密码:"));
  m_password->setEchoMode(QLineEdit::Password);
  for (QLineEdit* edit : {m_server, m_database, m_user, m_password})
    connect(edit, &QLineEdit::textEdited, this, &ConnectionDialog::sqlServerEdited);
  return page;
}

QWidget* ConnectionDialog::buildSqlitePage() {
  auto* page = new QWidget(this);
  auto* form = new QFormLayout(page);
  form->setContentsMargins(0, 0, 0, 0);
  m_storeFile = new QLineEdit(page);
  m_storeFile->setObjectName(QStringLiteral("edtStoreFile"));
  auto* browse = new QPushButton(QStringLiteral("浏览…"), page);
  browse->setObjectName(QStringLiteral("btnChooseStoreFile"));
  browse->setAutoDefault(false);
  auto* create = new QPushButton(QStringLiteral("新建…"), page);
  create->setObjectName(QStringLiteral("btnNewStore"));
  create->setAutoDefault(false);
  create->setToolTip(QStringLiteral("新建一个空数据库文件并选用它"));
  auto* row = new QHBoxLayout;
  row->addWidget(m_storeFile, 1);
  row->addWidget(browse);
  row->addWidget(create);
  form->addRow(QStringLiteral("数据库文件:"), row);
  connect(m_storeFile, &QLineEdit::textEdited, this, &ConnectionDialog::storeFileEdited);
  connect(browse, &QPushButton::clicked, this, &ConnectionDialog::chooseStoreFile);
  connect(create, &QPushButton::clicked, this, &ConnectionDialog::newStore);
  return page;
}

QWidget* ConnectionDialog::buildOdbcPage() {
  auto* page = new QWidget(this);
  auto* form = new QFormLayout(page);
  form->setContentsMargins(0, 0, 0, 0);
  m_odbcSource = new QComboBox(page);
  m_odbcSource->setObjectName(QStringLiteral("cbOdbcDataSource"));
  m_odbcSource->setEditable(true);
  m_odbcSource->setInsertPolicy(QComboBox::NoInsert);
  m_odbcSource->addItem(QString());
  for (const OdbcDataSource& source : odbcDataSources()) {
    m_odbcSource->addItem(toQ(source.name));
    m_odbcSource->setItemData(m_odbcSource->count() - 1, toQ(source.description), Qt::ToolTipRole);
  }
  form->addRow(QStringLiteral("数据源 (DSN):"), m_odbcSource);
  m_odbcKeys = new QLineEdit(page);
  m_odbcKeys->setObjectName(QStringLiteral("edtOdbcKeys"));
  m_odbcKeys->setPlaceholderText(
      QStringLiteral("Driver={...};Server=...;Database=...;UID=...;PWD=..."));
  form->addRow(QStringLiteral("其他参数:"), m_odbcKeys);
  connect(m_odbcSource, &QComboBox::editTextChanged, this, &ConnectionDialog::odbcSourceEdited);
  connect(m_odbcKeys, &QLineEdit::textEdited, this, &ConnectionDialog::odbcKeysEdited);
  connect(m_odbcKeys, &QLineEdit::editingFinished, this, [this] {
    if (this->page() == OdbcPage) showPage(OdbcPage);
  });
  return page;
}

ConnectionDialog::Page ConnectionDialog::page() const {
  return static_cast<Page>(m_pages->currentIndex());
}

std::string ConnectionDialog::connectionString() const {
  return m_stringParses ? compose(m_pairs[page()]) : m_string->text().toStdString();
}

void ConnectionDialog::showPage(Page shown) {
  m_showing = true;
  m_provider->setCurrentIndex(shown);
  m_pages->setCurrentIndex(shown);
  const Pairs& pairs = m_pairs[shown];
  switch (shown) {
    case SqlServerPage:
      m_server->setText(toQ(valueOf(pairs, "Data Source")));
      m_database->setText(toQ(valueOf(pairs, "Initial Catalog")));
      m_user->setText(toQ(valueOf(pairs, "User ID")));
      m_password->setText(toQ(valueOf(pairs, "Password")));
      break;
    case SqlitePage:
      m_storeFile->setText(toQ(valueOf(pairs, "Data Source")));
      break;
    case OdbcPage: {
      m_odbcSource->setEditText(toQ(valueOf(pairs, "DSN")));
      Pairs keys;
      std::copy_if(pairs.begin(), pairs.end(), std::back_inserter(keys),
                   [](const auto& pair) { return !isOdbcFieldKey(pair.first); });
      m_odbcKeys->setText(toQ(compose(masked(std::move(keys)))));
      m_odbcHeld = pairs;
      break;
    }
  }
  m_showing = false;
}

void ConnectionDialog::showString() {
  m_string->setText(toQ(compose(masked(m_pairs[page()]))));
  m_stringParses = true;
  std::copy(std::begin(m_pairs), std::end(m_pairs), std::begin(m_held));
  m_heldPage = page();
}

void ConnectionDialog::clearTest() {
  abandonTest();
  m_testResult->clear();
}

void ConnectionDialog::providerChosen(int index) {
  if (index < SqlServerPage || index > OdbcPage) return;
  showPage(static_cast<Page>(index));
  showString();
  clearTest();
}

void ConnectionDialog::sqlServerEdited() {
  Pairs& pairs = m_pairs[SqlServerPage];
  setValue(pairs, "Data Source", m_server->text().toStdString());
  setValue(pairs, "Initial Catalog", m_database->text().toStdString());
  setValue(pairs, "User ID", m_user->text().toStdString());
  setValue(pairs, "Password", m_password->text().toStdString());
  showString();
  clearTest();
}

void ConnectionDialog::storeFileEdited() {
  setValue(m_pairs[SqlitePage], "Data Source", m_storeFile->text().toStdString());
  showString();
  clearTest();
}

void ConnectionDialog::odbcSourceEdited() {
  if (m_showing) return;
  setOrRemove(m_pairs[OdbcPage], "DSN", m_odbcSource->currentText().trimmed().toStdString());
  showString();
  clearTest();
}

void ConnectionDialog::odbcKeysEdited() {
  auto keys = tryParse(m_odbcKeys->text().toStdString());
  if (!keys) return;  // half-typed; the string follows once it parses
  Pairs& pairs = m_pairs[OdbcPage];
  Pairs rebuilt;
  std::copy_if(pairs.begin(), pairs.end(), std::back_inserter(rebuilt),
               [](const auto& pair) { return isOdbcFieldKey(pair.first); });
  for (auto& pair : unmasked(std::move(*keys), m_odbcHeld))
    rebuilt.push_back(std::move(pair));
  pairs = std::move(rebuilt);
  showString();
  clearTest();
}

void ConnectionDialog::stringEdited() {
  // The fields follow the string whenever it parses; until then OK gives
  // the text as typed.
  auto parsed = tryParse(m_string->text().toStdString());
  m_stringParses = parsed.has_value();
  clearTest();
  if (!parsed) return;
  const Page shown = pageOf(*parsed);
  std::copy(std::begin(m_held), std::end(m_held), std::begin(m_pairs));
  m_pairs[shown] = unmasked(std::move(*parsed), m_held[m_heldPage]);
  showPage(shown);
}

void ConnectionDialog::chooseStoreFile() {
  const auto path = prompts().chooseStoreFile(this, StoreFileChoice::Existing, m_storeFile->text());
  if (path) setStoreFile(*path);
}

void ConnectionDialog::newStore() {
  const auto path = prompts().chooseStoreFile(this, StoreFileChoice::New, m_storeFile->text());
  if (!path) return;
  clearTest();
  try {
    store::createStore(store::ConnectionString::parse(
        compose({{"Provider", "SQLite"}, {"Data Source", path->toStdString()}})));
  } catch (const std::exception& e) {
    m_testResult->setText(QStringLiteral("新建数据库失败: ") + QString::fromStdString(e.what()));
    return;
  }
  setStoreFile(*path);
  m_testResult->setText(QStringLiteral("已新建空数据库。"));
}

void ConnectionDialog::setStoreFile(const QString& path) {
  m_storeFile->setText(path);
  storeFileEdited();
}

void ConnectionDialog::testClicked() {
  if (m_test) {
    abandonTest();
    m_testResult->setText(QStringLiteral("已放弃测试。"));
  } else {
    startTest();
  }
}

void ConnectionDialog::startTest() {
  auto test = std::make_shared<PendingTest>();
  m_test = test;
  const int generation = ++m_testGeneration;
  m_testResult->setText(QStringLiteral("正在测试…"));
  m_testButton->setText(QStringLiteral("放弃测试"));
  // A server that takes the connection but never answers holds the thread
  // until the login time-out; the dialog stays usable meanwhile.
  std::thread([this, test, generation, text = connectionString()] {
    const QString outcome = testOutcome(text);
    const std::lock_guard lock(test->mutex);
    if (test->abandoned) return;
    QMetaObject::invokeMethod(this, "testFinished", Qt::QueuedConnection, Q_ARG(int, generation),
                              Q_ARG(QString, outcome));
  }).detach();
}

void ConnectionDialog::abandonTest() {
  if (!m_test) return;
  {
    const std::lock_guard lock(m_test->mutex);
    m_test->abandoned = true;
  }
  m_test.reset();
  m_testButton->setText(QStringLiteral("测试连接"));
}

void ConnectionDialog::testFinished(int generation, const QString& result) {
  if (!m_test || generation != m_testGeneration) return;
  m_test.reset();
  m_testButton->setText(QStringLiteral("测试连接"));
  m_testResult->setText(result);
}

}  // namespace vip::window
