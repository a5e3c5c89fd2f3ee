// The Wi-Fi list as the user sees it: a full-screen Networking panel (the update program's, without
// the Advanced button) at the device's size, its list in the panel's scroll view.
//
// - A scan reaching the panel: from the manager's refreshSignal to the panel refreshed, laid out,
//   painted in full and flushed to the screen. The first scan after the page opens (a new panel,
//   names never seen before) and later scans on a panel that has its rows: every row changed (new
//   strengths, new order), every name new (the car has moved on) and nothing changed. Beside them, in the same rounds,
//   a full repaint of the same panel with no scan: the floor that painting the screen sets. After a first scan, the
//   rows that it left to be built between events: how long until all are there, and the longest event.
// - A finger flinging the list: touch drags on the list, each released at speed so the kinetic
//   scroller coasts on, and the GUI thread's time per frame while the list moves.
//
// Each figure is the GUI thread's CPU time (other processes on a busy machine do not count) and,
// beside it, the wall time.
//
// Usage: bench_wifi_list [ROUNDS] [NETWORKS] [FLINGS]   (defaults 30, 100 and 10)
// Run it on a private device-sized screen and system bus, with the simulator's Wi-Fi device left
// out so that no real scan lands between the timed ones (the table is the benchmark's):
//   tests/fixtures/xvfb.sh tests/fixtures/system_bus.sh --nm-simulator
//     build/tools/nm_simulator/nm_simulator --no-wifi -- build/bench/networking/bench_wifi_list
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollArea>
#include <QScroller>
#include <QtTest>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "tests/ui/qt/device_root_guard.h"
#include "ui/qt/network/networking.h"

namespace {

constexpr QSize kScreen(2160, 1080);

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(p * v.size()))];
}

double maximum(const std::vector<double> &v) {
  return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

double threadCpuMs() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// CPU and wall time of one stretch of work.
class Stopwatch {
public:
  Stopwatch() : cpu_start(threadCpuMs()) { wall.start(); }
  double cpuMs() const { return threadCpuMs() - cpu_start; }
  double wallMs() const { return wall.nsecsElapsed() / 1e6; }

private:
  double cpu_start;
  QElapsedTimer wall;
};

struct Cost {
  double cpu_ms;
  double wall_ms;
};

// Counts the GUI thread's CPU time in event handling: the longest single event, and frames, each
// frame closed when the watched window is repainted and holding all the work since the last one.
class EventClockApp : public QApplication {
public:
  using QApplication::QApplication;

  bool notify(QObject *receiver, QEvent *event) override {
    if (depth++ > 0) {
      const bool handled = QApplication::notify(receiver, event);
      --depth;
      return handled;
    }
    const Stopwatch stopwatch;
    const bool handled = QApplication::notify(receiver, event);
    --depth;
    const double spent = stopwatch.cpuMs();
    busy_ms += spent;
    longest_ms = std::max(longest_ms, spent);
    if (watched != nullptr && receiver == watched && event->type() == QEvent::UpdateRequest) {
      frames.push_back(busy_ms);
      busy_ms = 0;
    }
    return handled;
  }

  // From now on; `window` (may be null) closes the frames.
  void startCounting(QWidget *window) {
    watched = window;
    frames.clear();
    busy_ms = 0;
    longest_ms = 0;
  }
  void stopCounting() { watched = nullptr; }

  std::vector<double> frames;
  double longest_ms = 0;

private:
  QWidget *watched = nullptr;
  int depth = 0;
  double busy_ms = 0;
};

// A table of `count` networks named `name` and a number, with fresh strengths, one connected and a few
// saved ones.
void fillTable(WifiManager *wifi, const QByteArray &name, int count, std::mt19937 *random) {
  std::uniform_int_distribution<unsigned int> strength(0, 100);
  wifi->seenNetworks.clear();
  wifi->knownConnections.clear();
  for (int i = 0; i < count; ++i) {
    const QByteArray ssid = name + " " + QByteArray::number(i);
    const SecurityType security = i % 7 == 0   ? SecurityType::UNSUPPORTED
                                  : i % 3 == 0 ? SecurityType::OPEN
                                               : SecurityType::WPA;
    const ConnectedType connected = i == 5 ? ConnectedType::CONNECTED : ConnectedType::DISCONNECTED;
    wifi->seenNetworks.insert(ssidText(ssid), {ssid, strength(*random), connected, security});
    if (i % 10 == 5) {
      wifi->knownConnections.insert(QDBusObjectPath("/saved/" + QString::number(i)), ssidText(ssid));
    }
  }
}

// Layouts hand their sizes down one level per pass.
void settleLayouts() {
  for (int i = 0; i < 10; ++i) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  }
}

