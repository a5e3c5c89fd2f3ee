// network_preview: shows the network settings panel full-screen and plays a short script of
// taps on it, so its screens and dialogs can be looked at and photographed.
//
// Usage: network_preview [--no-advanced] [--styled-first] STEP...
//   --no-advanced      build the panel without its Advanced button
//   --styled-first     style the window before the panel is built (as the update program does),
//                      not after it
// Steps, played in order, one every 400 ms (the next one is scheduled before a step runs, so
// steps keep playing while a dialog that a step opened waits for input):
//   wait-rows:N        wait (up to 10 s) until the Wi-Fi list shows N rows
//   wait:MS            pause
//   tap:TEXT[#K]       click the K-th (default 1st) visible button or label showing TEXT, in the
//                      open dialog if there is one, else in the panel
//   show:TEXT          scroll the list that holds the widget showing TEXT until it is in view
//   toggle:TITLE       flip the switch of the setting row titled TITLE
//   type:TEXT          type TEXT on the open dialog's on-screen keyboard
//   shot:FILE          save the screen with `import -window root FILE`
//   quit               end the program (it also ends after the last step)
// The panel talks to whatever NetworkManager is on the system bus (the simulator, in practice).

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/qt/network/networking.h"
#include "ui/qt/qt_window.h"
#include "ui/qt/util.h"
#include "ui/qt/widgets/keyboard.h"
#include "ui/qt/widgets/toggle.h"

