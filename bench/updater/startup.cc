// Time to first frame and peak RSS of the updater program against two baselines, all three run in
// turn under a private headless weston: a bare widgets window, and a window that shows what the
// program's first frame shows (same fonts, texts, libraries, start-up and placement) and nothing else,
// so that what it takes above the bare window is Qt's own. The first frame is the first buffer the
// client attaches to a surface and commits, as the Wayland client library's debug trace shows it.
//
//   bench_updater_startup [RUNS] [UPDATER]   (UPDATER: another build of the program; it re-runs itself
//                                            inside tests/fixtures/device_root.sh, as start-up writes the
//                                            backlight)

#include <algorithm>
#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "tests/ui/qt/device_root_guard.h"

namespace {

struct Sample {
  double first_frame_ms = -1;
  double peak_rss_mb = -1;
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? -1 : v[v.size() / 2];
}

// VmHWM: the largest resident set the process has had.
double peakRssMb(qint64 pid) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) {
    return -1;
  }
  for (const QByteArray &line : status.readAll().split('\n')) {
    if (line.startsWith("VmHWM:")) {
      return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
  }
  return -1;
}

Sample runOnce(const QString &program, const QStringList &args, const QProcessEnvironment &env) {
  Sample s;
  QProcess p;
  p.setProcessEnvironment(env);
  p.setProcessChannelMode(QProcess::SeparateChannels);
  p.setReadChannel(QProcess::StandardError);
  QElapsedTimer clock;
  clock.start();
  p.start(program, args);
  if (!p.waitForStarted()) {
    return s;
  }
  QByteArray trace;
  bool attached = false;
  while (s.first_frame_ms < 0 && p.waitForReadyRead(10000)) {
    trace += p.readAllStandardError();
    int from = 0;
    for (int nl; (nl = trace.indexOf('\n', from)) >= 0; from = nl + 1) {
      const QByteArray line = trace.mid(from, nl - from);
      if (line.contains("wl_surface@") && line.contains(".attach(wl_buffer@")) {
        attached = true;
      } else if (attached && line.contains("wl_surface@") && line.contains(".commit()")) {
        s.first_frame_ms = clock.nsecsElapsed() / 1e6;
        break;
      }
    }
    trace = trace.mid(from);
  }
  // Let start-up finish its late allocations before reading the peak.
  QThread::msleep(500);
  s.peak_rss_mb = peakRssMb(p.processId());
  p.terminate();  // SIGTERM, and only while it runs: a pid of 0 would signal the whole group
  if (!p.waitForFinished(5000)) {
    p.kill();
    p.waitForFinished();
  }
  return s;
}

}  // namespace

int main(int argc, char *argv[]) {
  if (!runInDeviceRoot(DEVICE_ROOT, argv)) {
    return 1;
  }
  QCoreApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

  QTemporaryDir runtime;
  QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const QString socket = QStringLiteral("bench-%1").arg(QCoreApplication::applicationPid());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
  env.remove(QStringLiteral("DISPLAY"));

  QProcess weston;
  weston.setProcessEnvironment(env);
  weston.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  weston.start(QStringLiteral("weston"),
               {QStringLiteral("--backend=headless-backend.so"), "--socket=" + socket, QStringLiteral("--width=2160"),
                QStringLiteral("--height=1080"), QStringLiteral("--use-pixman")});
  for (int i = 0; i < 100 && !QFile::exists(runtime.path() + QLatin1Char('/') + socket); ++i) {
    QThread::msleep(50);
  }

  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
  env.insert(QStringLiteral("WAYLAND_DISPLAY"), socket);
  env.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
  env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));

  struct Program {
    const char *name;
    QString path;
    QStringList args;
    std::vector<double> ms, mb;
  };
  Program programs[] = {
      {"updater",
       argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(UPDATER_EXE),
       {QStringLiteral("/bin/true"), QStringLiteral("m")},
       {},
       {}},
      {"same-libraries prompt", QStringLiteral(PROMPT_EXE), {}, {}, {}},
      {"bare window", QStringLiteral(BARE_EXE), {}, {}, {}},
  };
  for (int i = 0; i < runs; ++i) {
    std::printf("run %d:", i + 1);
    for (Program &p : programs) {
      const Sample sample = runOnce(p.path, p.args, env);
      p.ms.push_back(sample.first_frame_ms);
      p.mb.push_back(sample.peak_rss_mb);
      std::printf("  %s %.1f ms %.1f MB", p.name, sample.first_frame_ms, sample.peak_rss_mb);
    }
    std::printf("\n");
  }
  weston.terminate();
  weston.waitForFinished(5000);

  const Program &updater = programs[0], &prompt = programs[1], &bare = programs[2];
  std::printf("first frame (median of %d): updater %.1f ms, same-libraries prompt %.1f ms, bare window %.1f ms\n", runs,
              median(updater.ms), median(prompt.ms), median(bare.ms));
  std::printf("  ratios: updater/bare %.2f, updater/prompt %.2f, prompt/bare %.2f\n",
              median(updater.ms) / median(bare.ms), median(updater.ms) / median(prompt.ms),
              median(prompt.ms) / median(bare.ms));
  std::printf("peak RSS    (median of %d): updater %.1f MB, same-libraries prompt %.1f MB, bare window %.1f MB\n", runs,
              median(updater.mb), median(prompt.mb), median(bare.mb));
  return 0;
}
