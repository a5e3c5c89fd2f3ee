#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include "tools/screen_driver/driver.h"
#include "ui/qt/widgets/controls.h"
#include "ui/qt/widgets/input.h"
#include "ui/qt/widgets/scrollview.h"

namespace {

// Runs `drive` on the text dialog once it is open, then cancels it if `drive` left it open.
void whenDialogOpen(QObject *context, const std::function<void(QWidget *)> &drive) {
  QTimer::singleShot(0, context, [drive] {
    QWidget *dialog = nullptr;
    if (!QTest::qWaitFor([&dialog] { return (dialog = QApplication::activeModalWidget()) != nullptr; }) ||
        !QTest::qWaitForWindowExposed(dialog)) {
      QFAIL("no dialog opened");
    }
    QPointer<QWidget> open = dialog;
    drive(dialog);
    if (open && open->isVisible()) {
      static_cast<QDialog *>(open.data())->reject();
    }
  });
}

}  // namespace

class TestScreenDriver : public QObject {
  Q_OBJECT

private:
  std::unique_ptr<QWidget> window;

  bool shown() {
    window->show();
    return QTest::qWaitForWindowExposed(window.get());
  }

private slots:
  void init() { window = std::make_unique<QWidget>(); }
  void cleanup() { window.reset(); }

