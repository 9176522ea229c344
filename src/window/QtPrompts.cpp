#include "window/QtPrompts.h"

#include <QFileDialog>
#include <QFont>
#include <QMessageBox>

#include "window/ConnectionDialog.h"
#include "window/WorkbookDialog.h"

namespace vip::window {

namespace {

void showBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
  QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
  QtPrompts::prepareBox(box);
  box.exec();
}

}  // namespace

void QtPrompts::prepareBox(QMessageBox& box) {
  // Readable Chinese whatever the owner's small window font.
  QFont font(QStringLiteral("微软雅黑"));
  font.setPixelSize(14);
  box.setFont(font);
  // Modal to the whole program, like the platform's task-modal boxes.
  box.setWindowModality(Qt::ApplicationModal);
}

void QtPrompts::information(QWidget* parent, const QString& caption, const QString& text) {
  showBox(parent, QMessageBox::Information, caption, text);
}

void QtPrompts::critical(QWidget* parent, const QString& caption, const QString& text) {
  showBox(parent, QMessageBox::Critical, caption, text);
}

std::optional<QString> QtPrompts::openWorkbook(
    QWidget* parent, const QString& lastConfirmed,
    const std::function<void(const QString&)>& highlighted) {
  WorkbookDialog dialog(parent, lastConfirmed);
  QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog,
                   [&highlighted](const QString& path) { highlighted(path); });
  return dialog.choose();
}

std::optional<std::string> QtPrompts::editConnection(QWidget* parent, const std::string& initial) {
  ConnectionDialog dialog(parent, initial);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.connectionString();
}

}  // namespace vip::window
