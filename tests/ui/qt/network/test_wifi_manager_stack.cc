// WifiManager on a whole Wi-Fi stack: the real NetworkManager, wpa_supplicant and hostapd on
// simulated radios (inside tests/fixtures/wifi_vm.sh), and the same cases against the simulator
// with the same networks (tests/fixtures/wifi_vm_networks.json), so the two cannot drift apart.

#include <QDBusConnection>
#include <QDBusReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include "tests/ui/qt/network/nm_fixture.h"
#include "ui/qt/network/wifi_manager.h"

Q_DECLARE_METATYPE(SecurityType)

namespace {

// A join under emulation takes 4-17 s; a loaded machine can double that.
constexpr int kJoinMs = 90000;
constexpr int kScanMs = 60000;

constexpr unsigned int kDeviceWifi = 2;
constexpr unsigned int kStateDisconnected = 30;
constexpr unsigned int kStateNeedAuth = 60;
constexpr unsigned int kStateActivated = 100;
constexpr unsigned int kStateFailed = 120;

const QString kHome = QStringLiteral("Fernhill Home");
const QString kHomeKey = QStringLiteral("fernhill-home");
const QString kCafe = QStringLiteral("Harbour Cafe");
const QString kAttic = QStringLiteral("Attic");
const QString kAtticKey = QStringLiteral("hidden-attic");
const QString kTwin = QStringLiteral("Workshop 5G");
const QString kNeighbour = QStringLiteral("Neighbour's Wi-Fi");
const QString kHotspot = QStringLiteral("vireda");

QString wifiDevice() {
  return nmraw::deviceOfType(kDeviceWifi);
}

unsigned int deviceState() {
  return nmraw::property(wifiDevice(), NM_DBUS_INTERFACE_DEVICE, QStringLiteral("State")).toUInt();
}

struct AccessPoint {
  QByteArray ssid;
  unsigned int strength;
};

QList<AccessPoint> accessPoints() {
  const QDBusReply<QList<QDBusObjectPath>> paths =
      nmraw::call(wifiDevice(), NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("GetAllAccessPoints"));
  QList<AccessPoint> found;
  for (const QDBusObjectPath &path : paths.value()) {
    found << AccessPoint{
        nmraw::property(path.path(), NM_DBUS_INTERFACE_ACCESS_POINT, QStringLiteral("Ssid")).toByteArray(),
        nmraw::property(path.path(), NM_DBUS_INTERFACE_ACCESS_POINT, QStringLiteral("Strength")).toUInt()};
  }
  return found;
}

QList<unsigned int> strengthsOf(const QString &ssid) {
  QList<unsigned int> strengths;
  for (const AccessPoint &ap : accessPoints()) {
    if (ap.ssid == ssid.toUtf8()) {
      strengths << ap.strength;
    }
  }
  return strengths;
}

bool hiddenAccessPointListed() {
  for (const AccessPoint &ap : accessPoints()) {
    if (ap.ssid.isEmpty()) {
      return true;
    }
  }
  return false;
}

// The SSID of the access point the device uses now; empty when none.
QString activeSsid() {
  const QString ap =
      nmraw::property(wifiDevice(), NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("ActiveAccessPoint"))
          .value<QDBusObjectPath>()
          .path();
  if (emptyPath(ap)) {
    return {};
  }
  return QString::fromUtf8(nmraw::property(ap, NM_DBUS_INTERFACE_ACCESS_POINT, QStringLiteral("Ssid")).toByteArray());
}

QList<QDBusObjectPath> wifiProfiles() {
  QList<QDBusObjectPath> found;
  for (const QDBusObjectPath &path : nmraw::listConnections()) {
    if (nmraw::settings(path).value(QStringLiteral("connection")).value(QStringLiteral("type")) ==
        QStringLiteral("802-11-wireless")) {
      found << path;
    }
  }
  return found;
}

ConnectedType stateIn(const WifiManager &wm, const QString &ssid) {
  return wm.seenNetworks.value(ssid, Network{{}, 0, ConnectedType::DISCONNECTED, SecurityType::OPEN}).connected;
}

QStringList listOrder(const WifiManager &wm) {
  QList<Network> networks = wm.seenNetworks.values();
  std::sort(networks.begin(), networks.end(), compare_by_strength);
  QStringList names;
  for (const Network &n : networks) {
    names << ssidText(n.ssid);
  }
  return names;
}

}  // namespace

