// The demonstration run behind scripts/screenshot: the real window connects
// with a given string, takes the two workbook paths, imports, photographs
// its final notice over the window into a PNG and quits.
//   vipimport-demo CONNECT CATEGORIES MEMBERS SCREENSHOT.png
#include <cstdio>
#include <memory>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "DemoPrompts.h"
#include "window/Pubs.h"
#include "window/TForm1.h"

namespace {

void run(vip::window::TForm1& form, vip::demo::DemoPrompts& demo, const QStringList& args) {
  form.findChild<QPushButton*>(QStringLiteral("btnConnectDB"))->click();
  form.findChild<QLineEdit*>(QStringLiteral("edtVipType"))->setText(args.at(2));
  form.findChild<QLineEdit*>(QStringLiteral("edtVipMaster"))->setText(args.at(3));
  form.findChild<QPushButton*>(QStringLiteral("btnImport"))->click();
  if (!demo.screenshotSaved()) std::fputs("vipimport-demo: screenshot not saved\n", stderr);
  QApplication::exit(demo.screenshotSaved() ? 0 : 1);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments();
  if (args.size() != 5) {
    std::fputs("usage: vipimport-demo CONNECT CATEGORIES MEMBERS SCREENSHOT.png\n", stderr);
    return 2;
  }
  vip::window::installQtTranslations();
  vip::window::TForm1 form;
  form.lendLookToApplication();
  vip::demo::DemoPrompts demo(args.at(1).toStdString(), args.at(4), &form);
  vip::window::setPrompts(&demo);
  QTimer::singleShot(800, &form, [&] { run(form, demo, args); });
  form.show();
  const int code = QApplication::exec();
  vip::window::setPrompts(nullptr);
  return code;
}
