#pragma once

#include <string>
#include <utility>
#include <vector>

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QStackedWidget;

namespace vip::window {

// The connection settings editor: a provider choice (SQL Server, the embedded
// SQLite store, any ODBC data source) with its fields, the raw connection
// string (editable, kept in step with the fields) and a connection test.
class ConnectionDialog : public QDialog {
  Q_OBJECT
 public:
  enum Page { SqlServerPage = 0, SqlitePage = 1, OdbcPage = 2 };

  ConnectionDialog(QWidget* parent, const std::string& initial);

  // The raw connection string as it stands, password included.
  std::string connectionString() const;

  // Writes `pairs` back as `key=value;` text, quoting values that need it.
  static std::string compose(const std::vector<std::pair<std::string, std::string>>& pairs);

 private:
  using Pairs = std::vector<std::pair<std::string, std::string>>;

  QWidget* buildSqlServerPage();
  QWidget* buildSqlitePage();
  QWidget* buildOdbcPage();
  void providerChosen(int index);
  void fieldEdited();
  void odbcKeysEdited();
  void rawEdited();
  void chooseStoreFile();
  void testConnection();
  void showPairs();
  void setPairsAndRaw(Pairs pairs);

  Pairs m_pairs;
  QComboBox* m_provider = nullptr;
  QStackedWidget* m_pages = nullptr;
  QLineEdit* m_server = nullptr;
  QLineEdit* m_database = nullptr;
  QLineEdit* m_user = nullptr;
  QLineEdit* m_password = nullptr;
  QLineEdit* m_storeFile = nullptr;
  QLineEdit* m_odbcKeys = nullptr;
  QLineEdit* m_raw = nullptr;
  QLabel* m_testResult = nullptr;
  bool m_showing = false;
};

}  // namespace vip::window