// Records the Wi-Fi device's StateChanged signals: (new state, old state, reason).
class DeviceStates : public QObject {
  Q_OBJECT

public:
  explicit DeviceStates(const QString &device) {
    QDBusConnection::systemBus().connect(NM_DBUS_SERVICE, device, NM_DBUS_INTERFACE_DEVICE,
                                         QStringLiteral("StateChanged"), this,
                                         SLOT(changed(unsigned int, unsigned int, unsigned int)));
  }

  QList<QList<unsigned int>> seen;

  bool reached(unsigned int state, unsigned int reason) const {
    return seen.contains(QList<unsigned int>{state, reason});
  }
  // The last state is `state`, reached after `after`.
  bool endedIn(unsigned int state, unsigned int after) const {
    int at = -1;
    for (int i = 0; i < seen.size(); ++i) {
      at = seen[i].first() == after ? i : at;
    }
    return at >= 0 && !seen.isEmpty() && seen.last().first() == state;
  }
  QString text() const {
    QStringList steps;
    for (const auto &s : seen) {
      steps << QStringLiteral("%1/%2").arg(s.first()).arg(s.last());
    }
    return steps.join(QStringLiteral(" "));
  }

public slots:
  void changed(unsigned int new_state, unsigned int old_state, unsigned int reason) {
    Q_UNUSED(old_state);
    seen << QList<unsigned int>{new_state, reason};
  }
};

class tst_WifiManagerStack : public QObject {
  Q_OBJECT

private:
  QTemporaryDir scratch;

  // Started, with every network that the case needs in its table.
  bool scanned(WifiManager &wm, const QStringList &names) {
    wm.start();
    const auto all_seen = [&] {
      for (const QString &name : names) {
        if (!wm.seenNetworks.contains(name)) {
          return false;
        }
      }
      return true;
    };
    return QTest::qWaitFor(all_seen, kScanMs);
  }

private slots:
  void initTestCase() {
    QVERIFY(scratch.isValid());
    qputenv("PARAMS_ROOT", scratch.filePath(QStringLiteral("params")).toUtf8());
    qputenv("HALCYRA_PREFIX", QByteArray("real-stack-") + QByteArray::number(QCoreApplication::applicationPid()));
    // The hotspot turns IP forwarding off through sudo: a stand-in records it.
    qputenv("PATH", qgetenv("FAKE_SUDO_DIR") + ":" + qgetenv("PATH"));
    qputenv("FAKE_SUDO_LOG", scratch.filePath(QStringLiteral("sudo.log")).toUtf8());
    nm::registerTypes();
    QVERIFY2(!wifiDevice().isEmpty(), "no Wi-Fi device on the system bus");
  }

  // Every case starts on a disconnected device without saved Wi-Fi profiles.
  void cleanup() {
    for (const QDBusObjectPath &path : wifiProfiles()) {
      nmraw::deleteConnection(path);
    }
    QTRY_COMPARE_WITH_TIMEOUT(deviceState(), kStateDisconnected, kJoinMs);
  }

