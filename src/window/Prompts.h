#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QString>

class QWidget;

namespace vip::window {

// What a store file dialog is for: an existing store to open, or the name
// of a new one to make.
enum class StoreFileChoice { Existing, New };

// What a save dialog names: the file the log is saved to as text, or NAME
// of the rows-to-fix workbooks (NAME.categories.xlsx, NAME.members.xlsx).
enum class SaveFileChoice { Log, Rejects };

// Every modal prompt the window raises goes through this interface, so that a
// test can answer the prompts without clicks and see every text shown.
class Prompts {
 public:
  virtual ~Prompts() = default;

  // An information box with one acknowledge button; returns once acknowledged.
  virtual void information(QWidget* parent, const QString& caption, const QString& text) = 0;
  // A box with the stop icon and one acknowledge button.
  virtual void critical(QWidget* parent, const QString& caption, const QString& text) = 0;
  // The open dialog for a workbook, titled `title`: `lastConfirmed` pre-fills
  // the name field, `highlighted` receives the dialog's current path at
  // every highlight change while it is open. Returns the confirmed path,
  // nothing on Cancel.
  virtual std::optional<QString> openWorkbook(
      QWidget* parent, const QString& title, const QString& lastConfirmed,
      const std::function<void(const QString&)>& highlighted) = 0;
  // The connection settings editor, opened on `initial`. Returns the edited
  // connection string (password included) on OK, nothing on Cancel.
  virtual std::optional<std::string> editConnection(QWidget* parent,
                                                    const std::string& initial) = 0;
  // The file dialog of the connection editor's embedded store, starting at
  // `current`. Returns the chosen path, nothing on Cancel.
  virtual std::optional<QString> chooseStoreFile(QWidget* parent, StoreFileChoice choice,
                                                 const QString& current) = 0;
  // The save dialog for `choice`. Returns the chosen path, nothing on Cancel.
  virtual std::optional<QString> saveFile(QWidget* parent, SaveFileChoice choice) = 0;
};

}  // namespace vip::window
