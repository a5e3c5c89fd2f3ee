// Time from asking for a text dialog to its first paint, keyboard included, against a
// bare QDialog holding one QLineEdit placed the same way, run alternately in one process.
//
// Usage: bench_dialog_open [ROUNDS]   (platform from QT_QPA_PLATFORM; use an X screen
// of the device's size for figures that match the device's layout)
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "ui/qt/qt_window.h"
#include "ui/qt/widgets/input.h"
#include "ui/qt/widgets/keyboard.h"

namespace {

// Notes when the widget that is painted last in a dialog's first frame starts painting,
// and then closes the dialog.
class FirstPaintWatch : public QObject {
public:
  using IsLast = std::function<bool(QObject *)>;
  FirstPaintWatch(IsLast isLast, const QElapsedTimer &clock) : isLast_(std::move(isLast)), clock_(clock) {
    qApp->installEventFilter(this);
  }
  ~FirstPaintWatch() override { qApp->removeEventFilter(this); }
  qint64 elapsedNs() const { return elapsedNs_; }

protected:
  bool eventFilter(QObject *o, QEvent *e) override {
    if (elapsedNs_ < 0 && e->type() == QEvent::Paint && isLast_(o)) {
      elapsedNs_ = clock_.nsecsElapsed();
      auto *dialog = qobject_cast<QDialog *>(static_cast<QWidget *>(o)->window());
      QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
    }
    return false;
  }

private:
  IsLast isLast_;
  const QElapsedTimer &clock_;
  qint64 elapsedNs_ = -1;
};

bool isEnterKey(QObject *o) {
  auto *key = qobject_cast<KeyButton *>(o);
  return key != nullptr && key->text() == ENTER_KEY && key->isVisible();
}

bool isBareLine(QObject *o) {
  auto *line = qobject_cast<QLineEdit *>(o);
  return line != nullptr && qobject_cast<InputDialog *>(line->window()) == nullptr;
}

qint64 openTextDialog(QWidget *screen) {
  QElapsedTimer clock;
  FirstPaintWatch watch(isEnterKey, clock);
  clock.start();
  InputDialog::getText(QStringLiteral("Enter password"), screen, QString(), true, 8);
  return watch.elapsedNs();
}

qint64 openBareDialog(QWidget *screen) {
  QElapsedTimer clock;
  FirstPaintWatch watch(isBareLine, clock);
  clock.start();
  QDialog d(screen);
  QVBoxLayout layout(&d);
  QLineEdit line;
  layout.addWidget(&line);
  setMainWindow(&d);
  d.exec();
  return watch.elapsedNs();
}

double medianMs(QVector<qint64> ns) {
  std::sort(ns.begin(), ns.end());
  return ns[ns.size() / 2] / 1e6;
}

}  // namespace

int main(int argc, char *argv[]) {
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 30;

  QWidget screen;
  setMainWindow(&screen);

  QVector<qint64> text, bare;
  const int warmup = 3;
  for (int i = 0; i < warmup + rounds; ++i) {
    const qint64 b = openBareDialog(&screen);
    const qint64 t = openTextDialog(&screen);
    if (b < 0 || t < 0) {
      std::fprintf(stderr, "a dialog was never painted\n");
      return 1;
    }
    if (i >= warmup) {
      bare << b;
      text << t;
    }
  }

  const double textMs = medianMs(text);
  const double bareMs = medianMs(bare);
  std::printf("platform %s, %d rounds, median time to first paint\n", qPrintable(QGuiApplication::platformName()),
              rounds);
  std::printf("  bare QDialog + QLineEdit:   %8.2f ms\n", bareMs);
  std::printf("  text dialog with keyboard:  %8.2f ms\n", textMs);
  std::printf("  ratio text / bare:          %8.2f\n", textMs / bareMs);
  return 0;
}
