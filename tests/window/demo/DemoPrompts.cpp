#include "DemoPrompts.h"

#include <cstdio>

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

namespace vip::demo {

DemoPrompts::DemoPrompts(std::string connectionString, QString screenshotPath, QWidget* window)
    : m_connectionString(std::move(connectionString)),
      m_screenshotPath(std::move(screenshotPath)),
      m_window(window) {}

std::optional<std::string> DemoPrompts::editConnection(QWidget*, const std::string&) {
  return m_connectionString;
}

void DemoPrompts::critical(QWidget*, const QString& caption, const QString& text) {
  std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
}

void DemoPrompts::information(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, parent);
  prepareBox(box);
  QTimer::singleShot(800, &box, [this, &box] {
    QScreen* screen = m_window->screen();
    if (screen != nullptr && !m_screenshotPath.isEmpty()) {
      const QRect frame = m_window->frameGeometry();
      const QPixmap shot =
          screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
      m_saved = shot.save(m_screenshotPath, "PNG");
    }
    box.accept();
  });
  box.exec();
}

}  // namespace vip::demo
