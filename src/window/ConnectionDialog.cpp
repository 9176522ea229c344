#include "window/ConnectionDialog.h"

#include <algorithm>
#include <exception>
#include <optional>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "store/Connection.h"
#include "store/ConnectionString.h"

namespace vip::window {

namespace {

bool sameKey(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return QChar::toLower(static_cast<char16_t>(static_cast<unsigned char>(x))) ==
           QChar::toLower(static_cast<char16_t>(static_cast<unsigned char>(y)));
  });
}

std::string valueOf(const std::vector<std::pair<std::string, std::string>>& pairs,
                    const std::string& key) {
  for (const auto& [k, v] : pairs)
    if (sameKey(k, key)) return v;
  return {};
}

// Sets `key` in place (keeping the order of the string); a key not yet
// present is added at the end unless the value is empty.
void setValue(std::vector<std::pair<std::string, std::string>>& pairs, const std::string& key,
              const std::string& value) {
  for (auto& [k, v] : pairs) {
    if (sameKey(k, key)) {
      v = value;
      return;
    }
  }
  if (!value.empty()) pairs.emplace_back(key, value);
}

std::string toStd(const QString& text) {
  return text.toStdString();
}
QString toQ(const std::string& text) {
  return QString::fromStdString(text);
}

ConnectionDialog::Page pageOfProvider(const std::string& provider) {
  if (provider == "SQLITE") return ConnectionDialog::SqlitePage;
  if (provider.empty() || provider.rfind("SQLOLEDB", 0) == 0)
    return ConnectionDialog::SqlServerPage;
  return ConnectionDialog::OdbcPage;
}

std::string providerOf(const std::vector<std::pair<std::string, std::string>>& pairs) {
  return QString::fromStdString(valueOf(pairs, "Provider")).trimmed().toUpper().toStdString();
}