namespace {

const int kStepIntervalMs = 400;

QWidget *activeRoot(QWidget *panel) {
  QWidget *modal = QApplication::activeModalWidget();
  return modal ? modal : panel;
}

// "TEXT#K" names the K-th match of TEXT.
QPair<QString, int> nthOf(const QString &target) {
  const int hash = target.lastIndexOf(QLatin1Char('#'));
  bool ok = false;
  const int k = hash > 0 ? target.mid(hash + 1).toInt(&ok) : 0;
  return ok && k > 0 ? qMakePair(target.left(hash), k) : qMakePair(target, 1);
}

void tapWidget(QWidget *w) {
  // The switch answers the release of a real press, not click().
  auto *button = qobject_cast<QAbstractButton *>(w);
  if (button && !qobject_cast<Toggle *>(w)) {
    button->click();
    return;
  }
  const QPointF centre = QRectF(w->rect()).center();
  QMouseEvent press(QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  // A scroll view holds a press back for a moment before it passes it on; the release waits for it.
  QTimer::singleShot(100, w, [w, centre] {
    QMouseEvent release(QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
  });
}

QWidget *findShown(QWidget *root, const QString &target) {
  const auto [text, k] = nthOf(target);
  int seen = 0;
  for (QWidget *w : root->findChildren<QWidget *>()) {
    if (!w->isVisible()) {
      continue;
    }
    const auto *button = qobject_cast<QAbstractButton *>(w);
    const auto *label = qobject_cast<QLabel *>(w);
    const QString shown = button ? button->text() : label ? label->text() : QString();
    if (shown == text && ++seen == k) {
      return w;
    }
  }
  return nullptr;
}

bool tapText(QWidget *root, const QString &target) {
  QWidget *w = findShown(root, target);
  if (w) {
    tapWidget(w);
  }
  return w != nullptr;
}

bool scrollTo(QWidget *root, const QString &target) {
  QWidget *w = findShown(root, target);
  for (QWidget *p = w ? w->parentWidget() : nullptr; p != nullptr; p = p->parentWidget()) {
    if (auto *area = qobject_cast<QScrollArea *>(p)) {
      area->ensureWidgetVisible(w);
      return true;
    }
  }
  return false;
}

// The switch of the row titled TEXT.
bool flipToggle(QWidget *root, const QString &title) {
  QWidget *title_button = findShown(root, title);
  Toggle *toggle = title_button ? title_button->parentWidget()->findChild<Toggle *>() : nullptr;
  if (toggle) {
    tapWidget(toggle);
  }
  return toggle != nullptr;
}

KeyButton *visibleKey(QWidget *root, const QString &label) {
  for (KeyButton *key : root->findChildren<KeyButton *>()) {
    if (key->isVisible() && key->text() == label) {
      return key;
    }
  }
  return nullptr;
}

// Switches keyboard pages as needed; false when a character is on no page.
bool typeText(QWidget *root, const QString &text) {
  const QStringList page_keys = {QStringLiteral("↑"), QStringLiteral("↓"), QStringLiteral("123"), QStringLiteral("#+="),
                                 QStringLiteral("ABC")};
  for (const QChar c : text) {
    const QString label = c == QLatin1Char(' ') ? QStringLiteral("  ") : QString(c);
    KeyButton *key = visibleKey(root, label);
    for (int tries = 0; key == nullptr && tries < 8; ++tries) {
      KeyButton *page = visibleKey(root, page_keys[tries % page_keys.size()]);
      if (page) {
        page->click();
      }
      key = visibleKey(root, label);
    }
    if (key == nullptr) {
      return false;
    }
    key->click();
  }
  return true;
}

int waitedRows(QWidget *panel) {
  int rows = 0;
  for (QWidget *w : panel->findChildren<WifiItem *>()) {
    rows += w->isVisible() ? 1 : 0;
  }
  return rows;
}

class Player : public QObject {
public:
  Player(QWidget *panel, const QStringList &steps) : panel(panel), steps(steps) {}

  void next() {
    if (steps.isEmpty()) {
      QApplication::exit(failures == 0 ? 0 : 1);
      return;
    }
    const QString step = steps.takeFirst();
    const QString name = step.section(QLatin1Char(':'), 0, 0);
    const QString arg = step.section(QLatin1Char(':'), 1);

    if (name == QLatin1String("wait-rows")) {
      waitRows(arg.toInt(), 10000 / 100);
      return;
    }
    const int delay = name == QLatin1String("wait") ? arg.toInt() : kStepIntervalMs;
    // Scheduled first: a tap may open a dialog whose own event loop runs until a later step ends it.
    QTimer::singleShot(delay, this, [this] { next(); });
    run(name, arg);
  }

private:
  void waitRows(int rows, int polls_left) {
    if (waitedRows(panel) >= rows || polls_left == 0) {
      if (polls_left == 0) {
        report(QStringLiteral("wait-rows"), QString::number(rows));
      }
      QTimer::singleShot(kStepIntervalMs, this, [this] { next(); });
      return;
    }
    QTimer::singleShot(100, this, [=] { waitRows(rows, polls_left - 1); });
  }

  void run(const QString &name, const QString &arg) {
    bool ok = true;
    if (name == QLatin1String("tap")) {
      ok = tapText(activeRoot(panel), arg);
    } else if (name == QLatin1String("show")) {
      ok = scrollTo(activeRoot(panel), arg);
    } else if (name == QLatin1String("toggle")) {
      ok = flipToggle(activeRoot(panel), arg);
    } else if (name == QLatin1String("type")) {
      ok = typeText(activeRoot(panel), arg);
    } else if (name == QLatin1String("shot")) {
      ok = QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), arg}) == 0;
    } else if (name == QLatin1String("quit")) {
      steps.clear();
    } else if (name != QLatin1String("wait")) {
      ok = false;
    }
    if (!ok) {
      report(name, arg);
    }
  }

  void report(const QString &name, const QString &arg) {
    ++failures;
    qWarning("network_preview: step %s:%s failed", qPrintable(name), qPrintable(arg));
  }

  QWidget *panel;
  QStringList steps;
  int failures = 0;
};

}  // namespace

int main(int argc, char *argv[]) {
  initApp(argc, argv);
  QApplication app(argc, argv);

  QStringList steps = app.arguments().mid(1);
  const bool show_advanced = !steps.removeAll(QStringLiteral("--no-advanced"));
  const bool styled_first = steps.removeAll(QStringLiteral("--styled-first"));

  // The panel sits in a window that gives it the text colour and family, as in the update program.
  QWidget window;
  auto *layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  const QString window_style = QStringLiteral("* { color: white; outline: none; font-family: Inter; }");
  if (styled_first) {
    window.setStyleSheet(window_style);
  }
  auto *panel = new Networking(&window, show_advanced);
  layout->addWidget(panel);
  if (!styled_first) {
    window.setStyleSheet(window_style);
  }
  setMainWindow(&window);

  Player player(panel, steps);
  QTimer::singleShot(kStepIntervalMs, &player, [&player] { player.next(); });
  return app.exec();
}
