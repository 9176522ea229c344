#pragma once

#include "window/Prompts.h"

class QMessageBox;

namespace vip::window {

// The real prompts: Qt message boxes, Qt's own (non-native) file dialog and
// the connection dialog.
class QtPrompts : public Prompts {
 public:
  void information(QWidget* parent, const QString& caption, const QString& text) override;
  void critical(QWidget* parent, const QString& caption, const QString& text) override;
  std::optional<QString> openWorkbook(
      QWidget* parent, const QString& lastConfirmed,
      const std::function<void(const QString&)>& highlighted) override;
  std::optional<std::string> editConnection(QWidget* parent, const std::string& initial) override;

  // Program-modal, with a font that reads Chinese well.
  static void prepareBox(QMessageBox& box);
};

}  // namespace vip::window
