// The import window's entry point.
#include <cstdio>
#include <exception>
#include <memory>

#include <QApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "window/DemoPrompts.h"
#include "window/Pubs.h"
#include "window/TForm1.h"

namespace {

QString environment(const char* name) {
  return qEnvironmentVariable(name);
}

// The demonstration run behind scripts/screenshot: connect with a given
// string, fill in the two workbook paths, import, photograph the final
// notice over the window and quit. Driven by environment variables only, so
// an operator never meets it.
void startDemo(vip::window::TForm1& form, std::unique_ptr<vip::window::DemoPrompts>& demo) {
  const QString store = environment("VIPIMPORT_DEMO_CONNECT");
  if (store.isEmpty()) return;
  demo = std::make_unique<vip::window::DemoPrompts>(
      store.toStdString(), environment("VIPIMPORT_DEMO_SCREENSHOT"), &form);
  vip::window::setPrompts(demo.get());
  QTimer::singleShot(500, &form, [&form, &demo] {
    form.findChild<QPushButton*>(QStringLiteral("btnConnectDB"))->click();
    form.findChild<QLineEdit*>(QStringLiteral("edtVipType"))
        ->setText(environment("VIPIMPORT_DEMO_CATEGORIES"));
    form.findChild<QLineEdit*>(QStringLiteral("edtVipMaster"))
        ->setText(environment("VIPIMPORT_DEMO_MEMBERS"));
    form.findChild<QPushButton*>(QStringLiteral("btnImport"))->click();
    if (!demo->screenshotSaved()) std::fputs("vipimport: demo screenshot not saved\n", stderr);
    QApplication::exit(demo->screenshotSaved() ? 0 : 1);
  });
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::unique_ptr<vip::window::TForm1> form;
  try {
    form = std::make_unique<vip::window::TForm1>();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, QStringLiteral("Application Error"),
                          QString::fromStdString(e.what()));
    return 1;
  }
  QApplication::setWindowIcon(form->windowIcon());
  // Boxes and dialogs without an owner wear the window's look too.
  app.setStyleSheet(form->styleSheet());
  std::unique_ptr<vip::window::DemoPrompts> demo;
  startDemo(*form, demo);
  form->show();
  const int code = QApplication::exec();
  vip::window::setPrompts(nullptr);
  return code;
}
