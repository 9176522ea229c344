#pragma once

#include <string>

#include <QString>

class QWidget;

namespace vip::window {

class Prompts;

// The prompts in use: the real dialogs unless a test installed its own.
Prompts& prompts();
// Installs `replacement` (nullptr restores the real dialogs); returns the
// previous one so a scoped installer can put it back.
Prompts* setPrompts(Prompts* replacement);

// A notice captioned "系统提示" with the information icon and one button,
// modal to the whole program.
void MsgBox(const QString& text);

// The application's title: the program file's name without its folder, cut
// before its first dot, every character after the first in lower case.
QString applicationTitleFor(const QString& programPath);
QString applicationTitle();

// The default error display for a failure that escaped a handler: a stop box
// captioned with the application's title showing the message, with a full
// stop added where the message ends in a character after ".".
void showErrorDisplay(QWidget* parent, const std::string& message);

// Maps the window's Windows face names to faces present on Linux.
void installFontSubstitutes();

// Loads Qt's own Simplified Chinese texts (dialog buttons, the file dialog,
// context menus) whatever the locale, since the window's own captions are
// Chinese everywhere. Returns false, and Qt keeps its English texts, where
// the translations are not installed (Debian's qt6-translations-l10n).
bool installQtTranslations();

}  // namespace vip::window