std::optional<std::vector<std::pair<std::string, std::string>>> tryParse(const std::string& text) {
  try {
    return store::ConnectionString::parse(text).pairs();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

std::string ConnectionDialog::compose(const Pairs& pairs) {
  std::string out;
  for (const auto& [key, value] : pairs) {
    const bool plain = value.find_first_of(";\"'") == std::string::npos &&
                       (value.empty() || (value.front() != ' ' && value.back() != ' '));
    out += key;
    out += '=';
    if (plain) {
      out += value;
    } else {
      out += '"';
      for (char c : value) {
        if (c == '"') out += '"';
        out += c;
      }
      out += '"';
    }
    out += ';';
  }
  if (!out.empty()) out.pop_back();
  return out;
}

ConnectionDialog::ConnectionDialog(QWidget* parent, const std::string& initial) : QDialog(parent) {
  setObjectName(QStringLiteral("dlgConnection"));
  setWindowTitle(QStringLiteral("数据连接属性"));
  setWindowModality(Qt::WindowModal);

  m_provider = new QComboBox(this);
  m_provider->setObjectName(QStringLiteral("cbProvider"));
  m_provider->addItems({QStringLiteral("SQL Server (SQLOLEDB)"),
                        QStringLiteral("内嵌 SQLite 数据库文件"),
                        QStringLiteral("ODBC 数据源 (MSDASQL)")});
  m_pages = new QStackedWidget(this);
  m_pages->addWidget(buildSqlServerPage());
  m_pages->addWidget(buildSqlitePage());
  m_pages->addWidget(buildOdbcPage());

  m_raw = new QLineEdit(this);
  m_raw->setObjectName(QStringLiteral("edtConnectionString"));
  m_raw->setMinimumWidth(520);
  auto* test = new QPushButton(QStringLiteral("测试连接"), this);
  test->setObjectName(QStringLiteral("btnTestConnection"));
  test->setAutoDefault(false);
  m_testResult = new QLabel(this);
  m_testResult->setObjectName(QStringLiteral("lblTestResult"));
  m_testResult->setWordWrap(true);
  m_testResult->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* top = new QFormLayout;
  top->addRow(QStringLiteral("提供程序:"), m_provider);
  auto* testRow = new QHBoxLayout;
  testRow->addWidget(test);
  testRow->addWidget(m_testResult, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(m_pages);
  layout->addWidget(new QLabel(QStringLiteral("连接字符串:"), this));
  layout->addWidget(m_raw);
  layout->addLayout(testRow);
  layout->addWidget(buttons);

  m_raw->setText(toQ(initial));
  if (auto parsed = tryParse(initial)) m_pairs = std::move(*parsed);
  showPairs();

  connect(m_provider, &QComboBox::activated, this, &ConnectionDialog::providerChosen);
  connect(m_raw, &QLineEdit::textEdited, this, &ConnectionDialog::rawEdited);
  connect(test, &QPushButton::clicked, this, &ConnectionDialog::testConnection);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QWidget* ConnectionDialog::buildSqlServerPage() {
  auto* page = new QWidget(this);
  auto* form = new QFormLayout(page);
  form->setContentsMargins(0, 0, 0, 0);
  const auto field = [&](const char* name, const QString& label) {
    auto* edit = new QLineEdit(page);
    edit->setObjectName(QString::fromLatin1(name));
    form->addRow(label, edit);
    connect(edit, &QLineEdit::textEdited, this, &ConnectionDialog::fieldEdited);
    return edit;
  };
  m_server = field("edtServer", QStringLiteral("服务器:"));
  m_database = field("edtDatabase", QStringLiteral("数据库:"));
  m_user = field("edtUser", QStringLiteral("用户名:"));
  m_password = field("edtPassword", QStringLiteral("密码:"));
  m_password->setEchoMode(QLineEdit::Password);
  return page;
}

QWidget* ConnectionDialog::buildSqlitePage() {
  auto* page = new QWidget(this);
  auto* form = new QFormLayout(page);
  form->setContentsMargins(0, 0, 0, 0);
  m_storeFile = new QLineEdit(page);
  m_storeFile->setObjectName(QStringLiteral("edtStoreFile"));
  auto* browse = new QPushButton(QStringLiteral("..."), page);
  browse->setObjectName(QStringLiteral("btnChooseStoreFile"));
  browse->setAutoDefault(false);
  auto* row = new QHBoxLayout;
  row->addWidget(m_storeFile, 1);
  row->addWidget(browse);
  form->addRow(QStringLiteral("数据库文件:"), row);
  connect(m_storeFile, &QLineEdit::textEdited, this, &ConnectionDialog::fieldEdited);
  connect(browse, &QPushButton::clicked, this, &ConnectionDialog::chooseStoreFile);
  return page;
}

QWidget* ConnectionDialog::buildOdbcPage() {
  auto* page = new QWidget(this);
  auto* form = new QFormLayout(page);
  form->setContentsMargins(0, 0, 0, 0);
  m_odbcKeys = new QLineEdit(page);
  m_odbcKeys->setObjectName(QStringLiteral("edtOdbcKeys"));
  m_odbcKeys->setPlaceholderText(
      QStringLiteral("Driver={...};Server=...;Database=...;UID=...;PWD=..."));
  form->addRow(QStringLiteral("ODBC 参数:"), m_odbcKeys);
  connect(m_odbcKeys, &QLineEdit::textEdited, this, &ConnectionDialog::odbcKeysEdited);
  return page;
}

std::string ConnectionDialog::connectionString() const {
  return toStd(m_raw->text());
}

void ConnectionDialog::showPairs() {
  m_showing = true;
  const Page page = pageOfProvider(providerOf(m_pairs));
  m_provider->setCurrentIndex(page);
  m_pages->setCurrentIndex(page);
  m_server->setText(toQ(valueOf(m_pairs, "Data Source")));
  m_database->setText(toQ(valueOf(m_pairs, "Initial Catalog")));
  m_user->setText(toQ(valueOf(m_pairs, "User ID")));
  m_password->setText(toQ(valueOf(m_pairs, "Password")));
  m_storeFile->setText(toQ(valueOf(m_pairs, "Data Source")));
  Pairs odbc;
  std::copy_if(m_pairs.begin(), m_pairs.end(), std::back_inserter(odbc),
               [](const auto& pair) { return !sameKey(pair.first, "Provider"); });
  m_odbcKeys->setText(toQ(compose(odbc)));
  m_showing = false;
}

void ConnectionDialog::setPairsAndRaw(Pairs pairs) {
  m_pairs = std::move(pairs);
  m_raw->setText(toQ(compose(m_pairs)));
  showPairs();
}

void ConnectionDialog::providerChosen(int index) {
  Pairs pairs = m_pairs;
  static const char* const providers[] = {"SQLOLEDB", "SQLite", "MSDASQL"};
  if (index < 0 || index > 2) return;
  // A SQLOLEDB.1 string stays as it is when SQL Server is chosen again.
  if (pageOfProvider(providerOf(pairs)) != index) {
    const bool present = std::any_of(pairs.begin(), pairs.end(), [](const auto& pair) {
      return sameKey(pair.first, "Provider");
    });
    if (present) {
      setValue(pairs, "Provider", providers[index]);
    } else {
      // The provider leads the string, as the platform's dialogs write it.
      pairs.emplace_back("Provider", providers[index]);
      std::rotate(pairs.begin(), pairs.end() - 1, pairs.end());
    }
  }
  setPairsAndRaw(std::move(pairs));
}

void ConnectionDialog::fieldEdited() {
  if (m_showing) return;
  Pairs pairs = m_pairs;
  if (m_pages->currentIndex() == SqlitePage) {
    setValue(pairs, "Data Source", toStd(m_storeFile->text()));
  } else {
    setValue(pairs, "Data Source", toStd(m_server->text()));
    setValue(pairs, "Initial Catalog", toStd(m_database->text()));
    setValue(pairs, "User ID", toStd(m_user->text()));
    setValue(pairs, "Password", toStd(m_password->text()));
  }
  setPairsAndRaw(std::move(pairs));
}

void ConnectionDialog::odbcKeysEdited() {
  if (m_showing) return;
  auto keys = tryParse(toStd(m_odbcKeys->text()));
  if (!keys) return;  // half-typed; the raw string follows once it parses
  Pairs pairs;
  std::copy_if(m_pairs.begin(), m_pairs.end(), std::back_inserter(pairs),
               [](const auto& pair) { return sameKey(pair.first, "Provider"); });
  pairs.insert(pairs.end(), keys->begin(), keys->end());
  m_pairs = std::move(pairs);
  m_raw->setText(toQ(compose(m_pairs)));
}

void ConnectionDialog::rawEdited() {
  // The raw text is what OK gives; the fields follow it whenever it parses.
  if (auto parsed = tryParse(toStd(m_raw->text()))) {
    m_pairs = std::move(*parsed);
    showPairs();
  }
}

void ConnectionDialog::chooseStoreFile() {
  const QString path = QFileDialog::getOpenFileName(
      this, QStringLiteral("选择数据库文件"), m_storeFile->text(),
      QStringLiteral("SQLite 数据库 (*.db *.sqlite *.sqlite3);;所有文件 (*)"), nullptr,
      QFileDialog::DontUseNativeDialog);
  if (path.isEmpty()) return;
  m_storeFile->setText(path);
  fieldEdited();
}

void ConnectionDialog::testConnection() {
  m_testResult->setText(QStringLiteral("正在测试连接..."));
  m_testResult->repaint();
  try {
    const auto backend = store::openBackend(store::ConnectionString::parse(connectionString()));
    m_testResult->setText(QStringLiteral("测试连接成功。"));
  } catch (const std::exception& e) {
    // Store messages never hold the password.
    m_testResult->setText(QStringLiteral("测试连接失败: ") + QString::fromStdString(e.what()));
  }
}

}  // namespace vip::window
