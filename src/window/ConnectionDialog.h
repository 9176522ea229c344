#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace vip::window {

// The connection settings editor: a provider choice (SQL Server, an embedded
// SQLite store, an ODBC data source), each page building its own connection
// string from its own fields; the string itself, editable, with passwords
// shown masked; and a connection test that runs off the GUI thread.
class ConnectionDialog : public QDialog {
  Q_OBJECT
 public:
  enum Page { SqlServerPage = 0, SqlitePage = 1, OdbcPage = 2 };
  using Pairs = std::vector<std::pair<std::string, std::string>>;

  // What the dialog shows in place of a password.
  static constexpr const char* kMask = "********";

  ConnectionDialog(QWidget* parent, const std::string& initial);
  ~ConnectionDialog() override;

  // The connection string of the page shown, password included.
  std::string connectionString() const;

  // Writes `pairs` back as `key=value;` text, quoting values that need it.
  static std::string compose(const Pairs& pairs);
  // `pairs` with the value of every password key replaced by kMask.
  static Pairs masked(Pairs pairs);

 private:
  struct PendingTest;

  QWidget* buildSqlServerPage();
  QWidget* buildSqlitePage();
  QWidget* buildOdbcPage();
  QLineEdit* addField(QWidget* page, const char* name, const QString& label);
  Page page() const;
  // Fills the fields of `page` from its pairs and shows it.
  void showPage(Page page);
  // Shows the string of the page shown, masked.
  void showString();
  // After any change: a test running or shown no longer applies.
  void clearTest();

  void providerChosen(int index);
  void sqlServerEdited();
  void storeFileEdited();
  void odbcSourceEdited();
  void odbcKeysEdited();
  void stringEdited();
  void chooseStoreFile();
  void newStore();
  void setStoreFile(const QString& path);
  void testClicked();
  void startTest();
  void abandonTest();
  // Called on the GUI thread through the event queue, by name.
  Q_INVOKABLE void testFinished(int generation, const QString& result);

  Pairs m_pairs[3];
  // The pages as the string box last showed them, and the ODBC keys as
  // their box last showed them: typing into a box starts from these, so a
  // half-typed text never loses a password that stays masked.
  Pairs m_held[3];
  Page m_heldPage = SqlServerPage;
  Pairs m_odbcHeld;
  // False while the string box holds text that does not parse; OK then
  // gives that text as typed.
  bool m_stringParses = true;
  bool m_showing = false;

  QComboBox* m_provider = nullptr;
  QStackedWidget* m_pages = nullptr;
  QLineEdit* m_server = nullptr;
  QLineEdit* m_database = nullptr;
  QLineEdit* m_user = nullptr;
  QLineEdit* m_password = nullptr;
  QLineEdit* m_storeFile = nullptr;
  QComboBox* m_odbcSource = nullptr;
  QLineEdit* m_odbcKeys = nullptr;
  QLineEdit* m_string = nullptr;
  QPushButton* m_testButton = nullptr;
  QLabel* m_testResult = nullptr;

  std::shared_ptr<PendingTest> m_test;
  int m_testGeneration = 0;
};

}  // namespace vip::window
