#include <QApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>
#include <functional>

#include "tools/screen_driver/driver.h"
#include "ui/qt/widgets/input.h"

namespace {

template <typename D>
D *openDialog() {
  D *found = nullptr;
  const bool opened = QTest::qWaitFor([&]() {
    for (QWidget *w : QApplication::topLevelWidgets()) {
      auto *d = qobject_cast<D *>(w);
      if (d != nullptr && d->isVisible()) {
        found = d;
        return true;
      }
    }
    return false;
  });
  return opened ? found : nullptr;
}

// Runs `drive` on the dialog once its modal loop runs. A dialog that a failed check
// left open is cancelled, so the test cannot hang in the modal loop.
template <typename D>
void whenOpen(QObject *context, std::function<void(D *)> drive) {
  QTimer::singleShot(0, context, [drive]() {
    QPointer<D> d = openDialog<D>();
    if (d.isNull() || !QTest::qWaitForWindowExposed(d)) {
      QFAIL("no dialog opened");
    }
    drive(d);
    if (!d.isNull() && d->isVisible()) {
      d->reject();
    }
  });
}

template <typename W>
W *shown(const QWidget *root, const QString &text) {
  return qobject_cast<W *>(screen::findIn(root, text));
}

bool containsColour(const QImage &img, const QColor &colour) {
  for (int y = 0; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) {
      if (img.pixelColor(x, y) == colour) {
        return true;
      }
    }
  }
  return false;
}

