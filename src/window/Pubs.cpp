#include "window/Pubs.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

#include "common/Messages.h"
#include "window/QtPrompts.h"

namespace vip::window {

namespace {

Prompts* g_prompts = nullptr;

Prompts& realPrompts() {
  static QtPrompts instance;
  return instance;
}

}  // namespace

Prompts& prompts() {
  return g_prompts != nullptr ? *g_prompts : realPrompts();
}

Prompts* setPrompts(Prompts* replacement) {
  Prompts* previous = g_prompts;
  g_prompts = replacement;
  return previous;
}

void MsgBox(const QString& text) {
  // Owned by the window that was active, so it comes back to the front with
  // its focus when the box closes.
  prompts().information(QApplication::activeWindow(), QStringLiteral("系统提示"), text);
}

QString applicationTitleFor(const QString& programPath) {
  QString name = QFileInfo(programPath).fileName();
  const qsizetype dot = name.indexOf(QLatin1Char('.'));
  if (dot >= 0) name.truncate(dot);
  if (name.isEmpty()) return name;
  return name.left(1) + name.mid(1).toLower();
}

QString applicationTitle() {
  return applicationTitleFor(QCoreApplication::applicationFilePath());
}

void showErrorDisplay(QWidget* parent, const std::string& message) {
  prompts().critical(parent, applicationTitle(),
                     QString::fromStdString(vip::errorDisplayText(message)));
}

void installFontSubstitutes() {
  // The window names Windows faces; Debian's Noto CJK faces carry the same
  // Chinese glyphs (serif for 宋体, sans for 微软雅黑).
  QFont::insertSubstitutions(QStringLiteral("宋体"),
                             {QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN"),
                              QStringLiteral("Noto Sans CJK SC")});
  QFont::insertSubstitutions(QStringLiteral("微软雅黑"), {QStringLiteral("Noto Sans CJK SC"),
                                                          QStringLiteral("WenQuanYi Micro Hei"),
                                                          QStringLiteral("DejaVu Sans")});
  QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                             {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                              QStringLiteral("Noto Sans CJK SC")});
}

bool installQtTranslations() {
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace vip::window
