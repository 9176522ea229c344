#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QString>

class QWidget;

namespace vip::window {

// Every modal prompt the window raises goes through this interface, so that a
// test can answer the prompts without clicks and see every text shown.
class Prompts {
 public:
  virtual ~Prompts() = default;

  // An information box with one acknowledge button; returns once acknowledged.
  virtual void information(QWidget* parent, const QString& caption, const QString& text) = 0;
  // A box with the stop icon and one acknowledge button.
  virtual void critical(QWidget* parent, const QString& caption, const QString& text) = 0;
  // The open dialog for a workbook: `lastConfirmed` pre-fills the name field,
  // `highlighted` receives the dialog's current path at every highlight
  // change while it is open. Returns the confirmed path, nothing on Cancel.
  virtual std::optional<QString> openWorkbook(
      QWidget* parent, const QString& lastConfirmed,
      const std::function<void(const QString&)>& highlighted) = 0;
  // The connection settings editor, opened on `initial`. Returns the edited
  // connection string (password included) on OK, nothing on Cancel.
  virtual std::optional<std::string> editConnection(QWidget* parent,
                                                    const std::string& initial) = 0;
};

}  // namespace vip::window
