#include "window/QtPrompts.h"

#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

#include "window/ConnectionDialog.h"
#include "window/WorkbookDialog.h"

namespace vip::window {

namespace {

void showBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
  QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
  QtPrompts::prepareBox(box);
  box.exec();
}

const char* const kStoreFilter = "SQLite 数据库 (*.db *.sqlite *.sqlite3);;所有文件 (*)";
const char* const kLogFilter = "文本文件 (*.txt);;所有文件 (*)";
const char* const kRejectsFilter = "Excel 工作簿 (*.xlsx)";

}  // namespace

int QtPrompts::captionRoom(const QString& caption, const QFont& font) {
  // Title bars draw the caption in a bold face, often larger than the box's
  // text, between the window menu and up to three buttons; a box sized to a
  // short notice ("导入完毕") left the caption cut to "…".
  constexpr int kTitleBarButtons = 4 * 32;
  QFont title(font);
  title.setBold(true);
  title.setPixelSize(font.pixelSize() > 0 ? font.pixelSize() * 5 / 4 : 18);
  return QFontMetrics(title).horizontalAdvance(caption) + kTitleBarButtons;
}

void QtPrompts::prepareBox(QMessageBox& box) {
  // Readable Chinese whatever the owner's small window font.
  QFont font(QStringLiteral("微软雅黑"));
  font.setPixelSize(14);
  box.setFont(font);
  // Modal to the whole program, like the platform's task-modal boxes.
  box.setWindowModality(Qt::ApplicationModal);
  // A message box keeps no minimum width of its own; a spacer across its
  // grid holds one.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(new QSpacerItem(captionRoom(box.windowTitle(), font), 0, QSizePolicy::Minimum,
                                  QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
}

void QtPrompts::information(QWidget* parent, const QString& caption, const QString& text) {
  showBox(parent, QMessageBox::Information, caption, text);
}

void QtPrompts::critical(QWidget* parent, const QString& caption, const QString& text) {
  showBox(parent, QMessageBox::Critical, caption, text);
}

std::optional<QString> QtPrompts::openWorkbook(
    QWidget* parent, const QString& title, const QString& lastConfirmed,
    const std::function<void(const QString&)>& highlighted) {
  WorkbookDialog dialog(parent, title, lastConfirmed);
  QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog,
                   [&highlighted](const QString& path) { highlighted(path); });
  return dialog.choose();
}

std::optional<std::string> QtPrompts::editConnection(QWidget* parent, const std::string& initial) {
  ConnectionDialog dialog(parent, initial);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.connectionString();
}

std::optional<QString> QtPrompts::chooseStoreFile(QWidget* parent, StoreFileChoice choice,
                                                  const QString& current) {
  const bool makeNew = choice == StoreFileChoice::New;
  QFileDialog dialog(parent,
                     makeNew ? QStringLiteral("新建数据库文件") : QStringLiteral("选择数据库文件"),
                     current, QString::fromUtf8(kStoreFilter));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setWindowModality(Qt::ApplicationModal);
  if (makeNew) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("db"));
    // An existing file is never replaced: making a store in it leaves a
    // store already there untouched and says so.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
  } else {
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

std::optional<QString> QtPrompts::saveFile(QWidget* parent, SaveFileChoice choice) {
  const bool log = choice == SaveFileChoice::Log;
  QFileDialog dialog(parent, log ? QStringLiteral("保存日志") : QStringLiteral("导出未导入的行"),
                     QString(), QString::fromUtf8(log ? kLogFilter : kRejectsFilter));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(log ? QStringLiteral("txt") : QStringLiteral("xlsx"));
  // The rows to fix go to NAME.categories.xlsx and NAME.members.xlsx; the
  // file named itself is never written, so asking to replace it would
  // mislead.
  if (!log) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

}  // namespace vip::window
