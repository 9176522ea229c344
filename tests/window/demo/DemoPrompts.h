#pragma once

#include "window/QtPrompts.h"

namespace vip::demo {

// The prompts of the demonstration run that scripts/screenshot drives: the
// connection editor answers with a given string, and the final notice is
// shown for a moment over the window, photographed into a PNG and closed.
class DemoPrompts : public vip::window::QtPrompts {
 public:
  DemoPrompts(std::string connectionString, QString screenshotPath, QWidget* window);

  void information(QWidget* parent, const QString& caption, const QString& text) override;
  // Nobody watches the demonstration: a failure goes to the error stream.
  void critical(QWidget* parent, const QString& caption, const QString& text) override;
  std::optional<std::string> editConnection(QWidget* parent, const std::string& initial) override;

  bool screenshotSaved() const { return m_saved; }

 private:
  std::string m_connectionString;
  QString m_screenshotPath;
  QWidget* m_window;
  bool m_saved = false;
};

}  // namespace vip::demo
