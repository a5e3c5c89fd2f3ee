// A child floods the program with progress lines as fast as it can. Measured side by side, alternating:
// the time until the window has consumed all of them (the child's end shows "Update failed"), against
// the same child writing to /dev/null; and the longest the event loop went without running a 1 ms timer.
//
//   bench_updater_flood [LINES] [RUNS]
#include <algorithm>
#include <cstdio>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "ui/qt/setup/updater.h"

namespace {

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

QString writeFlooder(const QTemporaryDir &dir, int lines) {
  const QString path = dir.filePath(QStringLiteral("flood.sh"));
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write(QStringLiteral(
              "#!/bin/sh\n"
              "awk 'BEGIN { for (i = 0; i < %1; i++) printf \"Downloading:%d.%d\\n\", (i / 100) % 100, i % 10 }'\n"
              "exit 3\n")
              .arg(lines)
              .toUtf8());
  f.close();
  f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return path;
}

double toDevNullMs(const QString &flooder) {
  QProcess p;
  p.setStandardOutputFile(QProcess::nullDevice());
  QElapsedTimer clock;
  clock.start();
  p.start(flooder, {QStringLiteral("--swap"), QStringLiteral("m")});
  p.waitForFinished(-1);
  return clock.nsecsElapsed() / 1e6;
}

struct WindowRun {
  double consumed_ms = 0;
  double max_stall_ms = 0;
};

WindowRun throughWindow(const QString &flooder) {
  WindowRun r;
  Updater w(flooder, QStringLiteral("m"));
  w.show();
  QPushButton *reboot = w.widget(2)->findChild<QPushButton *>();

  QEventLoop loop;
  QElapsedTimer clock, since_tick;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  tick.setInterval(1);
  QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
    r.max_stall_ms = std::max(r.max_stall_ms, since_tick.nsecsElapsed() / 1e6);
    since_tick.restart();
    if (!reboot->isHidden()) {
      r.consumed_ms = clock.nsecsElapsed() / 1e6;
      loop.quit();
    }
  });
  clock.start();
  since_tick.start();
  tick.start();
  QTimer::singleShot(0, &w, &Updater::installUpdate);
  loop.exec();
  return r;
}

}  // namespace

int main(int argc, char *argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // The window writes each dropped line to the debug output; none are expected, keep the figures readable.
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
  const int lines = argc > 1 ? std::max(1, atoi(argv[1])) : 1000000;
  const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

  QTemporaryDir dir;
  const QString flooder = writeFlooder(dir, lines);
  std::vector<double> null_ms, window_ms, stall_ms;
  for (int i = 0; i < runs; ++i) {
    const double baseline = toDevNullMs(flooder);
    const WindowRun run = throughWindow(flooder);
    null_ms.push_back(baseline);
    window_ms.push_back(run.consumed_ms);
    stall_ms.push_back(run.max_stall_ms);
    std::printf("run %d: /dev/null %.1f ms | window %.1f ms, longest stall %.1f ms\n", i + 1, baseline, run.consumed_ms,
                run.max_stall_ms);
  }
  std::printf(
      "%d lines (median of %d): /dev/null %.1f ms, window %.1f ms, ratio %.2f; longest stall %.1f ms (worst %.1f)\n",
      lines, runs, median(null_ms), median(window_ms), median(window_ms) / median(null_ms), median(stall_ms),
      *std::max_element(stall_ms.begin(), stall_ms.end()));
  return 0;
}
