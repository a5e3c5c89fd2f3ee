// WifiUI::refresh with 100 networks: the first refresh of a new list, which creates every row,
// against a refresh of a list that already has its rows and only reuses them, alternated in
// one process. Each refresh sees the table in a new order, so every row changes.
// Figures: the refresh call alone, and the call plus the layout and paint that it causes.
//
// Usage: bench_wifi_list [ROUNDS] [NETWORKS]   (defaults 30 and 100)
// Run on a private system bus so the manager's start-up calls are answered, e.g.
//   tests/fixtures/system_bus.sh --nm-simulator build/tools/nm_simulator/nm_simulator --
//     build/bench/networking/bench_wifi_list        (one command line)
// The platform comes from QT_QPA_PLATFORM (offscreen, or an X screen of the device's size).
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "ui/qt/network/networking.h"

namespace {

struct Timing {
  double refresh_ms;
  double drawn_ms;
};

// A table of `count` networks, their strengths drawn anew each time.
void fillTable(WifiManager *wifi, int count, std::mt19937 *random) {
  std::uniform_int_distribution<unsigned int> strength(0, 100);
  wifi->seenNetworks.clear();
  for (int i = 0; i < count; ++i) {
    const QByteArray ssid = "Network " + QByteArray::number(i);
    const SecurityType security = i % 7 == 0   ? SecurityType::UNSUPPORTED
                                  : i % 3 == 0 ? SecurityType::OPEN
                                               : SecurityType::WPA;
    wifi->seenNetworks.insert(ssidText(ssid), {ssid, strength(*random), ConnectedType::DISCONNECTED, security});
  }
}

Timing timedRefresh(WifiUI *list) {
  QElapsedTimer clock;
  clock.start();
  list->refresh();
  const qint64 refreshed = clock.nsecsElapsed();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  list->repaint();
  return {refreshed / 1e6, clock.nsecsElapsed() / 1e6};
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void report(const char *name, const std::vector<Timing> &timings) {
  std::vector<double> refresh, drawn;
  for (const Timing &t : timings) {
    refresh.push_back(t.refresh_ms);
    drawn.push_back(t.drawn_ms);
  }
  std::printf("%-28s refresh median %7.3f ms (min %7.3f, max %7.3f)   refresh+draw median %7.3f ms\n", name,
              median(refresh), *std::min_element(refresh.begin(), refresh.end()),
              *std::max_element(refresh.begin(), refresh.end()), median(drawn));
}

QtMessageHandler previous_handler = nullptr;

// The offscreen platform warns each time a row that was made without a parent gets one.
void quietPlatform(QtMsgType type, const QMessageLogContext &context, const QString &message) {
  if (!message.contains(QLatin1String("propagateSizeHints"))) {
    previous_handler(type, context, message);
  }
}

}  // namespace

int main(int argc, char *argv[]) {
  previous_handler = qInstallMessageHandler(quietPlatform);
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 30;
  const int networks = argc > 2 ? std::max(1, atoi(argv[2])) : 100;

  WifiManager wifi(nullptr);
  std::mt19937 random(7);

  WifiUI reused(nullptr, &wifi);
  reused.resize(2160, 1080);
  reused.show();
  fillTable(&wifi, networks, &random);
  reused.refresh();
  QApplication::processEvents();

  std::vector<Timing> first_builds, reuses;
  for (int round = 0; round < rounds; ++round) {
    fillTable(&wifi, networks, &random);
    {
      WifiUI fresh(nullptr, &wifi);
      fresh.resize(2160, 1080);
      fresh.show();
      QApplication::processEvents();
      first_builds.push_back(timedRefresh(&fresh));
    }
    QApplication::processEvents();

    fillTable(&wifi, networks, &random);
    reuses.push_back(timedRefresh(&reused));
    QApplication::processEvents();
  }

  std::printf("%d networks, %d rounds, platform %s\n", networks, rounds, qPrintable(QApplication::platformName()));
  report("first refresh (new rows)", first_builds);
  report("refresh reusing the rows", reuses);
  const auto ratio = [&](auto field) {
    std::vector<double> a, b;
    for (int i = 0; i < rounds; ++i) {
      a.push_back(reuses[i].*field);
      b.push_back(first_builds[i].*field);
    }
    return median(a) / median(b);
  };
  std::printf("reuse / first: refresh %.3f, refresh+draw %.3f\n", ratio(&Timing::refresh_ms), ratio(&Timing::drawn_ms));
  return 0;
}
