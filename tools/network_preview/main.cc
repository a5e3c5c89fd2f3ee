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
//   tap:TEXT[#K]       tap the K-th (default 1st) visible widget showing TEXT, in the open dialog
//                      if there is one, else in the panel
//   show:TEXT          scroll the list that holds the widget showing TEXT until it is in view
//   toggle:TITLE       flip the switch of the setting row titled TITLE
//   type:TEXT          type TEXT on the open dialog's on-screen keyboard
//   shot:FILE          save the screen with `import -window root FILE`
//   quit               end the program (it also ends after the last step)
// The panel talks to whatever NetworkManager is on the system bus (the simulator, in practice).

#include <QApplication>
#include <QProcess>
#include <QTimer>
#include <QVBoxLayout>

#include "tools/screen_driver/driver.h"
#include "ui/qt/network/networking.h"
#include "ui/qt/qt_window.h"
#include "ui/qt/util.h"

namespace {

const int kStepIntervalMs = 400;

// "TEXT#K" names the K-th match of TEXT.
QPair<QString, int> nthOf(const QString &target) {
  const int hash = target.lastIndexOf(QLatin1Char('#'));
  bool ok = false;
  const int k = hash > 0 ? target.mid(hash + 1).toInt(&ok) : 0;
  return ok && k > 0 ? qMakePair(target.left(hash), k) : qMakePair(target, 1);
}

QWidget *findShown(const QString &target) {
  const auto [text, k] = nthOf(target);
  return screen::find(text, k);
}

bool scrollTo(const QString &target) {
  QWidget *w = findShown(target);
  if (w) {
    screen::bringIntoView(w);
  }
  return w != nullptr;
}

bool flipSwitch(const QString &title) {
  QWidget *toggle = screen::rowSwitch(screen::find(title));
  return toggle && screen::tap(toggle);
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
      QWidget *w = findShown(arg);
      ok = w && screen::tap(w);
    } else if (name == QLatin1String("show")) {
      ok = scrollTo(arg);
    } else if (name == QLatin1String("toggle")) {
      ok = flipSwitch(arg);
    } else if (name == QLatin1String("type")) {
      ok = screen::type(arg);
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
