#include <functional>

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QScreen>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include "window/QtPrompts.h"
#include "window/WorkbookDialog.h"

using vip::window::WorkbookDialog;

// Drives Qt's own file dialog as an operator would: the steps run inside
// the dialog's modal loop once it is up.
class WorkbookDialogTest : public QObject {
  Q_OBJECT
 private:
  QTemporaryDir m_dir;
  QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

  static QFileDialog* openDialog() {
    QFileDialog* dialog = nullptr;
    const bool up = QTest::qWaitFor([&] {
      dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      return dialog != nullptr && dialog->isVisible();
    });
    return up ? dialog : nullptr;
  }

  // Highlights `name` in the dialog's list, as a click on it does.
  static void highlight(QFileDialog* dialog, const QString& file) {
    auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
    QVERIFY(view != nullptr);
    auto* model = view->model();
    QModelIndex found;
    const bool listed = QTest::qWaitFor([&] {
      for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
        const QModelIndex index = model->index(row, 0, view->rootIndex());
        if (index.data().toString() == QFileInfo(file).fileName()) found = index;
      }
      return found.isValid();
    });
    QVERIFY2(listed, qPrintable(file));
    view->setCurrentIndex(found);
  }

  // Runs the real dialog through the production prompts with `steps` inside it.
  std::optional<QString> run(const QString& lastConfirmed, QStringList& highlighted,
                             std::function<void(QFileDialog*)> steps) {
    QTimer::singleShot(0, this, [steps] {
      QFileDialog* dialog = openDialog();
      if (dialog == nullptr) return;
      steps(dialog);
    });
    vip::window::QtPrompts prompts;
    return prompts.openWorkbook(nullptr, QStringLiteral("选择会员类别excel文件"), lastConfirmed,
                                [&highlighted](const QString& p) { highlighted << p; });
  }

 private slots:
  void initTestCase() {
    QVERIFY(m_dir.isValid());
    for (const char* name : {"a.xls", "b.xlsx", "notes.txt"}) {
      QFile file(path(name));
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("small")));
    QFile tiny(path("small/tiny.xls"));
    QVERIFY(tiny.open(QIODevice::WriteOnly));
    tiny.write("x");
    QFile large(path("会员资料_2024年度.xls"));
    QVERIFY(large.open(QIODevice::WriteOnly));
    large.write(QByteArray(66 * 1024 + 300, 'x'));
  }

  void optionsOfTheDialog() {
    WorkbookDialog dialog(nullptr, QStringLiteral("选择会员资料excel文件"), QString());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("选择会员资料excel文件"));
    QCOMPARE(dialog.nameFilters(), QStringList{QStringLiteral("excel文档 (*.xls *.xlsx *.xlsm)")});
    QVERIFY(dialog.testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(dialog.fileMode(), QFileDialog::AnyFile);
    QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
  }

  void placement_data() {
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("topLeft");
    QTest::newRow("primary") << QRect(0, 0, 1280, 800) << QSize(640, 419) << QPoint(320, 127);
    QTest::newRow("second monitor")
        << QRect(1280, 100, 1920, 1080) << QSize(600, 480) << QPoint(1940, 300);
  }
  void placement() {
    QFETCH(QRect, screen);
    QFETCH(QSize, size);
    QFETCH(QPoint, topLeft);
    QCOMPARE(WorkbookDialog::placement(screen, size), topLeft);
  }

  // Each highlight reports the full path at once; Open returns the confirmed file.
  void highlightsThenOpen() {
    QStringList highlighted;
    const auto result = run(path("a.xls"), highlighted, [this](QFileDialog* dialog) {
      QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text(),
               QStringLiteral("a.xls"));
      QCOMPARE(dialog->pos(),
               WorkbookDialog::placement(dialog->screen()->geometry(), dialog->size()));
      highlight(dialog, path("b.xlsx"));
      highlight(dialog, path("a.xls"));
      static_cast<QDialog*>(dialog)->accept();
    });
    QVERIFY(highlighted.size() >= 2);
    QCOMPARE(highlighted.mid(highlighted.size() - 2), (QStringList{path("b.xlsx"), path("a.xls")}));
    QCOMPARE(result, std::optional<QString>(path("a.xls")));
  }

  // A name typed into the field and confirmed counts even though it was
  // never highlighted, and needs not exist yet.
  void typedNameThenOpen() {
    QStringList highlighted;
    const auto result = run(path("a.xls"), highlighted, [](QFileDialog* dialog) {
      auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      // Typing goes to the focused name field, which drops the highlight.
      dialog->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(dialog));
      name->setFocus();
      name->selectAll();
      QTest::keyClicks(name, QStringLiteral("typed.xls"));
      QTest::keyClick(name, Qt::Key_Return);
    });
    QCOMPARE(result.value_or(QStringLiteral("(cancelled)")), path("typed.xls"));
  }

  // The detail view's size, type and date columns are as wide as what they
  // show ("66.3 KiB", not "66.…KiB").
  void detailColumnsFitTheirContents() {
    QStringList highlighted;
    QString cut;
    run(path("small/tiny.xls"), highlighted, [this, &cut](QFileDialog* dialog) {
      dialog->setViewMode(QFileDialog::Detail);
      highlight(dialog, path("small/tiny.xls"));
      dialog->setDirectory(m_dir.path());
      highlight(dialog, path("会员资料_2024年度.xls"));
      auto* details = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
      QVERIFY(details != nullptr);
      QTest::qWait(50);
      auto* view = static_cast<QAbstractItemView*>(details);  // the hint is public there
      for (int column = 1; column < details->model()->columnCount(details->rootIndex()); ++column) {
        if (details->isColumnHidden(column)) continue;
        const int shown = details->header()->sectionSize(column);
        const int needed = view->sizeHintForColumn(column);
        if (shown < needed)
          cut += QStringLiteral("column %1: %2 < %3; ").arg(column).arg(shown).arg(needed);
      }
      dialog->reject();
    });
    QVERIFY2(cut.isEmpty(), qPrintable(cut));
  }

  void cancel() {
    QStringList highlighted;
    const auto result = run(path("a.xls"), highlighted, [this](QFileDialog* dialog) {
      highlight(dialog, path("b.xlsx"));
      dialog->reject();
    });
    QVERIFY(highlighted.contains(path("b.xlsx")));
    QCOMPARE(result, std::nullopt);
  }
};

int runWorkbookDialogTests(int argc, char** argv) {
  WorkbookDialogTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "TestWorkbookDialog.moc"