  void listAfterScan() {
    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kHome, kCafe, kTwin, kNeighbour}));

    const QList<QPair<QString, SecurityType>> expected = {{kHome, SecurityType::WPA},
                                                          {kCafe, SecurityType::OPEN},
                                                          {kTwin, SecurityType::WPA},
                                                          {kNeighbour, SecurityType::WPA}};
    for (const auto &[name, security] : expected) {
      QCOMPARE(wm.seenNetworks.value(name).security_type, security);
      QCOMPARE(wm.seenNetworks.value(name).connected, ConnectedType::DISCONNECTED);
    }

    // The hidden network is scanned without its name and not listed.
    QTRY_VERIFY_WITH_TIMEOUT(hiddenAccessPointListed(), kScanMs);
    QVERIFY(!wm.seenNetworks.contains(kAttic));
    QVERIFY(!wm.seenNetworks.contains(QString()));

    // The name on two radios is one entry with the better strength.
    QTRY_COMPARE_WITH_TIMEOUT(strengthsOf(kTwin).size(), 2, kScanMs);
    const QList<unsigned int> twins = strengthsOf(kTwin);
    QVERIFY2(twins.first() != twins.last(), "the weak radio should be received weaker");
    QTRY_COMPARE_WITH_TIMEOUT(wm.seenNetworks.value(kTwin).strength, std::max(twins.first(), twins.last()), kScanMs);

    // Every radio is received at level 3 (the simulated ones go no lower than 83), so the list
    // order is by name.
    QCOMPARE(listOrder(wm), (QStringList{kHome, kCafe, kNeighbour, kTwin}));
  }

  void wrongKeyThenRightKey() {
    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kHome}));
    DeviceStates states(wifiDevice());
    QSignalSpy wrong(&wm, &WifiManager::wrongPassword);

    wm.connect(wm.seenNetworks.value(kHome), false, QStringLiteral("not-the-key"));
    QTRY_COMPARE_WITH_TIMEOUT(wrong.count(), 1, kJoinMs);
    QCOMPARE(wrong.first().first().toString(), kHome);
    // The attempt ends with the device disconnected, and is reported once, although the
    // activation also asked for the saved key (NEED_AUTH, reason 0) on the way.
    QTRY_VERIFY2_WITH_TIMEOUT(states.endedIn(kStateDisconnected, kStateFailed), qPrintable(states.text()), kJoinMs);
    QVERIFY2(states.reached(kStateNeedAuth, 0), qPrintable(states.text()));
    QCOMPARE(wrong.count(), 1);
    QTRY_VERIFY(!wm.isKnownConnection(kHome));
    QVERIFY(nmraw::connectionsWithSsid(kHome.toUtf8()).isEmpty());
    // Still listed (a refresh that a slow daemon fails can empty the table until the next one).
    QTRY_VERIFY_WITH_TIMEOUT(wm.seenNetworks.contains(kHome), kScanMs);

    states.seen.clear();
    wm.connect(wm.seenNetworks.value(kHome), false, kHomeKey);
    QTRY_COMPARE_WITH_TIMEOUT(stateIn(wm, kHome), ConnectedType::CONNECTED, kJoinMs);
    QVERIFY2(states.reached(kStateActivated, 0), qPrintable(states.text()));
    QCOMPARE(wrong.count(), 1);
    QCOMPARE(activeSsid(), kHome);
    QTRY_VERIFY_WITH_TIMEOUT(!wm.ipv4_address.isEmpty(), kScanMs);
    QCOMPARE(listOrder(wm).first(), kHome);
  }

  void openNetworkJoins() {
    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kCafe}));
    DeviceStates states(wifiDevice());
    QSignalSpy wrong(&wm, &WifiManager::wrongPassword);

    wm.connect(wm.seenNetworks.value(kCafe));
    QTRY_COMPARE_WITH_TIMEOUT(stateIn(wm, kCafe), ConnectedType::CONNECTED, kJoinMs);
    QCOMPARE(activeSsid(), kCafe);
    QTRY_VERIFY_WITH_TIMEOUT(!wm.ipv4_address.isEmpty(), kScanMs);
    QCOMPARE(wrong.count(), 0);
    // An open network never asks for a key.
    QVERIFY2(!states.reached(kStateNeedAuth, 0), qPrintable(states.text()));
  }

  void knownNetworkActivatedWithItsSavedKey() {
    Connection saved;
    saved["connection"] = {{"id", "saved earlier"},
                           {"type", "802-11-wireless"},
                           {"uuid", QUuid::createUuid().toString(QUuid::WithoutBraces)},
                           {"autoconnect", false}};
    saved["802-11-wireless"] = {{"ssid", kHome.toUtf8()}, {"mode", "infrastructure"}};
    saved["802-11-wireless-security"] = {{"key-mgmt", "wpa-psk"}, {"psk", kHomeKey}};
    QVERIFY(!nmraw::addConnection(saved).path().isEmpty());

    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kHome}));
    QVERIFY(wm.isKnownConnection(kHome));
    QSignalSpy wrong(&wm, &WifiManager::wrongPassword);

    QVERIFY(wm.activateWifiConnection(kHome).has_value());
    QTRY_COMPARE_WITH_TIMEOUT(stateIn(wm, kHome), ConnectedType::CONNECTED, kJoinMs);
    QCOMPARE(wrong.count(), 0);
    QCOMPARE(wifiProfiles().size(), 1);
  }

  void hiddenNetworkAsTheAdvancedPageJoinsIt() {
    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kHome}));
    QVERIFY(!wm.seenNetworks.contains(kAttic));

    wm.connect(Network{kAttic.toUtf8(), 0, ConnectedType::DISCONNECTED, SecurityType::WPA}, true, kAtticKey);
    QTRY_COMPARE_WITH_TIMEOUT(activeSsid(), kAttic, kJoinMs);
    QTRY_COMPARE_WITH_TIMEOUT(deviceState(), kStateActivated, kJoinMs);
    QTRY_COMPARE_WITH_TIMEOUT(stateIn(wm, kAttic), ConnectedType::CONNECTED, kScanMs);
    QTRY_VERIFY_WITH_TIMEOUT(!wm.ipv4_address.isEmpty(), kScanMs);
  }

  void keyTheDaemonRefuses_data() {
    QTest::addColumn<QString>("ssid");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("hidden network, as the advanced page joins it") << kAttic << true;
    QTest::newRow("listed network") << kHome << false;
  }

  void keyTheDaemonRefuses() {
    QFETCH(QString, ssid);
    QFETCH(bool, hidden);
    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kHome}));
    QSignalSpy wrong(&wm, &WifiManager::wrongPassword);

    // Fewer than 8 characters: the daemon saves no profile.
    wm.connect(Network{ssid.toUtf8(), 0, ConnectedType::DISCONNECTED, SecurityType::WPA}, hidden,
               QStringLiteral("short"));
    QCOMPARE(wrong.count(), 1);
    QCOMPARE(wrong.first().first().toString(), ssid);
    QVERIFY(wifiProfiles().isEmpty());
    for (const Network &n : wm.seenNetworks) {
      QVERIFY2(n.connected != ConnectedType::CONNECTING, n.ssid.constData());
    }
  }

  void forgetLeavesTheNetwork() {
    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kCafe}));
    wm.connect(wm.seenNetworks.value(kCafe));
    QTRY_COMPARE_WITH_TIMEOUT(stateIn(wm, kCafe), ConnectedType::CONNECTED, kJoinMs);

    wm.forgetConnection(kCafe);
    QTRY_VERIFY(!wm.isKnownConnection(kCafe));
    QVERIFY(nmraw::connectionsWithSsid(kCafe.toUtf8()).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(deviceState(), kStateDisconnected, kJoinMs);
    QTRY_COMPARE_WITH_TIMEOUT(stateIn(wm, kCafe), ConnectedType::DISCONNECTED, kScanMs);
    QTRY_VERIFY_WITH_TIMEOUT(wm.ipv4_address.isEmpty(), kScanMs);
  }

  void hotspotOnRescanOff() {
    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kHome}));

    wm.setTetheringEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(wm.isTetheringEnabled(), kJoinMs);
    QTRY_COMPARE_WITH_TIMEOUT(deviceState(), kStateActivated, kJoinMs);
    QCOMPARE(activeSsid(), kHotspot);
    QTRY_COMPARE_WITH_TIMEOUT(wm.ipv4_address, QStringLiteral("192.168.43.1"), kScanMs);
    QTRY_VERIFY_WITH_TIMEOUT(QFile(qEnvironmentVariable("FAKE_SUDO_LOG")).exists(), kScanMs);

    // Scans go on while the device serves its hotspot: the networks around come back to the list.
    QTRY_VERIFY_WITH_TIMEOUT(wm.seenNetworks.contains(kHome) && wm.seenNetworks.contains(kCafe), kScanMs);
    QVERIFY(wm.isTetheringEnabled());
    // The device's own hotspot is not a network to join.
    QVERIFY(!wm.seenNetworks.contains(kHotspot));

    wm.setTetheringEnabled(false);
    QTRY_VERIFY_WITH_TIMEOUT(!wm.isTetheringEnabled(), kJoinMs);
    QTRY_COMPARE_WITH_TIMEOUT(deviceState(), kStateDisconnected, kJoinMs);
  }
};

QTEST_GUILESS_MAIN(tst_WifiManagerStack)
#include "test_wifi_manager_stack.moc"
