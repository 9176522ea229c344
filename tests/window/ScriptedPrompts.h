#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

#include "window/Prompts.h"

// Answers the window's prompts from a script, in order. Every text shown is
// recorded; a prompt that does not match the next scripted step (or comes
// when nothing is scripted) is recorded as a problem, which the test's
// cleanup turns into a failure. Installed for its lifetime.
class ScriptedPrompts : public vip::window::Prompts {
 public:
  ScriptedPrompts();
  ~ScriptedPrompts() override;
  ScriptedPrompts(const ScriptedPrompts&) = delete;
  ScriptedPrompts& operator=(const ScriptedPrompts&) = delete;

  void expectNotice(const QString& text);
  // The error display, captioned with the application's title; a null text
  // accepts any message (the store's own wording), the test then reads shown().
  void expectError(const QString& text);
  // Highlights `highlights` in turn, then confirms `confirm` (Open) or
  // cancels (nothing). `nameField` receives what the dialog was pre-filled with.
  // `whileOpen` runs after the highlights, before the dialog closes.
  void expectWorkbook(QStringList highlights, std::optional<QString> confirm,
                      QString* nameField = nullptr, std::function<void()> whileOpen = {});
  // OK with `result`, or Cancel (nothing). `initial` receives the opening string.
  void expectConnection(std::optional<std::string> result, std::string* initial = nullptr);
  // The store file dialog for `choice`, answering `path` (Open or Save) or
  // Cancel (nothing).
  void expectStoreFile(vip::window::StoreFileChoice choice, std::optional<QString> path);
  // The save dialog for `choice`, answering `path` (Save) or Cancel (nothing).
  void expectSaveFile(vip::window::SaveFileChoice choice, std::optional<QString> path);

  // "notice: ...", "error: ..." for every box, in order.
  const QStringList& shown() const { return m_shown; }
  const QStringList& problems() const { return m_problems; }
  // The titles of the workbook dialogs shown, in order.
  const QStringList& workbookTitles() const { return m_workbookTitles; }
  int pending() const { return static_cast<int>(m_steps.size()); }

  void information(QWidget* parent, const QString& caption, const QString& text) override;
  void critical(QWidget* parent, const QString& caption, const QString& text) override;
  std::optional<QString> openWorkbook(
      QWidget* parent, const QString& title, const QString& lastConfirmed,
      const std::function<void(const QString&)>& highlighted) override;
  std::optional<std::string> editConnection(QWidget* parent, const std::string& initial) override;
  std::optional<QString> chooseStoreFile(QWidget* parent, vip::window::StoreFileChoice choice,
                                         const QString& current) override;
  std::optional<QString> saveFile(QWidget* parent, vip::window::SaveFileChoice choice) override;

 private:
  enum class Kind { Notice, Error, Workbook, Connection, StoreFile, SaveFile };
  struct Step {
    Kind kind;
    QString text;
    QStringList highlights;
    std::optional<QString> confirm;
    QString* nameField = nullptr;
    std::function<void()> whileOpen;
    std::optional<std::string> connection;
    std::string* initial = nullptr;
    vip::window::StoreFileChoice storeFileChoice = vip::window::StoreFileChoice::Existing;
    vip::window::SaveFileChoice saveFileChoice = vip::window::SaveFileChoice::Log;
  };
  std::optional<Step> take(Kind kind, const QString& what);

  std::deque<Step> m_steps;
  QStringList m_shown;
  QStringList m_problems;
  QStringList m_workbookTitles;
  vip::window::Prompts* m_previous = nullptr;
};
