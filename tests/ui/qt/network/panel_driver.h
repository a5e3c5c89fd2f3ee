#pragma once

#include <functional>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QQueue>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QtTest>

#include "tests/ui/qt/widgets/touch.h"
#include "ui/qt/widgets/keyboard.h"

// Drives the network screens as a finger would: taps through Qt's touch input, and the
// modal dialogs that the taps open answered from a polling timer while their own event
// loop runs.
namespace panel {

// Keeps a panel test off the device: a scratch parameter store under its own prefix, and a fake
// `sudo` first on PATH (the hotspot turns IP forwarding off through it a few seconds after it starts).
inline void isolateFromDevice(const QString &params_root, const QString &sudo_log) {
  qputenv("PARAMS_ROOT", params_root.toUtf8());
  qputenv("HALCYRA_PREFIX", QByteArray("screens-test-") + QByteArray::number(QCoreApplication::applicationPid()));
  qputenv("PATH", qgetenv("FAKE_SUDO_DIR") + ":" + qgetenv("PATH"));
  qputenv("FAKE_SUDO_LOG", sudo_log.toUtf8());
}

// The test screen is smaller than the device's, and a scroll view hands a held press to the
// widget found at its screen position: whatever is tapped must lie on the screen.
inline void fitScreen(QWidget *w) {
  w->resize(QGuiApplication::primaryScreen()->size());
}

// Scrolls the list that holds `w` until `w` shows, as a user would before tapping it.
inline void scrollTo(QWidget *w) {
  for (QWidget *p = w->parentWidget(); p != nullptr; p = p->parentWidget()) {
    if (auto *area = qobject_cast<QScrollArea *>(p)) {
      area->ensureWidgetVisible(w, 0, 0);
      return;
    }
  }
}

// Notes when a widget has received a mouse press.
class PressWatch : public QObject {
public:
  // Not a child of `w`: the tap may end with `w` gone.
  explicit PressWatch(QWidget *w) { w->installEventFilter(this); }
  bool pressed = false;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    pressed = pressed || event->type() == QEvent::MouseButtonPress;
    return QObject::eventFilter(watched, event);
  }
};

// A press and release in the middle of `w`. A mouse, not a finger: the dialog that a tap
// opens has its keys touched while this tap is still being delivered, and a touch point can
// be in one place only. Inside a scroll view the press reaches the widget after the
// scroller's short hold, so the release waits for it; a disabled widget takes none.
inline void tap(QWidget *w) {
  scrollTo(w);
  const QPoint centre = w->rect().center();
  PressWatch watch(w);
  QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, centre);
  if (w->isEnabled() && !QTest::qWaitFor([&watch] { return watch.pressed; })) {
    qWarning("the press never reached %s", w->metaObject()->className());
  }
  QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, centre);
}

// The first visible button under `root` showing `text`.
inline QAbstractButton *button(const QWidget *root, const QString &text) {
  for (QAbstractButton *b : root->findChildren<QAbstractButton *>()) {
    if (b->isVisible() && b->text() == text) {
      return b;
    }
  }
  return nullptr;
}

// Taps a key of the page on show where no neighbour covers it: the test screen is smaller
// than the device's, so the keyboard's rows overlap there.
inline bool tapKey(QWidget *dialog, const QString &label) {
  KeyButton *key = touch::visibleKey(dialog, label);
  if (key == nullptr) {
    qWarning("no visible key %s", qPrintable(label));
    return false;
  }
  const QRect r = key->rect();
  for (int y = r.center().y(); y >= r.top(); --y) {
    const QPoint at(r.center().x(), y);
    if (dialog->childAt(key->mapTo(dialog, at)) == key) {
      touch::down(key, at);
      touch::up(key, at);
      return true;
    }
  }
  qWarning("key %s is covered", qPrintable(label));
  return false;
}

// Types `text` on the dialog's on-screen keyboard, then Enter; false when a key is missing.
inline bool enter(QWidget *dialog, const QString &text) {
  for (const QChar c : text) {
    if (!tapKey(dialog, c == QLatin1Char(' ') ? QStringLiteral("  ") : QString(c))) {
      return false;
    }
  }
  return tapKey(dialog, ENTER_KEY);
}

// Erases the entry with the keyboard's backspace, then types `text` and Enter.
inline bool replace(QWidget *dialog, const QString &text) {
  const QLineEdit *line = dialog->findChild<QLineEdit *>();
  for (int n = line ? line->text().size() : 0; n > 0; --n) {
    if (!tapKey(dialog, BACKSPACE_KEY)) {
      return false;
    }
  }
  return line && line->text().isEmpty() && enter(dialog, text);
}

inline bool press(QWidget *dialog, const QString &button_text) {
  QAbstractButton *b = button(dialog, button_text);
  if (b == nullptr) {
    qWarning("no visible button %s", qPrintable(button_text));
    return false;
  }
  QTest::mouseClick(b, Qt::LeftButton);
  return true;
}

// Answers the dialogs that open, in order, each with the next queued action. Every dialog
// seen is counted, answered or not; one left unanswered stays open.
class Dialogs : public QObject {
public:
  using Action = std::function<void(QWidget *dialog)>;

  Dialogs() {
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, this, [this] { check(); });
    poll.start();
  }

  void then(const Action &action) { actions.enqueue(action); }
  void thenType(const QString &text) {
    then([text](QWidget *d) { QVERIFY(enter(d, text)); });
  }
  void thenPress(const QString &button_text) {
    then([button_text](QWidget *d) { QVERIFY(press(d, button_text)); });
  }

  // The texts of every label of each dialog seen, captured when it opened.
  QList<QStringList> seen;
  int pending() const { return actions.size(); }

private:
  void check() {
    QWidget *dialog = QApplication::activeModalWidget();
    if (dialog == nullptr || dialog->property("panel_driver_seen").toBool()) {
      return;
    }
    dialog->setProperty("panel_driver_seen", true);
    QStringList texts;
    for (const QLabel *label : dialog->findChildren<QLabel *>()) {
      texts << label->text();
    }
    for (const QLineEdit *line : dialog->findChildren<QLineEdit *>()) {
      texts << QStringLiteral("line:") + line->text();
    }
    seen << texts;
    // Keys are found by position: the full-screen placement must have settled first.
    QPointer<QWidget> open = dialog;
    if (!QTest::qWaitForWindowExposed(dialog) || open.isNull()) {
      return;
    }
    if (!actions.isEmpty()) {
      actions.dequeue()(dialog);
    }
    // Left open by a failed action, or never expected: closed so the test goes on and fails.
    if (!open.isNull() && open->isVisible()) {
      QTimer::singleShot(actions.isEmpty() ? 2000 : 0, open, [open] {
        if (auto *d = qobject_cast<QDialog *>(open.data())) {
          d->reject();
        }
      });
    }
  }

  QTimer poll;
  QQueue<Action> actions;
};

}  // namespace panel
