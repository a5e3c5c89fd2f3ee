#pragma once

#include <functional>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QQueue>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include "tools/screen_driver/driver.h"
#include "ui/qt/widgets/keyboard.h"

// Drives the network screens as a user would (tools/screen_driver), with the modal dialogs that
// taps open answered from a polling timer while their own event loop runs.
namespace panel {

// A scratch parameter store under the test's own prefix, so that tests running side by side share
// no store and no log endpoint.
inline void isolateStore(const QString &params_root) {
  qputenv("PARAMS_ROOT", params_root.toUtf8());
  qputenv("HALCYRA_PREFIX", QByteArray("screens-test-") + QByteArray::number(QCoreApplication::applicationPid()));
}

// The test screen is smaller than the device's, and a scroll view hands a held press to the
// widget found at its screen position: whatever is tapped must lie on the screen.
inline void fitScreen(QWidget *w) {
  w->resize(QGuiApplication::primaryScreen()->size());
}

// Types `text` on the dialog's on-screen keyboard, then Enter.
inline bool enter(QWidget *dialog, const QString &text) {
  return screen::type(text, dialog) && screen::tapText(dialog, ENTER_KEY);
}

// Erases the entry with the keyboard's backspace, then types `text` and Enter.
inline bool replace(QWidget *dialog, const QString &text) {
  const QLineEdit *line = dialog->findChild<QLineEdit *>();
  for (int n = line ? line->text().size() : 0; n > 0; --n) {
    if (!screen::tapText(dialog, BACKSPACE_KEY)) {
      return false;
    }
  }
  return line && line->text().isEmpty() && enter(dialog, text);
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
    then([button_text](QWidget *d) { QVERIFY(screen::tapText(d, button_text)); });
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
