#pragma once

#include <optional>

#include <QFileDialog>

namespace vip::window {

// The open dialog of a workbook box: Qt's own dialog (so the highlight
// notification works on every platform), modal, titled after its box, the
// workbook filter, the file last confirmed in its name field, the columns of
// its detail view as wide as their contents, placed a third of the way down
// the screen that holds the window.
class WorkbookDialog : public QFileDialog {
  Q_OBJECT
 public:
  static const char* const kFilter;

  WorkbookDialog(QWidget* parent, const QString& title, const QString& lastConfirmed);

  // Runs the dialog; the confirmed path, or nothing on Cancel.
  std::optional<QString> choose();

  // Where a dialog of `size` goes on a screen of `screen` geometry.
  static QPoint placement(const QRect& screen, const QSize& size);

 private:
  void fitColumns();
};

}  // namespace vip::window