QImage iconImage(const QPushButton *b) {
  return b->icon().pixmap(b->iconSize()).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage assetImage(const QString &name) {
  return QImage(QStringLiteral(":/") + name).convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

class TestInput : public QObject {
  Q_OBJECT

private slots:
  void initTestCase();
  void init();
  void minimumLength_data();
  void minimumLength();
  void defaultTextAndCancel_data();
  void defaultTextAndCancel();
  void keyboardTypesIntoField();
  void subtitle_data();
  void subtitle();
  void eyeMasksSecret();
  void hidingParentCancels_data();
  void hidingParentCancels();
  void confirmAndAlert_data();
  void confirmAndAlert();
  void networkNamesShownAsWritten_data();
  void networkNamesShownAsWritten();

private:
  QWidget screen;
};

void TestInput::initTestCase() {
  screen.resize(400, 300);
}

void TestInput::init() {
  screen.show();
  QVERIFY(QTest::qWaitForWindowExposed(&screen));
}

void TestInput::minimumLength_data() {
  QTest::addColumn<int>("minLength");
  QTest::addColumn<QString>("first");
  QTest::addColumn<QString>("message");
  QTest::addColumn<QString>("more");

  QTest::newRow("7 of 8, then 8") << 8 << "abcdefg"
                                  << "Need at least 8 character(s)!"
                                  << "h";
  QTest::newRow("empty of 1, then 1") << 1 << ""
                                      << "Need at least 1 character(s)!"
                                      << "x";
  QTest::newRow("8 of 8 at once") << 8 << "abcdefgh" << QString() << "";
  QTest::newRow("no minimum, empty") << -1 << "" << QString() << "";
  QTest::newRow("zero minimum, empty") << 0 << "" << QString() << "";
}

void TestInput::minimumLength() {
  QFETCH(int, minLength);
  QFETCH(QString, first);
  QFETCH(QString, message);
  QFETCH(QString, more);

  int emitted = 0;
  whenOpen<InputDialog>(this, [&](InputDialog *d) {
    QSignalSpy texts(d, &InputDialog::emitText);
    QVERIFY(screen::type(first, d));
    QVERIFY(screen::tapText(d, ENTER_KEY));
    if (!message.isNull()) {
      // Refused: the message replaces the title and the typed text stays.
      QVERIFY(d->isVisible());
      QVERIFY(shown<QLabel>(d, QStringLiteral("Password")) == nullptr);
      QVERIFY(shown<QLabel>(d, message) != nullptr);
      QCOMPARE(d->findChild<QLineEdit *>()->text(), first);
      QCOMPARE(texts.count(), 0);
      QVERIFY(screen::type(more, d));
      QVERIFY(screen::tapText(d, ENTER_KEY));
    }
    QVERIFY(!d->isVisible());
    QCOMPARE(texts.count(), 1);
    QCOMPARE(texts.at(0).at(0).toString(), first + more);
    emitted = texts.count();
  });
  const QString result = InputDialog::getText(QStringLiteral("Password"), &screen, QString(), true, minLength);

  QCOMPARE(emitted, 1);
  QVERIFY(!result.isNull());
  QCOMPARE(result, first + more);
}

void TestInput::defaultTextAndCancel_data() {
  QTest::addColumn<QString>("defaultText");
  QTest::addColumn<bool>("cancel");

  QTest::newRow("default kept on enter") << "hunter22" << false;
  QTest::newRow("cancel with default") << "hunter22" << true;
  QTest::newRow("cancel when empty") << "" << true;
}

void TestInput::defaultTextAndCancel() {
  QFETCH(QString, defaultText);
  QFETCH(bool, cancel);

  int cancels = -1;
  whenOpen<InputDialog>(this, [&](InputDialog *d) {
    QCOMPARE(d->findChild<QLineEdit *>()->text(), defaultText);
    // Placed full-screen and modal while it runs.
    QCOMPARE(d->size(), QSize(2160, 1080));
    QCOMPARE(QApplication::activeModalWidget(), d);

    QSignalSpy cancelled(d, &InputDialog::cancel);
    if (cancel) {
      QPushButton *button = shown<QPushButton>(d, QStringLiteral("Cancel"));
      QVERIFY(button != nullptr);
      QCOMPARE(button->size(), QSize(386, 125));
      QVERIFY(screen::tap(button));
    } else {
      QVERIFY(screen::tapText(d, ENTER_KEY));
    }
    QVERIFY(!d->isVisible());
    cancels = cancelled.count();
  });
  const QString result = InputDialog::getText(QStringLiteral("Name"), &screen, QString(), false, 8, defaultText);

  QCOMPARE(cancels, cancel ? 1 : 0);
  QCOMPARE(result.isNull(), cancel);
  QCOMPARE(result, cancel ? QString() : defaultText);
}

void TestInput::keyboardTypesIntoField() {
  whenOpen<InputDialog>(this, [&](InputDialog *d) {
    // The space bar and the ampersand key each type one character.
    QVERIFY(screen::tapTexts(d, {"a", "  ", "↑", "B", "123", "1", "&", "&", BACKSPACE_KEY}));
    QCOMPARE(d->findChild<QLineEdit *>()->text(), QStringLiteral("a B1&"));
    QVERIFY(screen::tapText(d, ENTER_KEY));
  });
  QCOMPARE(InputDialog::getText(QStringLiteral("Name"), &screen), QStringLiteral("a B1&"));
}

void TestInput::subtitle_data() {
  QTest::addColumn<QString>("subtitle");
  QTest::newRow("none") << QString();
  QTest::newRow("given") << QStringLiteral("for the network \"home\"");
}

void TestInput::subtitle() {
  QFETCH(QString, subtitle);

  whenOpen<InputDialog>(this, [&](InputDialog *d) {
    const QList<QLabel *> labels = d->findChildren<QLabel *>();
    QLabel *title = shown<QLabel>(d, QStringLiteral("Enter password"));
    QVERIFY(title != nullptr);
    QVERIFY(containsColour(title->grab().toImage(), Qt::white));
    if (subtitle.isEmpty()) {
      QCOMPARE(labels.size(), 1);
      return;
    }
    QCOMPARE(labels.size(), 2);
    QLabel *sub = shown<QLabel>(d, subtitle);
    QVERIFY(sub != nullptr);
    QVERIFY(sub->y() >= title->geometry().bottom());
    QVERIFY(containsColour(sub->grab().toImage(), QColor(0xbd, 0xbd, 0xbd)));
  });
  QVERIFY(InputDialog::getText(QStringLiteral("Enter password"), &screen, subtitle).isNull());
}

void TestInput::eyeMasksSecret() {
  whenOpen<InputDialog>(this, [&](InputDialog *d) {
    auto *line = d->findChild<QLineEdit *>();
    QPushButton *eye = nullptr;
    for (QPushButton *b : d->findChildren<QPushButton *>()) {
      if (b->isCheckable()) {
        eye = b;
      }
    }
    QVERIFY(eye != nullptr);
    QCOMPARE(eye->size(), QSize(150, 120));

    // Opens readable with the open eye; taps alternate.
    QCOMPARE(line->displayText(), QStringLiteral("abc"));
    QCOMPARE(eye->iconSize(), QSize(81, 44));
    QCOMPARE(iconImage(eye), assetImage(QStringLiteral("img_eye_open.svg")));

    QVERIFY(screen::tap(eye));
    QCOMPARE(line->displayText(), QString(3, QChar(0x2022)));
    QCOMPARE(eye->iconSize(), QSize(81, 54));
    QCOMPARE(iconImage(eye), assetImage(QStringLiteral("img_eye_closed.svg")));

    QVERIFY(screen::tap(eye));
    QCOMPARE(line->displayText(), QStringLiteral("abc"));
    QCOMPARE(iconImage(eye), assetImage(QStringLiteral("img_eye_open.svg")));
    QVERIFY(screen::tapText(d, ENTER_KEY));
  });
  QCOMPARE(InputDialog::getText(QStringLiteral("Password"), &screen, QString(), true, -1, QStringLiteral("abc")),
           QStringLiteral("abc"));

  // Plain text entry has no eye.
  whenOpen<InputDialog>(this, [&](InputDialog *d) {
    for (QPushButton *b : d->findChildren<QPushButton *>()) {
      QVERIFY(!b->isCheckable());
    }
  });
  InputDialog::getText(QStringLiteral("Name"), &screen);
}

void TestInput::hidingParentCancels_data() {
  QTest::addColumn<QString>("kind");
  QTest::newRow("text") << "text";
  QTest::newRow("confirm") << "confirm";
  QTest::newRow("alert") << "alert";
}

void TestInput::hidingParentCancels() {
  QFETCH(QString, kind);

  // The dialog's parent is a screen inside the window; the window is what goes away.
  QWidget *page = new QWidget(&screen);
  page->show();
  bool closed = false;
  whenOpen<DialogBase>(this, [&](DialogBase *d) {
    screen.hide();
    closed = !d->isVisible();
  });

  if (kind == "text") {
    QVERIFY(InputDialog::getText(QStringLiteral("Name"), page, QString(), false, -1, QStringLiteral("x")).isNull());
  } else if (kind == "confirm") {
    QVERIFY(!ConfirmationDialog::confirm(QStringLiteral("Forget?"), QStringLiteral("Forget"), page));
  } else {
    QVERIFY(!ConfirmationDialog::alert(QStringLiteral("Failed"), page));
  }
  QVERIFY(closed);
  delete page;
}

void TestInput::confirmAndAlert_data() {
  QTest::addColumn<bool>("alert");
  QTest::addColumn<QString>("tapped");
  QTest::addColumn<bool>("result");

  QTest::newRow("confirm accepted") << false << "Forget" << true;
  QTest::newRow("confirm cancelled") << false << "Cancel" << false;
  QTest::newRow("alert") << true << "Ok" << true;
}

void TestInput::confirmAndAlert() {
  QFETCH(bool, alert);
  QFETCH(QString, tapped);
  QFETCH(bool, result);

  whenOpen<ConfirmationDialog>(this, [&](ConfirmationDialog *d) {
    const QList<QPushButton *> buttons = d->findChildren<QPushButton *>();
    if (alert) {
      QCOMPARE(buttons.size(), 1);
      QCOMPARE(buttons.first()->text(), QStringLiteral("Ok"));
    } else {
      QCOMPARE(buttons.size(), 2);
      QPushButton *cancel = shown<QPushButton>(d, QStringLiteral("Cancel"));
      QPushButton *confirm = shown<QPushButton>(d, QStringLiteral("Forget"));
      QVERIFY(cancel && confirm);
      QVERIFY(cancel->x() < confirm->x());
      const QImage look = d->grab().toImage();
      const QPoint confirmEdge = confirm->mapTo(d, QPoint(15, confirm->height() / 2));
      const QPoint cancelEdge = cancel->mapTo(d, QPoint(15, cancel->height() / 2));
      QCOMPARE(look.pixelColor(confirmEdge), QColor(0x46, 0x5b, 0xea));
      QCOMPARE(look.pixelColor(cancelEdge), QColor(0x33, 0x33, 0x33));
    }
    QVERIFY(shown<QLabel>(d, QStringLiteral("Forget this network?")) != nullptr);
    QVERIFY(screen::tapText(d, tapped));
  });

  const QString prompt = QStringLiteral("Forget this network?");
  const bool answer = alert ? ConfirmationDialog::alert(prompt, &screen)
                            : ConfirmationDialog::confirm(prompt, QStringLiteral("Forget"), &screen);
  QCOMPARE(answer, result);
}

void TestInput::networkNamesShownAsWritten_data() {
  QTest::addColumn<QString>("kind");
  QTest::newRow("text dialog title and subtitle") << "text";
  QTest::newRow("confirmation prompt") << "confirm";
}

// Network names come from any access point nearby: markup in one must show as typed, not style the dialog.
void TestInput::networkNamesShownAsWritten() {
  QFETCH(QString, kind);
  const QString name = QStringLiteral("<font color='#ff0000'>Cafe</font>");

  bool checked = false;
  whenOpen<DialogBase>(this, [&](DialogBase *d) {
    const QImage look = d->grab().toImage();
    int red = 0;
    for (int y = 0; y < look.height(); ++y) {
      for (int x = 0; x < look.width(); ++x) {
        const QColor c = look.pixelColor(x, y);
        red += c.red() > 200 && c.green() < 80 && c.blue() < 80;
      }
    }
    QCOMPARE(red, 0);
    checked = true;
    d->reject();
  });

  if (kind == "text") {
    InputDialog::getText(name, &screen, QStringLiteral("for \"%1\"").arg(name));
  } else {
    ConfirmationDialog::confirm(QStringLiteral("Forget Wi-Fi Network \"%1\"?").arg(name), QStringLiteral("Forget"),
                                &screen);
  }
  QVERIFY(checked);
}

QTEST_MAIN(TestInput)
#include "test_input.moc"