  void findsByShownText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("k");
    QTest::addColumn<QString>("found");  // object name, empty for none
    QTest::newRow("first of two") << "EDIT" << 1 << "label";
    QTest::newRow("second skips the hidden one") << "EDIT" << 2 << "button";
    QTest::newRow("no third") << "EDIT" << 3 << "";
    QTest::newRow("doubled ampersand shows one") << "Fish & Chips" << 1 << "ampersand";
    QTest::newRow("as written is not as shown") << "Fish && Chips" << 1 << "";
    QTest::newRow("hidden only") << "Gone" << 1 << "";
  }

  void findsByShownText() {
    QFETCH(QString, text);
    QFETCH(int, k);
    QFETCH(QString, found);
    auto *layout = new QVBoxLayout(window.get());
    const auto add = [&](QWidget *w, const QString &name) {
      w->setObjectName(name);
      layout->addWidget(w);
      return w;
    };
    add(new QLabel(QStringLiteral("EDIT")), QStringLiteral("label"));
    add(new QPushButton(QStringLiteral("EDIT")), QStringLiteral("hidden"))->hide();
    add(new QPushButton(QStringLiteral("EDIT")), QStringLiteral("button"));
    add(new QPushButton(QStringLiteral("Fish && Chips")), QStringLiteral("ampersand"));
    add(new QLabel(QStringLiteral("Gone")), QStringLiteral("gone"))->hide();
    QVERIFY(shown());

    QWidget *w = screen::find(text, k);
    QCOMPARE(w ? w->objectName() : QString(), found);
  }

  // With a dialog open only the dialog can be tapped, though the window behind shows the same text.
  void openDialogFirst() {
    auto *behind = new QPushButton(QStringLiteral("Cancel"), window.get());
    new QLabel(QStringLiteral("Behind"), window.get());
    QVERIFY(shown());
    QSignalSpy tapped_behind(behind, &QPushButton::clicked);
    whenDialogOpen(this, [](QWidget *dialog) {
      const QWidget *cancel = screen::find(QStringLiteral("Cancel"));
      QVERIFY(cancel && cancel->window() == dialog);
      QVERIFY(screen::find(QStringLiteral("Behind")) == nullptr);
      QVERIFY(screen::tapText(QStringLiteral("Cancel")));
      QVERIFY(!dialog->isVisible());
    });
    QVERIFY(InputDialog::getText(QStringLiteral("Name"), window.get()).isNull());
    QCOMPARE(tapped_behind.count(), 0);
    QCOMPARE(screen::find(QStringLiteral("Cancel")), behind);
  }

  // Every page of the keyboard is reached from any other, whatever page the last character left.
  void typesOnEveryPage_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("lower case") << "fernhill-home";
    QTest::newRow("shift is one-shot") << "AtTiC";
    QTest::newRow("digits and back") << "a1b2.c";
    QTest::newRow("symbols and back") << "x€y[z]{}";
    QTest::newRow("upper case after symbols") << "#Q";
    QTest::newRow("space and ampersand") << "Fish & Chips";
    QTest::newRow("quotes") << "\"'?!";
  }

  void typesOnEveryPage() {
    QFETCH(QString, text);
    QVERIFY(shown());
    whenDialogOpen(this, [&text](QWidget *dialog) {
      QVERIFY(screen::type(text, dialog));
      QCOMPARE(dialog->findChild<QLineEdit *>()->text(), text);
      QVERIFY(screen::tapText(dialog, ENTER_KEY));
    });
    QCOMPARE(InputDialog::getText(QStringLiteral("Name"), window.get()), text);
  }

  void characterOnNoPage() {
    QVERIFY(shown());
    whenDialogOpen(this, [](QWidget *dialog) {
      QTest::ignoreMessage(QtWarningMsg, "no key types \"\t\"");
      QVERIFY(!screen::type(QStringLiteral("a\t"), dialog));
      QCOMPARE(dialog->findChild<QLineEdit *>()->text(), QStringLiteral("a"));
    });
    QVERIFY(InputDialog::getText(QStringLiteral("Name"), window.get()).isNull());
  }

  // A row far down a list is scrolled into view and takes the tap itself.
  void tapsRowBelowTheFold() {
    auto *list = new ListWidget;
    QList<ElidedLabel *> rows;
    for (int i = 0; i < 30; ++i) {
      rows << new ElidedLabel(QStringLiteral("Row %1").arg(i));
      rows.last()->setFixedHeight(100);
      list->addItem(rows.last());
    }
    auto *layout = new QVBoxLayout(window.get());
    layout->addWidget(new ScrollView(list, window.get()));
    window->resize(400, 500);
    QVERIFY(shown());
    QVERIFY(rows[25]->visibleRegion().isEmpty());

    QSignalSpy clicked(rows[25], &ElidedLabel::clicked);
    QVERIFY(screen::tapText(QStringLiteral("Row 25")));
    QCOMPARE(clicked.count(), 1);
    QVERIFY(!rows[25]->visibleRegion().isEmpty());
  }

  // A widget partly under another is tapped where it shows; one wholly under another is not tapped.
  void coveredWidgets() {
    auto *partly = new QPushButton(QStringLiteral("Partly"), window.get());
    partly->setGeometry(0, 0, 200, 100);
    auto *wholly = new QPushButton(QStringLiteral("Wholly"), window.get());
    wholly->setGeometry(0, 200, 200, 100);
    // Made later, so drawn over them.
    (new QLabel(window.get()))->setGeometry(0, 0, 200, 80);
    (new QLabel(window.get()))->setGeometry(0, 200, 200, 100);
    window->resize(300, 400);
    QVERIFY(shown());

    QCOMPARE(screen::tapPoint(partly), std::optional<QPoint>(QPoint(99, 80)));
    QSignalSpy partly_tapped(partly, &QPushButton::clicked);
    QVERIFY(screen::tap(partly));
    QCOMPARE(partly_tapped.count(), 1);

    QVERIFY(!screen::tapPoint(wholly));
    QSignalSpy wholly_tapped(wholly, &QPushButton::clicked);
    QTest::ignoreMessage(QtWarningMsg, "no part of QPushButton can be tapped");
    QVERIFY(!screen::tap(wholly));
    QCOMPARE(wholly_tapped.count(), 0);
  }

  void waitsForText() {
    auto *label = new QLabel(QStringLiteral("Loading..."), window.get());
    QVERIFY(shown());
    QTimer::singleShot(200, label, [label] { label->setText(QStringLiteral("Update failed")); });
    QVERIFY(screen::waitForText(QStringLiteral("Update failed")));

    QTest::ignoreMessage(QtWarningMsg, "gave up waiting for \"Done\" (shown: Update failed)");
    QVERIFY(!screen::waitForText(QStringLiteral("Done"), 300));
  }
};

QTEST_MAIN(TestScreenDriver)
#include "test_screen_driver.moc"
