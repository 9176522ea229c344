// One Qt Test program for the window: every test class runs in turn under
// one QApplication (offscreen platform).
#include <QApplication>

int runPubsTests(int argc, char** argv);
int runWorkbookDialogTests(int argc, char** argv);
int runConnectionDialogTests(int argc, char** argv);
int runTForm1Tests(int argc, char** argv);

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int failed = 0;
  failed += runPubsTests(argc, argv);
  failed += runWorkbookDialogTests(argc, argv);
  failed += runConnectionDialogTests(argc, argv);
  failed += runTForm1Tests(argc, argv);
  return failed == 0 ? 0 : 1;
}
