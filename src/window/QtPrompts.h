#pragma once

#include "window/Prompts.h"

class QFont;
class QMessageBox;

namespace vip::window {

// The real prompts: Qt message boxes, Qt's own (non-native) file dialogs and
// the connection dialog.
class QtPrompts : public Prompts {
 public:
  void information(QWidget* parent, const QString& caption, const QString& text) override;
  void critical(QWidget* parent, const QString& caption, const QString& text) override;
  std::optional<QString> openWorkbook(
      QWidget* parent, const QString& title, const QString& lastConfirmed,
      const std::function<void(const QString&)>& highlighted) override;
  std::optional<std::string> editConnection(QWidget* parent, const std::string& initial) override;
  std::optional<QString> chooseStoreFile(QWidget* parent, StoreFileChoice choice,
                                         const QString& current) override;
  std::optional<QString> saveFile(QWidget* parent, SaveFileChoice choice) override;

  // Program-modal, with a font that reads Chinese well, and wide enough for
  // the window manager to show the whole caption.
  static void prepareBox(QMessageBox& box);
  // The least width of a box whose title bar shows `caption` in full.
  static int captionRoom(const QString& caption, const QFont& font);
};

}  // namespace vip::window