// From the refresh signal to the panel laid out, painted and on the screen.
Cost timedScan(Networking *panel) {
  const Stopwatch stopwatch;
  emit panel->wifi->refreshSignal();
  settleLayouts();
  panel->repaint();
  return {stopwatch.cpuMs(), stopwatch.wallMs()};
}

// One function, kept whole, per kind of scan, so that an instruction profile (valgrind's callgrind) can tell
// them apart.
[[gnu::noipa]] Cost firstScan(Networking *panel) {
  return timedScan(panel);
}
[[gnu::noipa]] Cost scanWithEveryRowChanged(Networking *panel) {
  return timedScan(panel);
}
[[gnu::noipa]] Cost scanWithEveryNameNew(Networking *panel) {
  return timedScan(panel);
}
[[gnu::noipa]] Cost scanWithNothingChanged(Networking *panel) {
  return timedScan(panel);
}

[[gnu::noipa]] Cost timedRepaint(Networking *panel) {
  const Stopwatch stopwatch;
  panel->repaint();
  return {stopwatch.cpuMs(), stopwatch.wallMs()};
}

int rowsBuilt(const Networking &panel) {
  return panel.findChildren<WifiItem *>().size();
}

// Runs the event loop until the panel has `rows` rows.
[[gnu::noipa]] Cost buildRemainingRows(const Networking &panel, int rows) {
  const Stopwatch stopwatch;
  while (rowsBuilt(panel) < rows && stopwatch.wallMs() < 10000) {
    QCoreApplication::processEvents();
  }
  return {stopwatch.cpuMs(), stopwatch.wallMs()};
}

std::unique_ptr<Networking> shownPanel() {
  auto panel = std::make_unique<Networking>(nullptr, false);
  panel->setFixedSize(kScreen);
  panel->show();
  if (!QTest::qWaitForWindowExposed(panel.get())) {
    return nullptr;
  }
  QTest::qWait(50);
  return panel;
}

QScrollArea *listView(const Networking &panel) {
  for (QScrollArea *area : panel.findChildren<QScrollArea *>()) {
    if (area->widget() != nullptr && area->widget()->objectName() == QLatin1String("wifiWidget")) {
      return area;
    }
  }
  return nullptr;
}

// One finger stroke up the list, released while still moving so the list coasts on.
void fling(QWidget *window, QTouchDevice *finger, QPoint from, int distance) {
  constexpr int kSteps = 12;
  QPoint at = from;
  QTest::touchEvent(window, finger).press(0, at, window);
  for (int i = 0; i < kSteps; ++i) {
    QTest::qWait(8);
    at.ry() -= distance / kSteps;
    QTest::touchEvent(window, finger).move(0, at, window);
  }
  QTest::touchEvent(window, finger).release(0, at, window);
}

bool comesToRest(const QScroller *scroller) {
  if (QTest::qWaitFor([&] { return scroller->state() == QScroller::Inactive; }, 10000)) {
    return true;
  }
  std::fprintf(stderr, "the list never came to rest\n");
  return false;
}

[[gnu::noipa]] bool flingAndCoast(QWidget *window, QTouchDevice *finger, QPoint from, const QScroller *scroller) {
  fling(window, finger, from, 600);
  return comesToRest(scroller);
}

void report(const char *name, const std::vector<Cost> &costs) {
  std::vector<double> cpu, wall;
  for (const Cost &c : costs) {
    cpu.push_back(c.cpu_ms);
    wall.push_back(c.wall_ms);
  }
  std::printf("%-34s cpu median %7.3f ms (max %7.3f)   wall median %7.3f ms (max %7.3f)\n", name, median(cpu),
              maximum(cpu), median(wall), maximum(wall));
}

double medianCpu(const std::vector<Cost> &costs) {
  std::vector<double> cpu;
  for (const Cost &c : costs) {
    cpu.push_back(c.cpu_ms);
  }
  return median(cpu);
}

}  // namespace

