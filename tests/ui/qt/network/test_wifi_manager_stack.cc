// WifiManager on a whole Wi-Fi stack: the real NetworkManager, wpa_supplicant and hostapd on
// simulated radios (inside tests/fixtures/wifi_vm.sh), and the same cases against the simulator
// with the same networks (tests/fixtures/wifi_vm_networks.json), so the two cannot drift apart.

#include <algorithm>
#include <iterator>
#include <utility>

#include <QDBusConnection>
#include <QDBusReply>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/fixtures/bus_monitor.h"
#include "tests/fixtures/message_log.h"
#include "tests/fixtures/nm_raw.h"
#include "tests/fixtures/nm_simulator.h"
#include "ui/qt/network/wifi_manager.h"

namespace {

// A join under emulation takes 4-17 s; a loaded machine can double that.
constexpr int kJoinMs = 90000;
constexpr int kScanMs = 60000;

const QString kHome = QStringLiteral("Fernhill Home");
const QString kHomeKey = QStringLiteral("fernhill-home");
const QString kCafe = QStringLiteral("Harbour Cafe");
const QString kAttic = QStringLiteral("Attic");
const QString kAtticKey = QStringLiteral("hidden-attic");
const QString kTwin = QStringLiteral("Workshop 5G");
const QString kNeighbour = QStringLiteral("Neighbour's Wi-Fi");
const QString kNeighbourKey = QStringLiteral("not-yours-1");
const QString kHotspot = QStringLiteral("vireda");

QString wifiDevice() {
  return nmraw::deviceOfType(NM::DeviceType::Wifi);
}

NM::DeviceState deviceState() {
  return NM::DeviceState(nmraw::property(wifiDevice(), NM_DBUS_INTERFACE_DEVICE, NM::Property::State).toUInt());
}

QVariantMap accessPointProperties(const QString &path) {
  const QDBusReply<QVariantMap> reply =
      nmraw::call(path, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("GetAll"), {NM_DBUS_INTERFACE_ACCESS_POINT});
  return reply.value();
}

QStringList accessPointPaths() {
  const QDBusReply<QList<QDBusObjectPath>> paths =
      nmraw::call(wifiDevice(), NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("GetAllAccessPoints"));
  QStringList found;
  for (const QDBusObjectPath &path : paths.value()) {
    found << path.path();
  }
  return found;
}

QList<QVariantMap> accessPoints() {
  QList<QVariantMap> found;
  for (const QString &path : accessPointPaths()) {
    found << accessPointProperties(path);
  }
  return found;
}

QList<QVariantMap> accessPointsNamed(const QByteArray &ssid) {
  QList<QVariantMap> found;
  for (const QVariantMap &ap : accessPoints()) {
    if (ap.value(NM::Property::Ssid).toByteArray() == ssid) {
      found << ap;
    }
  }
  return found;
}

QList<unsigned int> strengthsOf(const QString &ssid) {
  QList<unsigned int> strengths;
  for (const QVariantMap &ap : accessPointsNamed(ssid.toUtf8())) {
    strengths << ap.value(NM::Property::Strength).toUInt();
  }
  return strengths;
}

QString activeAccessPoint() {
  return nmraw::property(wifiDevice(), NM_DBUS_INTERFACE_DEVICE_WIRELESS, NM::Property::ActiveAccessPoint)
      .value<QDBusObjectPath>()
      .path();
}

// The SSID of the access point the device uses now; empty when none.
QString activeSsid() {
  const QString ap = activeAccessPoint();
  return emptyPath(ap) ? QString() : ssidText(accessPointProperties(ap).value(NM::Property::Ssid).toByteArray());
}

QList<QDBusObjectPath> wifiProfiles() {
  QList<QDBusObjectPath> found;
  for (const QDBusObjectPath &path : nmraw::listConnections()) {
    if (nmraw::settings(path).value(NM::Section::Connection).value(NM::Key::Type) == NM::Section::Wireless) {
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

// Calls, as the bus monitor shows them, sent to "/": the daemon's name for no object.
bool toNoObject(const QString &call) {
  return call.endsWith(QStringLiteral(" /"));
}

QStringList callsToNoObject(const QStringList &calls) {
  QStringList found;
  std::copy_if(calls.cbegin(), calls.cend(), std::back_inserter(found), toNoObject);
  return found;
}

// Each call to "/" with the few calls that led to it, for a failure message.
QByteArray leadingToNoObject(const QStringList &calls) {
  constexpr int kBefore = 5;
  QStringList shown;
  for (int i = 0; i < calls.size(); ++i) {
    if (toNoObject(calls[i])) {
      const int first = std::max(0, i - kBefore);
      shown << calls.mid(first, i - first + 1).join(QStringLiteral(" | "));
    }
  }
  return shown.join(QLatin1Char('\n')).toUtf8();
}

// What the client reported as a failed call. A time-out is a failure too, but one that a slow
// emulated machine may cause (beyond the 100 ms bound); every other error means a call failed
// that had no reason to.
QStringList failedCallsBesidesTimeOuts(const MessageLog &log) {
  QStringList failed;
  for (const QString &line : log.lines()) {
    if (line.startsWith(QStringLiteral("DBus call error:")) &&
        !line.contains(QStringLiteral("Did not receive a reply"))) {
      failed << line;
    }
  }
  return failed;
}

// Takes a network's access point off the air (`away`) or puts it back: hostapd's radio in the
// Wi-Fi machine, the simulator's control interface otherwise.
bool onAir(const QString &ssid, bool away) {
  if (qEnvironmentVariableIsSet("WIFI_VM")) {
    return QProcess::execute(QStringLiteral(WIFI_VM_AP),
                             {away ? QStringLiteral("away") : QStringLiteral("back"), ssid}) == 0;
  }
  const QDBusReply<int> taken = QDBusConnection::systemBus().call(
      QDBusMessage::createMethodCall(
          QStringLiteral("org.halcyra.NmSimulator"), QStringLiteral("/org/halcyra/NmSimulator"),
          QStringLiteral("org.halcyra.NmSimulator"), away ? QStringLiteral("TakeAway") : QStringLiteral("BringBack"))
      << ssid);
  return taken.value() > 0;
}

}  // namespace

// What the Wi-Fi device reports while it lives: its StateChanged signals (new state and
// reason) and each access point it made active.
class DeviceRecorder : public QObject {
  Q_OBJECT

public:
  struct Step {
    NM::DeviceState state;
    NM::Reason reason;
    bool operator==(const Step &other) const { return state == other.state && reason == other.reason; }
  };

  explicit DeviceRecorder(const QString &device) {
    QDBusConnection bus = QDBusConnection::systemBus();
    bus.connect(NM_DBUS_SERVICE, device, NM_DBUS_INTERFACE_DEVICE, QStringLiteral("StateChanged"), this,
                SLOT(stateChanged(uint, uint, uint)));
    bus.connect(NM_DBUS_SERVICE, device, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("PropertiesChanged"), this,
                SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
  }

  QList<Step> steps;
  QStringList active_access_points;

  bool reached(NM::DeviceState state, NM::Reason reason) const { return steps.contains(Step{state, reason}); }
  // `expected` happened in this order, other steps between them allowed.
  bool passed(const QList<Step> &expected) const {
    int next = 0;
    for (const Step &step : steps) {
      next += next < expected.size() && step == expected[next];
    }
    return next == expected.size();
  }
  NM::DeviceState last() const { return steps.isEmpty() ? NM::DeviceState::Unknown : steps.last().state; }
  QByteArray text() const {
    QStringList shown;
    for (const Step &step : steps) {
      shown << QStringLiteral("%1/%2").arg(uint(step.state)).arg(uint(step.reason));
    }
    return (shown.join(QLatin1Char(' ')) + QStringLiteral("; access points ") +
            active_access_points.join(QLatin1Char(' ')))
        .toUtf8();
  }

public slots:
  void stateChanged(uint new_state, uint old_state, uint reason) {
    Q_UNUSED(old_state);
    steps << Step{NM::DeviceState(new_state), NM::Reason(reason)};
  }
  void propertiesChanged(const QString &interface, const QVariantMap &props, const QStringList &invalidated) {
    Q_UNUSED(invalidated);
    if (interface == NM_DBUS_INTERFACE_DEVICE_WIRELESS && props.contains(NM::Property::ActiveAccessPoint)) {
      active_access_points << qvariant_cast<QDBusObjectPath>(props.value(NM::Property::ActiveAccessPoint)).path();
    }
  }
};

class tst_WifiManagerStack : public QObject {
  Q_OBJECT

private:
  QTemporaryDir scratch;
  QString off_air;  // a network a case took off the air, put back once its profiles are gone

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
    qputenv("FAKE_SUDO_LOG", scratch.filePath(QStringLiteral("sudo.log")).toUtf8());
    nm::registerTypes();
    QVERIFY2(!wifiDevice().isEmpty(), "no Wi-Fi device on the system bus");
  }

  // Every case starts on a disconnected device without saved Wi-Fi profiles.
  void cleanup() {
    for (const QDBusObjectPath &path : wifiProfiles()) {
      nmraw::deleteConnection(path);
    }
    QTRY_COMPARE_WITH_TIMEOUT(deviceState(), NM::DeviceState::Disconnected, kJoinMs);
    if (!off_air.isEmpty()) {
      QVERIFY(onAir(std::exchange(off_air, QString()), false));
    }
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
    QTRY_VERIFY_WITH_TIMEOUT(!accessPointsNamed({}).isEmpty(), kScanMs);
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
    DeviceRecorder device(wifiDevice());
    QSignalSpy wrong(&wm, &WifiManager::wrongPassword);
    QSignalSpy failed(&wm, &WifiManager::connectionFailed);

    wm.connect(wm.seenNetworks.value(kHome), false, QStringLiteral("not-the-key"));
    QTRY_COMPARE_WITH_TIMEOUT(wrong.count(), 1, kJoinMs);
    QCOMPARE(wrong.first().first().toString(), kHome);
    // The activation asks for the saved key (NEED_AUTH, reason 0) on the way; the supplicant's
    // refusal then fails it and the device ends disconnected. Reported once.
    QTRY_COMPARE_WITH_TIMEOUT(device.last(), NM::DeviceState::Disconnected, kJoinMs);
    QVERIFY2(device.passed({{NM::DeviceState::NeedAuth, NM::Reason::None},
                            {NM::DeviceState::NeedAuth, NM::Reason::SupplicantDisconnect},
                            {NM::DeviceState::Failed, NM::Reason::NoSecrets},
                            {NM::DeviceState::Disconnected, NM::Reason::None}}),
             device.text());
    QCOMPARE(wrong.count(), 1);
    // The access point was taken while preparing and let go on failure.
    QVERIFY2(!device.active_access_points.isEmpty() && !emptyPath(device.active_access_points.first()), device.text());
    QVERIFY2(emptyPath(device.active_access_points.last()), device.text());
    QTRY_VERIFY(!wm.isKnownConnection(kHome));
    QVERIFY(nmraw::connectionsWithSsid(kHome.toUtf8()).isEmpty());
    // Still listed (a refresh that a slow daemon fails can empty the table until the next one).
    QTRY_VERIFY_WITH_TIMEOUT(wm.seenNetworks.contains(kHome), kScanMs);

    device.steps.clear();
    wm.connect(wm.seenNetworks.value(kHome), false, kHomeKey);
    QTRY_COMPARE_WITH_TIMEOUT(stateIn(wm, kHome), ConnectedType::CONNECTED, kJoinMs);
    // With the right key too the saved secrets are asked for on the way (reason 0), unreported.
    QTRY_VERIFY2(
        device.passed({{NM::DeviceState::NeedAuth, NM::Reason::None}, {NM::DeviceState::Activated, NM::Reason::None}}),
        device.text());
    QCOMPARE(wrong.count(), 1);
    QCOMPARE(activeSsid(), kHome);
    QTRY_VERIFY_WITH_TIMEOUT(!wm.ipv4_address.isEmpty(), kScanMs);
    QCOMPARE(listOrder(wm).first(), kHome);
    QVERIFY(wm.isKnownConnection(kHome));
    // The refused key fails the attempt with no secrets: that is the key's question, not a failure.
    QCOMPARE(failed.count(), 0);
  }

  // The network goes out of range once listed, and the right key is given: the daemon looks for
  // it with the stale access point (about 27 s in the machine), gives up as not found, and the
  // attempt is reported once; the profile stays saved.
  void accessPointGoneWhileJoining() {
    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kNeighbour}));
    const Network neighbour = wm.seenNetworks.value(kNeighbour);
    DeviceRecorder device(wifiDevice());
    QSignalSpy wrong(&wm, &WifiManager::wrongPassword);
    QSignalSpy failed(&wm, &WifiManager::connectionFailed);
    QVERIFY(onAir(kNeighbour, true));
    off_air = kNeighbour;

    wm.connect(neighbour, false, kNeighbourKey);
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, kJoinMs);
    QCOMPARE(failed.first(), (QVariantList{kNeighbour, uint(NM::Reason::SsidNotFound)}));
    QTRY_COMPARE_WITH_TIMEOUT(device.last(), NM::DeviceState::Disconnected, kJoinMs);
    QVERIFY2(device.passed({{NM::DeviceState::NeedAuth, NM::Reason::None},
                            {NM::DeviceState::Failed, NM::Reason::SsidNotFound},
                            {NM::DeviceState::Disconnected, NM::Reason::None}}),
             device.text());
    // The listed access point was tried and let go.
    QVERIFY2(!device.active_access_points.isEmpty() && !emptyPath(device.active_access_points.first()), device.text());
    QVERIFY2(emptyPath(device.active_access_points.last()), device.text());
    QCOMPARE(stateIn(wm, kNeighbour), ConnectedType::DISCONNECTED);
    QVERIFY(wm.isKnownConnection(kNeighbour));
    QCOMPARE(nmraw::connectionsWithSsid(kNeighbour.toUtf8()).size(), 1);
    QCOMPARE(wrong.count(), 0);
    QCOMPARE(failed.count(), 1);
  }

  void openNetworkJoins() {
    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kCafe}));
    DeviceRecorder device(wifiDevice());
    QSignalSpy wrong(&wm, &WifiManager::wrongPassword);

    wm.connect(wm.seenNetworks.value(kCafe));
    QTRY_COMPARE_WITH_TIMEOUT(stateIn(wm, kCafe), ConnectedType::CONNECTED, kJoinMs);
    QCOMPARE(activeSsid(), kCafe);
    QTRY_VERIFY_WITH_TIMEOUT(!wm.ipv4_address.isEmpty(), kScanMs);
    QCOMPARE(wrong.count(), 0);
    QVERIFY(wm.isKnownConnection(kCafe));
    // An open network never asks for a key.
    QVERIFY2(!device.reached(NM::DeviceState::NeedAuth, NM::Reason::None), device.text());
  }

  void knownNetworkActivatedWithItsSavedKey() {
    Connection saved = nmraw::wifiProfile(kHome.toUtf8(), kHomeKey);
    saved[NM::Section::Connection][NM::Key::Autoconnect] = false;
    QVERIFY(!nmraw::addConnection(saved).path().isEmpty());

    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kHome}));
    QVERIFY(wm.isKnownConnection(kHome));
    QSignalSpy wrong(&wm, &WifiManager::wrongPassword);
    DeviceRecorder device(wifiDevice());

    QVERIFY(wm.activateWifiConnection(kHome).has_value());
    QTRY_COMPARE_WITH_TIMEOUT(stateIn(wm, kHome), ConnectedType::CONNECTED, kJoinMs);
    QVERIFY2(device.reached(NM::DeviceState::NeedAuth, NM::Reason::None), device.text());
    QCOMPARE(wrong.count(), 0);
    QCOMPARE(wifiProfiles().size(), 1);
  }

  // The daemon looks for a hidden network by name with a placeholder access point as the
  // active one; what it finds joins the list under the name, beside the nameless entry, and
  // takes the placeholder's place.
  void hiddenNetworkAsTheAdvancedPageJoinsIt() {
    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kHome}));
    QVERIFY(!wm.seenNetworks.contains(kAttic));
    QTRY_VERIFY_WITH_TIMEOUT(!accessPointsNamed({}).isEmpty(), kScanMs);
    const QStringList listed_before = accessPointPaths();
    DeviceRecorder device(wifiDevice());

    wm.connect(Network{kAttic.toUtf8(), 0, ConnectedType::DISCONNECTED, SecurityType::WPA}, true, kAtticKey);
    QTRY_COMPARE_WITH_TIMEOUT(deviceState(), NM::DeviceState::Activated, kJoinMs);
    QCOMPARE(activeSsid(), kAttic);
    QTRY_COMPARE_WITH_TIMEOUT(stateIn(wm, kAttic), ConnectedType::CONNECTED, kScanMs);
    QTRY_VERIFY_WITH_TIMEOUT(!wm.ipv4_address.isEmpty(), kScanMs);

    const QString placeholder = device.active_access_points.value(0);
    QVERIFY2(!emptyPath(placeholder) && !listed_before.contains(placeholder), device.text());
    QVERIFY2(placeholder != activeAccessPoint(), device.text());
    QVERIFY(!accessPointPaths().contains(placeholder));
    const QString address = accessPointProperties(activeAccessPoint()).value(QStringLiteral("HwAddress")).toString();
    bool nameless_twin = false;
    for (const QVariantMap &ap : accessPointsNamed({})) {
      nameless_twin |= ap.value(QStringLiteral("HwAddress")).toString() == address;
    }
    QVERIFY2(nameless_twin, qPrintable(address));
  }

  // Fewer than 8 characters: the daemon saves no profile, and the attempt ends at once with
  // the user asked again.
  void keyTheDaemonRefuses_data() {
    QTest::addColumn<QString>("ssid");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("hidden network, as the advanced page joins it") << kAttic << true;
    QTest::newRow("listed network") << kHome << false;
  }

  void keyTheDaemonRefuses() {
    QFETCH(QString, ssid);
    QFETCH(bool, hidden);
    const QDBusMessage refused =
        nmraw::call(NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS, QStringLiteral("AddConnection"),
                    {QVariant::fromValue(nmraw::wifiProfile(ssid.toUtf8(), QStringLiteral("short")))});
    QCOMPARE(refused.errorName(), NM::Error::InvalidProperty);
    QVERIFY2(refused.errorMessage().startsWith(QStringLiteral("802-11-wireless-security.psk:")),
             qPrintable(refused.errorMessage()));

    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kHome}));
    QSignalSpy wrong(&wm, &WifiManager::wrongPassword);
    wm.connect(Network{ssid.toUtf8(), 0, ConnectedType::DISCONNECTED, SecurityType::WPA}, hidden,
               QStringLiteral("short"));
    for (const Network &n : wm.seenNetworks) {
      QVERIFY2(n.connected != ConnectedType::CONNECTING, n.ssid.constData());
    }
    QTRY_COMPARE(wrong.count(), 1);
    QCOMPARE(wrong.first().first().toString(), ssid);
    QVERIFY(wifiProfiles().isEmpty());
  }

  // The daemon names no object with "/": the IPv4 configuration of a connection still
  // activating, the access point of a disconnected device. Nothing is asked of it, while
  // joining a secured and then an open network, nor while the list is refreshed with nothing
  // joined, and no call is reported as failed.
  void nothingAskedOfNoObject() {
    BusMonitor monitor;
    QVERIFY(monitor.start());
    MessageLog log;
    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kHome, kCafe}));

    for (const auto &[ssid, key] : {std::pair{kHome, kHomeKey}, std::pair{kCafe, QString()}}) {
      DeviceRecorder device(wifiDevice());
      wm.connect(wm.seenNetworks.value(ssid), false, key);
      QTRY_VERIFY2_WITH_TIMEOUT(device.reached(NM::DeviceState::IpConfig, NM::Reason::None), device.text(), kJoinMs);
      // A scan that ends while the connection waits for its address refreshes the list right
      // then; the client's own scans, every 5 s, may end there too.
      nmraw::call(wifiDevice(), NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("RequestScan"), {QVariantMap()});
      QTRY_COMPARE_WITH_TIMEOUT(stateIn(wm, ssid), ConnectedType::CONNECTED, kJoinMs);
      QTRY_VERIFY_WITH_TIMEOUT(!wm.ipv4_address.isEmpty(), kScanMs);
    }
    const QStringList joining = monitor.takeCalls();

    for (const QDBusObjectPath &path : wifiProfiles()) {
      nmraw::deleteConnection(path);
    }
    QTRY_COMPARE_WITH_TIMEOUT(deviceState(), NM::DeviceState::Disconnected, kJoinMs);
    QTRY_VERIFY_WITH_TIMEOUT(wm.ipv4_address.isEmpty(), kScanMs);
    QSignalSpy refreshed(&wm, &WifiManager::refreshSignal);
    QTRY_VERIFY_WITH_TIMEOUT(refreshed.count() >= 3, 2 * kScanMs);
    const QStringList leaving_and_disconnected = monitor.takeCalls();

    QVERIFY(!callsOf(joining, QStringLiteral("GetAllAccessPoints")).isEmpty());
    QVERIFY2(callsToNoObject(joining).isEmpty(), leadingToNoObject(joining));
    QVERIFY(callsOf(leaving_and_disconnected, QStringLiteral("GetAllAccessPoints")).size() >= 3);
    QVERIFY2(callsToNoObject(leaving_and_disconnected).isEmpty(), leadingToNoObject(leaving_and_disconnected));
    QVERIFY2(failedCallsBesidesTimeOuts(log).isEmpty(), qPrintable(failedCallsBesidesTimeOuts(log).join('\n')));
  }

  // Deleting the profile in use disconnects the device.
  void forgetLeavesTheNetwork() {
    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kCafe}));
    wm.connect(wm.seenNetworks.value(kCafe));
    QTRY_COMPARE_WITH_TIMEOUT(stateIn(wm, kCafe), ConnectedType::CONNECTED, kJoinMs);
    QTRY_VERIFY_WITH_TIMEOUT(wm.isKnownConnection(kCafe), kScanMs);
    DeviceRecorder device(wifiDevice());

    wm.forgetConnection(kCafe);
    QTRY_VERIFY(!wm.isKnownConnection(kCafe));
    QVERIFY(nmraw::connectionsWithSsid(kCafe.toUtf8()).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(device.last(), NM::DeviceState::Disconnected, kJoinMs);
    QVERIFY2(device.passed({{NM::DeviceState::Deactivating, NM::Reason::ConnectionRemoved},
                            {NM::DeviceState::Disconnected, NM::Reason::ConnectionRemoved}}),
             device.text());
    QTRY_COMPARE_WITH_TIMEOUT(stateIn(wm, kCafe), ConnectedType::DISCONNECTED, kScanMs);
    QTRY_VERIFY_WITH_TIMEOUT(wm.ipv4_address.isEmpty(), kScanMs);
  }

  // Serving the hotspot, the daemon lists it as an access point of its own; the networks it
  // had scanned come back as new objects, and scans go on. The list shows the networks around,
  // not the device's own hotspot.
  void hotspotOnRescanOff() {
    WifiManager wm(nullptr);
    QVERIFY(scanned(wm, {kHome, kCafe}));
    const QStringList scanned_before = accessPointPaths();

    wm.setTetheringEnabled(true);
    // While one of its own rescans is still pending the radio cannot start the access point
    // ("Failed to initiate AP scan"): the daemon fails that activation and starts the hotspot again
    // by itself, later, with a new access point object. Until then the one the manager knows can
    // vanish between two reads, so the device's state settles first.
    QTRY_COMPARE_WITH_TIMEOUT(deviceState(), NM::DeviceState::Activated, 2 * kJoinMs);
    QTRY_VERIFY_WITH_TIMEOUT(wm.isTetheringEnabled(), kJoinMs);
    QCOMPARE(activeSsid(), kHotspot);
    // What the daemon advertises for it follows the profile: WPA2 only, CCMP only, a pre-shared key.
    const QVariantMap own = accessPointProperties(activeAccessPoint());
    const QList<uint> advertised{own.value(NM::Property::Strength).toUInt(), own.value(NM::Property::Flags).toUInt(),
                                 own.value(NM::Property::WpaFlags).toUInt(),
                                 own.value(NM::Property::RsnFlags).toUInt()};
    const QList<uint> wpa2_psk{0, NM::ApFlag::Privacy, NM::ApSecurity::None,
                               NM::ApSecurity::PairCcmp | NM::ApSecurity::GroupCcmp | NM::ApSecurity::KeyMgmtPsk};
    QCOMPARE(advertised, wpa2_psk);
    for (const QString &path : accessPointPaths()) {
      QVERIFY2(!scanned_before.contains(path), qPrintable(path));
    }
    QTRY_VERIFY_WITH_TIMEOUT(QFile(qEnvironmentVariable("FAKE_SUDO_LOG")).exists(), kScanMs);

    const QDBusMessage scan =
        nmraw::call(wifiDevice(), NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("RequestScan"), {QVariantMap()});
    QCOMPARE(scan.type(), QDBusMessage::ReplyMessage);
    QTRY_VERIFY_WITH_TIMEOUT(wm.seenNetworks.contains(kHome) && wm.seenNetworks.contains(kCafe), kScanMs);
    QTRY_COMPARE_WITH_TIMEOUT(wm.ipv4_address, QStringLiteral("192.168.43.1"), kScanMs);
    QVERIFY(wm.isTetheringEnabled());
    QVERIFY(!wm.seenNetworks.contains(kHotspot));

    wm.setTetheringEnabled(false);
    QTRY_VERIFY_WITH_TIMEOUT(!wm.isTetheringEnabled(), kJoinMs);
    QTRY_COMPARE_WITH_TIMEOUT(deviceState(), NM::DeviceState::Disconnected, kJoinMs);
  }
};

QTEST_GUILESS_MAIN(tst_WifiManagerStack)
#include "test_wifi_manager_stack.moc"
