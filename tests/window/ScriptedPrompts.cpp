#include "ScriptedPrompts.h"

#include "window/Pubs.h"

ScriptedPrompts::ScriptedPrompts() : m_previous(vip::window::setPrompts(this)) {}

ScriptedPrompts::~ScriptedPrompts() {
  vip::window::setPrompts(m_previous);
}

void ScriptedPrompts::expectNotice(const QString& text) {
  m_steps.push_back({Kind::Notice, text, {}, {}, nullptr, {}, {}, nullptr});
}

void ScriptedPrompts::expectError(const QString& text) {
  m_steps.push_back({Kind::Error, text, {}, {}, nullptr, {}, {}, nullptr});
}

void ScriptedPrompts::expectWorkbook(QStringList highlights, std::optional<QString> confirm,
                                     QString* nameField, std::function<void()> whileOpen) {
  m_steps.push_back({Kind::Workbook,
                     {},
                     std::move(highlights),
                     std::move(confirm),
                     nameField,
                     std::move(whileOpen),
                     {},
                     nullptr});
}

void ScriptedPrompts::expectConnection(std::optional<std::string> result, std::string* initial) {
  m_steps.push_back({Kind::Connection, {}, {}, {}, nullptr, {}, std::move(result), initial});
}

void ScriptedPrompts::expectStoreFile(vip::window::StoreFileChoice choice,
                                      std::optional<QString> path) {
  Step step{Kind::StoreFile, {}, {}, std::move(path), nullptr, {}, {}, nullptr};
  step.storeFileChoice = choice;
  m_steps.push_back(std::move(step));
}

void ScriptedPrompts::expectSaveFile(vip::window::SaveFileChoice choice,
                                     std::optional<QString> path) {
  Step step{Kind::SaveFile, {}, {}, std::move(path), nullptr, {}, {}, nullptr};
  step.saveFileChoice = choice;
  m_steps.push_back(std::move(step));
}

std::optional<ScriptedPrompts::Step> ScriptedPrompts::take(Kind kind, const QString& what) {
  if (m_steps.empty() || m_steps.front().kind != kind) {
    m_problems << QStringLiteral("unscripted prompt: ") + what;
    return std::nullopt;
  }
  Step step = std::move(m_steps.front());
  m_steps.pop_front();
  return step;
}

void ScriptedPrompts::information(QWidget*, const QString& caption, const QString& text) {
  m_shown << QStringLiteral("notice: ") + text;
  if (caption != QStringLiteral("系统提示"))
    m_problems << QStringLiteral("notice captioned ") + caption;
  const auto step = take(Kind::Notice, QStringLiteral("notice ") + text);
  if (step && step->text != text)
    m_problems << QStringLiteral("notice \"%1\" where \"%2\" was scripted").arg(text, step->text);
}

void ScriptedPrompts::critical(QWidget*, const QString& caption, const QString& text) {
  m_shown << QStringLiteral("error: ") + text;
  if (caption != vip::window::applicationTitle())
    m_problems << QStringLiteral("error box captioned ") + caption;
  const auto step = take(Kind::Error, QStringLiteral("error ") + text);
  if (step && !step->text.isNull() && step->text != text)
    m_problems << QStringLiteral("error \"%1\" where \"%2\" was scripted").arg(text, step->text);
}

std::optional<QString> ScriptedPrompts::openWorkbook(
    QWidget*, const QString& title, const QString& lastConfirmed,
    const std::function<void(const QString&)>& highlighted) {
  m_workbookTitles << title;
  auto step = take(Kind::Workbook, QStringLiteral("workbook dialog"));
  if (!step) return std::nullopt;
  if (step->nameField != nullptr) *step->nameField = lastConfirmed;
  for (const QString& path : step->highlights)
    highlighted(path);
  if (step->whileOpen) step->whileOpen();
  return step->confirm;
}

std::optional<std::string> ScriptedPrompts::editConnection(QWidget*, const std::string& initial) {
  auto step = take(Kind::Connection, QStringLiteral("connection dialog"));
  if (!step) return std::nullopt;
  if (step->initial != nullptr) *step->initial = initial;
  return step->connection;
}

std::optional<QString> ScriptedPrompts::chooseStoreFile(QWidget*,
                                                        vip::window::StoreFileChoice choice,
                                                        const QString&) {
  auto step = take(Kind::StoreFile, QStringLiteral("store file dialog"));
  if (!step) return std::nullopt;
  if (step->storeFileChoice != choice)
    m_problems << QStringLiteral("store file dialog of the other kind");
  return step->confirm;
}

std::optional<QString> ScriptedPrompts::saveFile(QWidget*, vip::window::SaveFileChoice choice) {
  auto step = take(Kind::SaveFile, QStringLiteral("save dialog"));
  if (!step) return std::nullopt;
  if (step->saveFileChoice != choice) m_problems << QStringLiteral("save dialog of the other kind");
  return step->confirm;
}