int main(int argc, char *argv[]) {
  // The panel opens the parameter store at the device's path.
  if (!runInDeviceRoot(DEVICE_ROOT, argv)) {
    return 1;
  }
  EventClockApp app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 30;
  const int networks = argc > 2 ? std::max(1, atoi(argv[2])) : 100;
  const int flings = argc > 3 ? std::max(1, atoi(argv[3])) : 10;
  std::mt19937 random(7);

  std::unique_ptr<Networking> later = shownPanel();
  if (!later) {
    std::fprintf(stderr, "the panel was never shown\n");
    return 1;
  }
  fillTable(later->wifi, "Network", networks, &random);
  timedScan(later.get());
  buildRemainingRows(*later, networks);
  // A panel with all its rows whose every scan brings names it has never shown.
  std::unique_ptr<Networking> elsewhere = shownPanel();
  fillTable(elsewhere->wifi, "Place network", networks, &random);
  timedScan(elsewhere.get());
  buildRemainingRows(*elsewhere, networks);

  std::vector<Cost> first, built, changed, renamed, unchanged, repaint;
  std::vector<double> longest_event;
  for (int round = 0; round < rounds; ++round) {
    {
      std::unique_ptr<Networking> fresh = shownPanel();
      // Names never shown before, as on a first scan.
      fillTable(fresh->wifi, "Round " + QByteArray::number(round) + " network", networks, &random);
      first.push_back(firstScan(fresh.get()));
      app.startCounting(nullptr);
      built.push_back(buildRemainingRows(*fresh, networks));
      app.stopCounting();
      longest_event.push_back(app.longest_ms);
      if (rowsBuilt(*fresh) < networks) {
        std::fprintf(stderr, "the rows were never all built\n");
        return 1;
      }
    }
    QApplication::processEvents();

    fillTable(later->wifi, "Network", networks, &random);
    changed.push_back(scanWithEveryRowChanged(later.get()));
    QApplication::processEvents();
    fillTable(elsewhere->wifi, "Place " + QByteArray::number(round) + " network", networks, &random);
    renamed.push_back(scanWithEveryNameNew(elsewhere.get()));
    QApplication::processEvents();
    unchanged.push_back(scanWithNothingChanged(later.get()));
    QApplication::processEvents();
    repaint.push_back(timedRepaint(later.get()));
    QApplication::processEvents();
  }

  std::printf("%d networks, %d rounds, %dx%d, platform %s\n", networks, rounds, kScreen.width(), kScreen.height(),
              qPrintable(QApplication::platformName()));
  report("first scan", first);
  report("  then the rows left to build", built);
  std::printf("  %-32s cpu median %7.3f ms (max %7.3f)\n", "longest event while they build", median(longest_event),
              maximum(longest_event));
  report("later scan, every row changed", changed);
  report("later scan, every name new", renamed);
  report("later scan, nothing changed", unchanged);
  report("baseline: full repaint, no scan", repaint);
  std::printf(
      "cpu medians against the repaint: first scan %.2f, every row changed %.2f, every name new %.2f, nothing "
      "changed %.2f\n",
      medianCpu(first) / medianCpu(repaint), medianCpu(changed) / medianCpu(repaint),
      medianCpu(renamed) / medianCpu(repaint), medianCpu(unchanged) / medianCpu(repaint));

  QScrollArea *view = listView(*later);
  QScroller *scroller = QScroller::scroller(view->viewport());
  QTouchDevice *finger = QTest::createTouchDevice();
  const QPoint start = view->viewport()->mapTo(later.get(), QPoint(view->viewport()->width() / 2, 900));
  std::vector<double> frames;
  for (int i = 0; i < flings; ++i) {
    scroller->scrollTo(QPointF(0, 0), 0);
    if (!comesToRest(scroller)) {
      return 1;
    }
    QTest::qWait(50);
    app.startCounting(later.get());
    const bool rested = flingAndCoast(later.get(), finger, start, scroller);
    app.stopCounting();
    if (!rested) {
      return 1;
    }
    frames.insert(frames.end(), app.frames.begin(), app.frames.end());
  }
  std::printf("fling, %d flings, %zu frames: cpu per frame median %.3f ms, p99 %.3f ms, max %.3f ms\n", flings,
              frames.size(), median(frames), percentile(frames, 0.99), maximum(frames));
  return 0;
}
