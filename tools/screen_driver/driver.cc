#include "tools/screen_driver/driver.h"

#include <QApplication>
#include <QtTest>

namespace screen {

namespace {

QTouchDevice *touchScreen() {
  static QTouchDevice *device = QTest::createTouchDevice();
  return device;
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

// A mouse, not a finger, for everything but keys: a tap may open a dialog whose keys are touched
// while this tap is still being delivered, and a finger can be in one place only. Inside a scroll
// view the press reaches the widget after the scroller's short hold, so the release waits for it;
// a disabled widget takes none.
void click(QWidget *w, const QPoint &at) {
  PressWatch watch(w);
  QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, at);
  if (w->isEnabled() && !QTest::qWaitFor([&watch] { return watch.pressed; })) {
    qWarning("the press never reached %s", w->metaObject()->className());
  }
  QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, at);
}

QString describe(const QString &text) {
  return QStringLiteral("\"%1\" (shown: %2)").arg(text, shownTexts().join(QStringLiteral(" | ")));
}

}  // namespace

void fingerDown(QWidget *w, const QPoint &at) {
  QTest::touchEvent(w->window(), touchScreen()).press(0, at, w);
}

void fingerMove(QWidget *w, const QPoint &to) {
  QTest::touchEvent(w->window(), touchScreen()).move(0, to, w);
}

void fingerUp(QWidget *w, const QPoint &at) {
  QTest::touchEvent(w->window(), touchScreen()).release(0, at, w);
}

bool tap(QWidget *w) {
  bringIntoView(w);
  const std::optional<QPoint> at = tapPoint(w);
  if (!at) {
    qWarning("no part of %s can be tapped", w->metaObject()->className());
    return false;
  }
  if (w->testAttribute(Qt::WA_AcceptTouchEvents)) {
    fingerDown(w, *at);
    fingerUp(w, *at);
  } else {
    click(w, *at);
  }
  return true;
}

bool tapText(const QWidget *root, const QString &text, int k) {
  QWidget *w = root ? findIn(root, text, k) : find(text, k);
  if (w == nullptr) {
    qWarning("nothing shows %s", qUtf8Printable(describe(text)));
    return false;
  }
  return tap(w);
}

bool tapText(const QString &text, int k) {
  return tapText(nullptr, text, k);
}

bool tapTexts(const QWidget *root, const QStringList &texts) {
  for (const QString &text : texts) {
    if (!tapText(root, text)) {
      return false;
    }
  }
  return true;
}

bool type(const QString &text, const QWidget *root) {
  if (root == nullptr) {
    root = QApplication::activeModalWidget();
  }
  for (const QChar c : text) {
    KeyStep step;
    for (int hops = 0; !step.types; ++hops) {
      step = root ? nextKey(root, c) : KeyStep();
      if (step.key == nullptr || (!step.types && hops == kMaxPageHops)) {
        qWarning("no key types \"%s\"", qUtf8Printable(QString(c)));
        return false;
      }
      if (!tap(step.key)) {
        return false;
      }
    }
  }
  return true;
}

bool waitForText(const QString &text, int timeout_ms) {
  if (QTest::qWaitFor([&text] { return find(text) != nullptr; }, timeout_ms)) {
    return true;
  }
  qWarning("gave up waiting for %s", qUtf8Printable(describe(text)));
  return false;
}

}  // namespace screen
