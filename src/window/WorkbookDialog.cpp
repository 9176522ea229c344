#include "window/WorkbookDialog.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QTreeView>

namespace vip::window {

const char* const WorkbookDialog::kFilter = "excel文档 (*.xls *.xlsx *.xlsm)";

WorkbookDialog::WorkbookDialog(QWidget* parent, const QString& title, const QString& lastConfirmed)
    : QFileDialog(parent) {
  setOption(QFileDialog::DontUseNativeDialog);
  setWindowTitle(title);
  setAcceptMode(QFileDialog::AcceptOpen);
  // No test that the file exists: a typed name is confirmed as it stands.
  setFileMode(QFileDialog::AnyFile);
  setNameFilter(QString::fromUtf8(kFilter));
  setWindowModality(Qt::ApplicationModal);
  if (!lastConfirmed.isEmpty()) selectFile(lastConfirmed);
  fitColumns();
}

void WorkbookDialog::fitColumns() {
  // Qt's default widths cut the size, type and date columns ("66.…KiB"),
  // more so with Chinese headers; the name column takes the rest.
  auto* details = findChild<QTreeView*>(QStringLiteral("treeView"));
  if (details == nullptr) return;
  QHeaderView* header = details->header();
  header->setStretchLastSection(false);
  header->setSectionResizeMode(QHeaderView::ResizeToContents);
  header->setSectionResizeMode(0, QHeaderView::Stretch);
}

QPoint WorkbookDialog::placement(const QRect& screen, const QSize& size) {
  return {screen.left() + (screen.width() - size.width()) / 2,
          screen.top() + (screen.height() - size.height()) / 3};
}

std::optional<QString> WorkbookDialog::choose() {
  QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : nullptr;
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    resize(sizeHint().expandedTo(QSize(760, 460)));
    // An explicit move keeps Qt from centring the dialog over its parent.
    move(placement(screen->geometry(), size()));
  }
  if (exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front();
}

}  // namespace vip::window
