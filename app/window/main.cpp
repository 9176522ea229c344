// The import window's entry point.
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include <QApplication>
#include <QMessageBox>

#include "window/Pubs.h"
#include "window/TForm1.h"

namespace {

constexpr const char* kUsage =
    "usage: vipimport [--help | --version]\n"
    "\n"
    "Opens the window \"导入会员资料-EXCEL\": connect to the store, choose the\n"
    "member category workbook and the member workbook, import.\n"
    "Qt's own options (such as -platform) are accepted; the window takes no\n"
    "other arguments. vipimport-cli does the same import from the command line.\n";

// --help and --version answer before Qt starts, so they work without a display.
int answered(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("vipimport " VIPIMPORT_VERSION);
      return 0;
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (const int status = answered(argc, argv); status >= 0) return status;
  QApplication app(argc, argv);
  // Qt has taken its own options; anything left is not for the window.
  if (QApplication::arguments().size() > 1) {
    std::fprintf(stderr, "vipimport: unexpected argument\n\n%s", kUsage);
    return 2;
  }
  vip::window::installQtTranslations();
  std::unique_ptr<vip::window::TForm1> form;
  try {
    form = std::make_unique<vip::window::TForm1>();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, QStringLiteral("Application Error"),
                          QString::fromStdString(e.what()));
    return 1;
  }
  form->lendLookToApplication();
  form->show();
  return QApplication::exec();
}
