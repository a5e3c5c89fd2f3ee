// Time spent on the GUI thread by the NetworkManager client, each figure next to a
// baseline of raw QtDBus round trips to the same simulator, measured interleaved in
// the same run; last, what a stall of the daemon costs a refresh. Run on a private system bus:
//   tests/fixtures/system_bus.sh build/bench/network/bench_wifi_manager

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QElapsedTimer>

#include "tests/fixtures/nm_raw.h"
#include "tests/fixtures/nm_simulator.h"
#include "ui/qt/network/wifi_manager.h"

namespace {

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

template <typename F>
double timeUs(F &&work) {
  QElapsedTimer timer;
  timer.start();
  work();
  return timer.nsecsElapsed() / 1000.0;
}

QDBusMessage propertyGet(const QString &path, const QString &interface, const QString &name) {
  QDBusMessage message = QDBusMessage::createMethodCall(NM_DBUS_SERVICE, path, NM_DBUS_INTERFACE_PROPERTIES, "Get");
  message.setArguments({interface, name});
  return message;
}

void benchSingleCall(const QString &device) {
  const QDBusMessage raw = propertyGet(device, NM_DBUS_INTERFACE_DEVICE, "DeviceType");
  QDBusConnection bus = QDBusConnection::systemBus();
  std::vector<double> layer_us, raw_us;
  for (int i = 0; i < 3000; ++i) {
    layer_us.push_back(timeUs([&] {
      call<unsigned int>(device, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("Get"), NM_DBUS_INTERFACE_DEVICE,
                         QStringLiteral("DeviceType"));
    }));
    raw_us.push_back(timeUs([&] { bus.call(raw, QDBus::Block, 100); }));
  }
  const double layer = median(layer_us), baseline = median(raw_us);
  printf("one synchronous call: layer %.1f us, raw QDBusConnection::call %.1f us, ratio %.2f\n", layer, baseline,
         layer / baseline);
}

// The blocked time of one refreshFinished, with the access point list already received.
double refreshFinishedUs(WifiManager &wm, const QString &device) {
  auto *watcher = new QDBusPendingCallWatcher(
      asyncCall(device, NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("GetAllAccessPoints")));
  watcher->waitForFinished();
  const double us = timeUs([&] {
    QMetaObject::invokeMethod(&wm, "refreshFinished", Qt::DirectConnection, Q_ARG(QDBusPendingCallWatcher *, watcher));
  });
  QCoreApplication::processEvents();  // deletes the watcher
  return us;
}

double rawRoundTripsUs(const QList<QDBusObjectPath> &access_points) {
  QDBusConnection bus = QDBusConnection::systemBus();
  return timeUs([&] {
    for (const QDBusObjectPath &ap : access_points) {
      QDBusMessage message = QDBusMessage::createMethodCall(NM_DBUS_SERVICE, ap.path(), NM_DBUS_INTERFACE_PROPERTIES,
                                                            QStringLiteral("GetAll"));
      message.setArguments({NM_DBUS_INTERFACE_ACCESS_POINT});
      bus.call(message, QDBus::Block, 100);
    }
  });
}

void benchRefresh(NmSimulator &sim, const QString &device) {
  WifiManager wm(nullptr);
  wm.start();
  int count = 0;
  for (const int target : {10, 100, 300}) {
    for (; count < target; ++count) {
      sim.addAccessPoint("Net-" + QByteArray::number(count), count % 101,
                         count % 2 ? NM::Security::Wpa2Psk : NM::Security::Open);
    }
    const QDBusReply<QList<QDBusObjectPath>> aps =
        nmraw::call(device, NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("GetAllAccessPoints"));
    std::vector<double> refresh_us, raw_us;
    for (int i = 0; i < 40; ++i) {
      refresh_us.push_back(refreshFinishedUs(wm, device));
      raw_us.push_back(rawRoundTripsUs(aps.value()));
    }
    const double refresh = median(refresh_us), baseline = median(raw_us);
    printf(
        "refreshFinished with %3d access points: %.2f ms blocked, %d raw GetAll round trips %.2f ms, ratio %.2f"
        " (%d networks)\n",
        target, refresh / 1000, target, baseline / 1000, refresh / baseline, int(wm.seenNetworks.size()));
  }
}

// The access points answered and the time taken when they are asked one after another,
// each call bounded by 100 ms: the design whose stall losses the refresh must not exceed.
std::pair<int, double> oneAfterAnother(const QList<QDBusObjectPath> &access_points) {
  QDBusConnection bus = QDBusConnection::systemBus();
  int answered = 0;
  const double us = timeUs([&] {
    for (const QDBusObjectPath &ap : access_points) {
      QDBusMessage message = QDBusMessage::createMethodCall(NM_DBUS_SERVICE, ap.path(), NM_DBUS_INTERFACE_PROPERTIES,
                                                            QStringLiteral("GetAll"));
      message.setArguments({NM_DBUS_INTERFACE_ACCESS_POINT});
      answered += bus.call(message, QDBus::Block, 100).type() == QDBusMessage::ReplyMessage ? 1 : 0;
    }
  });
  return {answered, us};
}

// Returns once the simulator answers again.
void stallOver(const QString &device) {
  nmraw::property(device, NM_DBUS_INTERFACE_DEVICE, NM::Property::DeviceType);
}

// A refresh while the daemon stalls from the first access point asked on, next to the same
// access points asked one after another during the same stall.
void benchStall(NmSimulator &sim, const QString &device) {
  WifiManager wm(nullptr);  // not started: no refresh of its own runs in between
  const QDBusReply<QList<QDBusObjectPath>> aps =
      nmraw::call(device, NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("GetAllAccessPoints"));
  for (const int stall_ms : {150, 1000}) {
    sim.stall(QStringLiteral("GetAll"), stall_ms);
    const double refresh_us = refreshFinishedUs(wm, device);
    const int kept = int(wm.seenNetworks.size());
    stallOver(device);
    sim.stall(QStringLiteral("GetAll"), stall_ms);
    const auto [answered, baseline_us] = oneAfterAnother(aps.value());
    stallOver(device);
    printf(
        "refreshFinished with %d access points, %4d ms stall: %.0f ms blocked, %d networks kept;"
        " one call after another: %.0f ms, %d kept\n",
        int(aps.value().size()), stall_ms, refresh_us / 1000, kept, baseline_us / 1000, answered);
  }
}

}  // namespace

int main(int argc, char *argv[]) {
  QCoreApplication app(argc, argv);
  qputenv("NM_SIMULATOR", NM_SIMULATOR_PATH);
  NmSimulator sim;
  if (!sim.start()) {
    fprintf(stderr, "bench: the simulator did not start (is DBUS_SYSTEM_BUS_ADDRESS a private bus?)\n");
    return 1;
  }
  nm::registerTypes();
  const QString device = nmraw::deviceOfType(NM::DeviceType::Wifi);
  benchSingleCall(device);
  benchRefresh(sim, device);
  benchStall(sim, device);
  return 0;
}
