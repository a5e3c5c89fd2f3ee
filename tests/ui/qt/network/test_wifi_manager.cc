#include <QDBusReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "common/params.h"
#include "tests/fixtures/log_collector.h"
#include "tests/fixtures/message_log.h"
#include "tests/fixtures/nm_raw.h"
#include "tests/fixtures/nm_simulator.h"
#include "tests/fixtures/output_capture.h"
#include "ui/qt/network/wifi_manager.h"

Q_DECLARE_METATYPE(Network)
Q_DECLARE_METATYPE(SecurityType)
Q_DECLARE_METATYPE(ConnectedType)

namespace {

// Device state changes as the daemon sends them: new state and reason.
struct Step {
  NM::DeviceState state;
  NM::Reason reason;
};
using Steps = QVector<Step>;

// Used as the password wherever one is sent; it must never show in any output.
const QString kSentinel = QStringLiteral("sentinel-Pw-5vQ8");
const QString kRightPassword = QStringLiteral("right-password");
const QString kHotspotSsid = QStringLiteral("vireda");

Network network(const QByteArray &ssid, unsigned int strength, ConnectedType connected = ConnectedType::DISCONNECTED,
                SecurityType security = SecurityType::OPEN) {
  return Network{ssid, strength, connected, security};
}

// The cellular profile with a user name and a password.
Connection lteConnection() {
  return nmraw::gsmProfile(QStringLiteral("apn-user"), kSentinel);
}

// The properties of the access point that shows `ssid`.
QVariantMap accessPointNamed(const QByteArray &ssid) {
  const QString device = nmraw::deviceOfType(NM::DeviceType::Wifi);
  const QDBusReply<QList<QDBusObjectPath>> access_points =
      nmraw::call(device, NM_DBUS_INTERFACE_DEVICE_WIRELESS, "GetAllAccessPoints");
  for (const QDBusObjectPath &path : access_points.value()) {
    const QDBusReply<QVariantMap> properties =
        nmraw::call(path.path(), NM_DBUS_INTERFACE_PROPERTIES, "GetAll", {NM_DBUS_INTERFACE_ACCESS_POINT});
    if (properties.value().value("Ssid").toByteArray() == ssid) {
      return properties.value();
    }
  }
  return {};
}

// Every record the log collector received until none came for a while, as JSON text.
QStringList recordsOf(LogCollector &collector) {
  QStringList records;
  for (const std::string &message : collector.drain(200)) {
    records << QString::fromStdString(message.substr(1));
  }
  return records;
}

}  // namespace

Q_DECLARE_METATYPE(Steps)

class tst_WifiManager : public QObject {
  Q_OBJECT

private:
  NmSimulator sim;
  QTemporaryDir params_root;
  std::unique_ptr<LogCollector> collector;

  bool refreshed(WifiManager &wm) {
    QSignalSpy spy(&wm, &WifiManager::refreshSignal);
    sim.finishScan();
    return spy.wait(5000);
  }

  bool started(WifiManager &wm) {
    QSignalSpy spy(&wm, &WifiManager::refreshSignal);
    wm.start();
    return spy.wait(5000);
  }

  void setDongleId(const QString &id) {
    Params params(params_root.path().toStdString());
    if (id.isEmpty()) {
      params.remove("DongleId");
    } else {
      params.put("DongleId", id.toStdString());
    }
  }

private slots:
  void initTestCase() {
    QVERIFY(params_root.isValid());
    qputenv("PARAMS_ROOT", params_root.path().toUtf8());
    const std::string prefix = LogCollector::unique_prefix("wifi-manager");
    qputenv("HALCYRA_PREFIX", QByteArray::fromStdString(prefix));
    collector = std::make_unique<LogCollector>(prefix);
  }

  void init() {
    setDongleId({});
    QVERIFY(sim.start());
    collector->drain(0);
  }

  // Model

  void strengthLevel_data() {
    QTest::addColumn<unsigned int>("strength");
    QTest::addColumn<int>("level");
    const QList<QPair<unsigned int, int>> cases = {{0, 0},  {16, 0}, {17, 1},  {49, 1}, {50, 2},
                                                   {82, 2}, {83, 3}, {100, 3}, {255, 3}};
    for (const auto &[strength, level] : cases) {
      QTest::addRow("%u", strength) << strength << level;
    }
  }

  void strengthLevel() {
    QFETCH(unsigned int, strength);
    QFETCH(int, level);
    QCOMPARE(::strengthLevel(strength), level);
  }

  void compareByStrength_data() {
    QTest::addColumn<Network>("a");
    QTest::addColumn<Network>("b");
    QTest::addColumn<bool>("a_first");
    QTest::addColumn<bool>("b_first");
    QTest::newRow("connected weak before disconnected strong")
        << network("Weak", 10, ConnectedType::CONNECTED) << network("Strong", 100) << true << false;
    QTest::newRow("connecting before disconnected")
        << network("Z", 10, ConnectedType::CONNECTING) << network("A", 100) << true << false;
    QTest::newRow("connected before connecting")
        << network("Z", 10, ConnectedType::CONNECTED) << network("A", 100, ConnectedType::CONNECTING) << true << false;
    QTest::newRow("stronger level first") << network("Z", 90) << network("A", 60) << true << false;
    QTest::newRow("same level by name") << network("Alpha", 60) << network("Beta", 80) << true << false;
    QTest::newRow("prefix first") << network("Ab", 60) << network("Abc", 60) << true << false;
    QTest::newRow("bytes unsigned") << network("zeta", 60) << network("\xc3\xa9t\xc3\xa9", 60) << true << false;
    QTest::newRow("equal") << network("Same", 60) << network("Same", 70) << false << false;
  }

  void compareByStrength() {
    QFETCH(Network, a);
    QFETCH(Network, b);
    QFETCH(bool, a_first);
    QFETCH(bool, b_first);
    QCOMPARE(compare_by_strength(a, b), a_first);
    QCOMPARE(compare_by_strength(b, a), b_first);
  }

  void securityType_data() {
    QTest::addColumn<unsigned int>("flags");
    QTest::addColumn<unsigned int>("wpa");
    QTest::addColumn<unsigned int>("rsn");
    QTest::addColumn<SecurityType>("type");
    const NM::AccessPointSecurity enterprise = NM::Security::Enterprise;
    QTest::newRow("no flags") << 0x0u << 0x0u << 0x0u << SecurityType::OPEN;
    QTest::newRow("privacy, psk ccmp") << 0x1u << 0x0u << 0x188u << SecurityType::WPA;
    QTest::newRow("privacy, wpa1 psk tkip") << 0x1u << 0x144u << 0x0u << SecurityType::WPA;
    QTest::newRow("privacy, psk and 802.1x") << 0x1u << 0x0u << 0x388u << SecurityType::UNSUPPORTED;
    QTest::newRow("enterprise: 802.1x only")
        << enterprise.flags << enterprise.wpa_flags << enterprise.rsn_flags << SecurityType::UNSUPPORTED;
    QTest::newRow("wps, no wpa flags") << 0x2u << 0x0u << 0x0u << SecurityType::OPEN;
    QTest::newRow("wps with psk, no privacy") << 0x2u << 0x0u << 0x188u << SecurityType::UNSUPPORTED;
    QTest::newRow("wep only privacy") << 0x1u << 0x0u << 0x0u << SecurityType::UNSUPPORTED;
  }

  void securityType() {
    QFETCH(unsigned int, flags);
    QFETCH(unsigned int, wpa);
    QFETCH(unsigned int, rsn);
    QFETCH(SecurityType, type);
    sim.addAccessPoint("Net", 50, {flags, wpa, rsn});
    WifiManager wm(nullptr);
    QVERIFY(started(wm));

    QVERIFY(wm.seenNetworks.contains("Net"));
    QCOMPARE(wm.seenNetworks.value("Net").security_type, type);
    const QString warning =
        QStringLiteral("Unsupported network! sflag: %1, wpaflag: %2, rsnflag: %3").arg(flags).arg(wpa).arg(rsn);
    const QStringList warnings = recordsOf(*collector).filter(warning);
    QCOMPARE(warnings.size(), type == SecurityType::UNSUPPORTED ? 1 : 0);
    if (!warnings.isEmpty()) {
      QVERIFY(warnings.first().contains("\"levelnum\": 30"));
    }
  }

  void tableKeepsBestStrengthFirstSecurityAndSkipsHidden() {
    sim.addAccessPoint(QByteArray("Dup\0tail", 8), 40, NM::Security::Wpa2Psk, kRightPassword);
    sim.addAccessPoint("Dup", 75, NM::Security::Open);
    sim.addAccessPoint("Dup", 20, NM::Security::Open);
    sim.addAccessPoint("", 90, NM::Security::Wpa2Psk);
    sim.addAccessPoint("Other", 30, NM::Security::Open);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));

    QCOMPARE(wm.seenNetworks.keys(), (QStringList{"Dup", "Other"}));
    const Network dup = wm.seenNetworks.value("Dup");
    QCOMPARE(dup.strength, 75u);
    QCOMPARE(dup.security_type, SecurityType::WPA);
    QCOMPARE(dup.ssid, QByteArray("Dup\0tail", 8));
    QCOMPARE(dup.connected, ConnectedType::DISCONNECTED);
  }

  void activeAccessPointMarked() {
    const QDBusObjectPath cafe = sim.addAccessPoint("Cafe", 60, NM::Security::Open);
    const QDBusObjectPath home = sim.addAccessPoint("Home", 70, NM::Security::Wpa2Psk, kRightPassword);
    sim.setActiveAccessPoint(cafe);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QCOMPARE(wm.seenNetworks.value("Cafe").connected, ConnectedType::CONNECTED);
    QCOMPARE(wm.seenNetworks.value("Home").connected, ConnectedType::DISCONNECTED);

    // An attempt in progress shows as connecting once its access point is the active one.
    sim.setFault("ActivateConnection", NmSimulator::Fault::Stall);
    wm.connect(wm.seenNetworks.value("Home"), false, kSentinel);
    QTRY_VERIFY(wm.isKnownConnection("Home"));
    sim.setActiveAccessPoint(home);
    sim.settle();
    QVERIFY(refreshed(wm));
    QCOMPARE(wm.seenNetworks.value("Home").connected, ConnectedType::CONNECTING);
    QCOMPARE(wm.seenNetworks.value("Cafe").connected, ConnectedType::DISCONNECTED);
  }

  void tetheringName_data() {
    QTest::addColumn<QString>("dongle_id");
    QTest::addColumn<QByteArray>("ssid");
    QTest::newRow("no device id") << QString() << QByteArray("vireda");
    QTest::newRow("16 characters") << "0123456789abcdef" << QByteArray("vireda-0123");
    QTest::newRow("shorter than 4") << "ab" << QByteArray("vireda-ab");
  }

  void tetheringName() {
    QFETCH(QString, dongle_id);
    QFETCH(QByteArray, ssid);
    setDongleId(dongle_id);
    WifiManager wm(nullptr);

    // The read is bounded for the screen's sake (100 ms); under emulation on a busy machine one may
    // run out, and the next one answers.
    QTRY_COMPARE(wm.getTetheringPassword(), QStringLiteral("plumtreeorbit"));
    QCOMPARE(nmraw::connectionsWithSsid(ssid).size(), 1);
  }

  // Scanning and signals

  void nothingRefreshedWhileStopped() {
    sim.addAccessPoint("Cafe", 60, NM::Security::Open);
    WifiManager wm(nullptr);
    QSignalSpy spy(&wm, &WifiManager::refreshSignal);
    sim.finishScan();
    sim.setDeviceState(NM::DeviceState::Activated, NM::Reason::None);
    sim.settle();
    QCOMPARE(spy.count(), 0);
    QVERIFY(wm.seenNetworks.isEmpty());

    QVERIFY(started(wm));
    QCOMPARE(wm.seenNetworks.size(), 1);
    QVERIFY(sim.callsOf("RequestScan").size() >= 1);

    wm.stop();
    spy.clear();
    sim.clearCalls();
    sim.finishScan();
    sim.settle();
    QCOMPARE(spy.count(), 0);
    QVERIFY(sim.callsOf("GetAllAccessPoints").isEmpty());
  }

  void wifiDeviceAddedLate() {
    QVERIFY(sim.start(NmSimulator::WithoutWifi));
    sim.addAccessPoint("Cafe", 60, NM::Security::Open);
    WifiManager wm(nullptr);
    QSignalSpy spy(&wm, &WifiManager::refreshSignal);
    wm.start();
    sim.addDevice(NM::DeviceType::Modem, "cdc-wdm0");
    sim.settle();
    QCOMPARE(spy.count(), 0);
    QVERIFY(sim.callsOf("RequestScan").isEmpty());

    const QDBusObjectPath wlan = sim.addDevice(NM::DeviceType::Wifi, "wlan0");
    QTRY_COMPARE(sim.callsOf("RequestScan").size(), 1);
    QVERIFY(sim.callsOf("RequestScan").first().contains(wlan.path()));
    QVERIFY(refreshed(wm));
    QCOMPARE(wm.seenNetworks.keys(), QStringList{"Cafe"});

    // A second Wi-Fi device is not taken.
    const QDBusObjectPath second = sim.addDevice(NM::DeviceType::Wifi, "wlan1");
    sim.settle();
    QVERIFY(sim.callsOf("RequestScan").filter(second.path()).isEmpty());
  }

  void propertiesChangedFiltered() {
    const QDBusObjectPath cafe = sim.addAccessPoint("Cafe", 60, NM::Security::Open);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QSignalSpy spy(&wm, &WifiManager::refreshSignal);

    sim.emitPropertiesChanged(NM_DBUS_INTERFACE_DEVICE, {{"LastScan", qint64(1)}});
    sim.emitPropertiesChanged(NM_DBUS_INTERFACE_DEVICE_WIRELESS, {{"Bitrate", 54u}});
    sim.settle();
    QCOMPARE(spy.count(), 0);

    // With both keys only the scan counts: the active access point is not taken over.
    sim.emitPropertiesChanged(NM_DBUS_INTERFACE_DEVICE_WIRELESS,
                              {{"LastScan", qint64(2)}, {"ActiveAccessPoint", QVariant::fromValue(cafe)}});
    QVERIFY(spy.wait(5000));
    QCOMPARE(wm.seenNetworks.value("Cafe").connected, ConnectedType::DISCONNECTED);

    sim.emitPropertiesChanged(NM_DBUS_INTERFACE_DEVICE_WIRELESS, {{"ActiveAccessPoint", QVariant::fromValue(cafe)}});
    sim.settle();
    QVERIFY(refreshed(wm));
    QCOMPARE(wm.seenNetworks.value("Cafe").connected, ConnectedType::CONNECTED);
  }

  // Faults

  void networkManagerAbsent() {
    sim.stop();
    MessageLog log;
    WifiManager wm(nullptr);
    QSignalSpy spy(&wm, &WifiManager::refreshSignal);
    wm.start();
    wm.requestScan();
    QCOMPARE(log.count("DBus call error:"), 2);  // GetDevices, ListConnections
    QVERIFY(!wm.isTetheringEnabled());
    QVERIFY(!wm.isKnownConnection("Cafe"));
    QVERIFY(!wm.activateWifiConnection("Cafe").has_value());
    wm.updateGsmSettings(true, "internet", true);
    QCoreApplication::processEvents();
    QCOMPARE(spy.count(), 0);
    QVERIFY(wm.seenNetworks.isEmpty());
  }

  void stalledCallsAreBounded() {
    sim.setFault("GetDevices", NmSimulator::Fault::Stall);
    sim.setFault("ListConnections", NmSimulator::Fault::Stall);
    MessageLog log;
    QElapsedTimer elapsed;
    elapsed.start();
    WifiManager wm(nullptr);
    const qint64 ms = elapsed.elapsed();
    QCOMPARE(log.count("DBus call error:"), 2);
    QCOMPARE(log.lines().size(), 2);
    QVERIFY2(ms >= 190 && ms < 3000, qPrintable(QString::number(ms)));
  }

  void failedAccessPointListEmptiesTable_data() {
    QTest::addColumn<NmSimulator::Fault>("fault");
    QTest::newRow("error reply") << NmSimulator::Fault::Error;
    QTest::newRow("wrong type") << NmSimulator::Fault::WrongType;
  }

  void failedAccessPointListEmptiesTable() {
    QFETCH(NmSimulator::Fault, fault);
    sim.addAccessPoint("Cafe", 60, NM::Security::Open);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QCOMPARE(wm.seenNetworks.size(), 1);

    sim.setFault("GetAllAccessPoints", fault);
    MessageLog log;
    QSignalSpy spy(&wm, &WifiManager::refreshSignal);
    sim.finishScan();
    QTRY_COMPARE(log.count("Failed to refresh"), 1);
    sim.settle();
    QCOMPARE(spy.count(), 0);
    QVERIFY(wm.seenNetworks.isEmpty());
  }

  void failedPropertiesSkipAccessPoint() {
    const QDBusObjectPath ap = sim.addAccessPoint("Cafe", 60, NM::Security::Open);
    WifiManager wm(nullptr);
    sim.setFault("GetAll", NmSimulator::Fault::Error);
    MessageLog log;
    QVERIFY(started(wm));
    QVERIFY(wm.seenNetworks.isEmpty());
    QVERIFY(log.lines().contains(QStringLiteral("Failed to retrieve properties for path: \"%1\"").arg(ap.path())));
  }

  // The daemon stops answering for longer than one call may wait, in the middle of a refresh
  // of more access points than are asked at once: the calls waiting behind the one that ran
  // out of time get their own time, so the list loses one network at most. Asking again ends
  // after one call's time per window of calls and one more; with few windows a slow daemon (the
  // emulated simulator answers a call in 1-3 ms) reached that end and lost most of the stalled
  // window, so the refresh spans eight.
  void stallLosesAtMostOneAccessPoint() {
    const int count = 8 * nm::kMaxCallsInFlight;
    for (int i = 0; i < count; ++i) {
      sim.addAccessPoint("Net-" + QByteArray::number(i), 50, NM::Security::Open);
    }
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QCOMPARE(wm.seenNetworks.size(), count);

    sim.stall("GetAll", 150);
    MessageLog log;
    QVERIFY(refreshed(wm));
    QVERIFY2(wm.seenNetworks.size() >= count - 1, qPrintable(QString::number(wm.seenNetworks.size())));
    QVERIFY(log.count("Failed to retrieve properties for path:") <= 1);
    QCOMPARE(log.count("DBus call error:"), log.count("Failed to retrieve properties for path:"));
  }

  void thousandAccessPoints() {
    for (int i = 0; i < 1000; ++i) {
      sim.addAccessPoint("Net-" + QByteArray::number(i), i % 101, i % 2 ? NM::Security::Wpa2Psk : NM::Security::Open,
                         kRightPassword);
    }
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    // A call that runs out of its 100 ms on a busy machine (or under emulation) loses its network
    // for that refresh only: the next one asks again.
    for (int refresh = 0; wm.seenNetworks.size() < 1000 && refresh < 5; ++refresh) {
      QVERIFY(refreshed(wm));
    }
    QCOMPARE(wm.seenNetworks.size(), 1000);
    QCOMPARE(wm.seenNetworks.value("Net-999").strength, 999u % 101);
    QCOMPARE(wm.seenNetworks.value("Net-999").security_type, SecurityType::WPA);
  }

  // Connections

  void connectJoinsNetwork_data() {
    QTest::addColumn<QByteArray>("ssid");
    QTest::addColumn<NM::AccessPointSecurity>("security");
    QTest::addColumn<QString>("password");
    QTest::newRow("secured") << QByteArray("Home") << NM::Security::Wpa2Psk << kRightPassword;
    QTest::newRow("open") << QByteArray("Cafe") << NM::Security::Open << QString();
  }

  void connectJoinsNetwork() {
    QFETCH(QByteArray, ssid);
    QFETCH(NM::AccessPointSecurity, security);
    QFETCH(QString, password);
    sim.addAccessPoint(ssid, 70, security, password);
    sim.addAccessPoint("Elsewhere", 90, NM::Security::Open);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QSignalSpy wrong(&wm, &WifiManager::wrongPassword);
    const auto before = nmraw::listConnections();

    wm.connect(wm.seenNetworks.value(ssid), false, password);
    QCOMPARE(wm.seenNetworks.value(ssid).connected, ConnectedType::CONNECTING);
    QCOMPARE(wm.seenNetworks.value("Elsewhere").connected, ConnectedType::DISCONNECTED);

    const auto added = nmraw::newConnections(before);
    QCOMPARE(added.size(), 1);
    QTRY_VERIFY(wm.isKnownConnection(ssid));
    QTRY_VERIFY(!nmraw::activeConnectionOf(added.first()).isEmpty());
    const QStringList activations = sim.callsOf("ActivateConnection");
    QCOMPARE(activations.size(), 1);
    QVERIFY(activations.first().contains(added.first().path()));
    QVERIFY(activations.first().contains(nmraw::deviceOfType(NM::DeviceType::Wifi)));

    sim.settle();
    QVERIFY(refreshed(wm));
    QCOMPARE(wm.seenNetworks.value(ssid).connected, ConnectedType::CONNECTED);
    QVERIFY(!wm.ipv4_address.isEmpty());
    QCOMPARE(wrong.count(), 0);
  }

  // A busy daemon answers the new profile's settings after the 100 ms bound: the profile
  // must still be activated and known (its row gets the Forget button).
  void justSavedProfileReadAfterAStall_data() {
    QTest::addColumn<NM::AccessPointSecurity>("security");
    QTest::addColumn<QString>("password");
    QTest::newRow("secured") << NM::Security::Wpa2Psk << kRightPassword;
    QTest::newRow("open") << NM::Security::Open << QString();
  }

  void justSavedProfileReadAfterAStall() {
    QFETCH(NM::AccessPointSecurity, security);
    QFETCH(QString, password);
    sim.addAccessPoint("Home", 70, security, password);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    const auto before = nmraw::listConnections();
    sim.stall("GetSettings", 150);
    MessageLog log;

    wm.connect(wm.seenNetworks.value("Home"), false, password);
    const QList<QDBusObjectPath> added_list = nmraw::newConnections(before);
    QCOMPARE(added_list.size(), 1);
    const QDBusObjectPath added = added_list.first();
    QTRY_VERIFY(wm.isKnownConnection("Home"));
    QTRY_VERIFY(!nmraw::activeConnectionOf(added).isEmpty());
    QCOMPARE(sim.callsOf("ActivateConnection").size(), 1);
    QCOMPARE(log.count("DBus call error:"), 1);  // the bounded read that missed
    sim.settle();
    QVERIFY(refreshed(wm));
    QCOMPARE(wm.seenNetworks.value("Home").connected, ConnectedType::CONNECTED);
  }

  // A key the daemon refuses (it saves nothing) ends the attempt at once: nothing is left
  // connecting, and the user is asked again as for a wrong key.
  void refusedKeyEndsTheAttempt_data() {
    QTest::addColumn<QByteArray>("ssid");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("listed network") << QByteArray("Home") << false;
    QTest::newRow("hidden network") << QByteArray("Attic") << true;
  }

  void refusedKeyEndsTheAttempt() {
    QFETCH(QByteArray, ssid);
    QFETCH(bool, hidden);
    sim.addAccessPoint("Home", 70, NM::Security::Wpa2Psk, kRightPassword);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QSignalSpy wrong(&wm, &WifiManager::wrongPassword);
    QSignalSpy refresh(&wm, &WifiManager::refreshSignal);

    wm.connect(Network{ssid, 70, ConnectedType::DISCONNECTED, SecurityType::WPA}, hidden, "short");
    QCOMPARE(wm.seenNetworks.value("Home").connected, ConnectedType::DISCONNECTED);
    QVERIFY(refresh.count() >= 2);  // marked connecting, then not
    QCOMPARE(wrong.count(), 0);     // asked from the event loop, as the daemon's report would come
    QTRY_COMPARE(wrong.count(), 1);
    QCOMPARE(wrong.first().first().toString(), QString::fromUtf8(ssid));
    QVERIFY(nmraw::connectionsWithSsid(ssid).isEmpty());

    // A stalled daemon proves nothing: the attempt goes on, nobody is asked.
    sim.setFault("AddConnection", NmSimulator::Fault::Stall);
    wm.connect(Network{ssid, 70, ConnectedType::DISCONNECTED, SecurityType::WPA}, hidden, "short");
    sim.settle();
    QCOMPARE(wrong.count(), 1);
  }

  void reconnectReplacesSavedConnection() {
    sim.addAccessPoint("Home", 70, NM::Security::Wpa2Psk, kRightPassword);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    wm.connect(wm.seenNetworks.value("Home"), false, kRightPassword);
    QTRY_COMPARE(nmraw::connectionsWithSsid("Home").size(), 1);
    const QDBusObjectPath first = nmraw::connectionsWithSsid("Home").first();
    QTRY_VERIFY(wm.isKnownConnection("Home"));
    sim.clearCalls();

    wm.connect(wm.seenNetworks.value("Home"), false, kRightPassword);
    const QStringList calls = sim.calls();
    const int deleted = calls.indexOf("Delete " + first.path());
    const int added = calls.indexOf(QRegularExpression("AddConnection .*"));
    QVERIFY(deleted >= 0 && added > deleted);
    QTRY_VERIFY(!nmraw::activeConnectionOf(nmraw::connectionsWithSsid("Home").value(0)).isEmpty());
    QCOMPARE(nmraw::connectionsWithSsid("Home").size(), 1);
  }

  void activateKnownNetwork() {
    sim.addAccessPoint("Saved", 70, NM::Security::Open);
    const QDBusObjectPath saved = nmraw::addConnection(nmraw::wifiProfile("Saved"));
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QVERIFY(wm.isKnownConnection("Saved"));
    QVERIFY(!wm.activateWifiConnection("Unknown").has_value());
    QVERIFY(sim.callsOf("ActivateConnection").isEmpty());

    QSignalSpy refresh(&wm, &WifiManager::refreshSignal);
    const std::optional<QDBusPendingCall> pending = wm.activateWifiConnection("Saved");
    QVERIFY(pending.has_value());
    QCOMPARE(refresh.count(), 1);
    QCOMPARE(wm.seenNetworks.value("Saved").connected, ConnectedType::CONNECTING);
    QDBusPendingCallWatcher watcher(*pending);
    watcher.waitForFinished();
    QVERIFY(!watcher.isError());
    QTRY_VERIFY(!nmraw::activeConnectionOf(saved).isEmpty());
  }

  void wrongPasswordDeletesConnection() {
    sim.addAccessPoint("Home", 70, NM::Security::Wpa2Psk, kRightPassword);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QSignalSpy wrong(&wm, &WifiManager::wrongPassword);

    wm.connect(wm.seenNetworks.value("Home"), false, kSentinel);
    QTRY_COMPARE(wrong.count(), 1);
    QCOMPARE(wrong.first().first().toString(), QStringLiteral("Home"));
    QTRY_VERIFY(!wm.isKnownConnection("Home"));
    QVERIFY(nmraw::connectionsWithSsid("Home").isEmpty());

    // The attempt's name is kept: a repeated report names it again.
    sim.setDeviceState(NM::DeviceState::NeedAuth, NM::Reason::SupplicantDisconnect);
    QTRY_COMPARE(wrong.count(), 2);
    QCOMPARE(wrong.last().first().toString(), QStringLiteral("Home"));

    wm.connect(wm.seenNetworks.value("Home"), false, kRightPassword);
    QTRY_VERIFY(wm.isKnownConnection("Home"));
    sim.settle();
    QVERIFY(refreshed(wm));
    QCOMPARE(wm.seenNetworks.value("Home").connected, ConnectedType::CONNECTED);
    QCOMPARE(wrong.count(), 2);
  }

  void needAuthWithOtherReasonIgnored() {
    sim.addAccessPoint("Home", 70, NM::Security::Wpa2Psk, kRightPassword);
    sim.setFault("ActivateConnection", NmSimulator::Fault::Stall);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QSignalSpy wrong(&wm, &WifiManager::wrongPassword);
    wm.connect(wm.seenNetworks.value("Home"), false, kSentinel);
    QTRY_VERIFY(wm.isKnownConnection("Home"));

    sim.setDeviceState(NM::DeviceState::NeedAuth, NM::Reason::NoSecrets);
    sim.settle();
    QCOMPARE(wrong.count(), 0);
    QVERIFY(wm.isKnownConnection("Home"));

    // Activated ends the attempt; a later wrong-password report has nothing to act on.
    sim.setDeviceState(NM::DeviceState::Activated, NM::Reason::None);
    sim.setDeviceState(NM::DeviceState::NeedAuth, NM::Reason::SupplicantDisconnect);
    sim.settle();
    QCOMPARE(wrong.count(), 0);
    QVERIFY(wm.isKnownConnection("Home"));
  }

  // How the real daemon ended a join in the Wi-Fi machine (after the states of the join itself):
  // a failure other than the key is reported once, with its reason; the attempt is over, the
  // network saved. A refused key, a join replaced by another and a forgotten network are not.
  void joinEndsUnjoined_data() {
    using S = NM::DeviceState;
    using R = NM::Reason;
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<int>("reported");  // the reason, or -1 for none
    QTest::newRow("access point gone") << Steps{{S::NeedAuth, R::None},
                                                {S::Prepare, R::None},
                                                {S::Config, R::None},
                                                {S::Failed, R::SsidNotFound},
                                                {S::Disconnected, R::None}}
                                       << int(R::SsidNotFound);
    QTest::newRow("no address") << Steps{{S::IpConfig, R::None},
                                         {S::Failed, R::IpConfigUnavailable},
                                         {S::Disconnected, R::None}}
                                << int(R::IpConfigUnavailable);
    QTest::newRow("supplicant gone") << Steps{{S::IpConfig, R::None}, {S::Unavailable, R::SupplicantFailed}}
                                     << int(R::SupplicantFailed);
    QTest::newRow("wrong key") << Steps{{S::NeedAuth, R::SupplicantDisconnect},
                                        {S::Failed, R::NoSecrets},
                                        {S::Disconnected, R::None}}
                               << -1;
    QTest::newRow("replaced by another join")
        << Steps{{S::Deactivating, R::NewActivation}, {S::Disconnected, R::NewActivation}} << -1;
    QTest::newRow("forgotten") << Steps{{S::Deactivating, R::ConnectionRemoved},
                                        {S::Disconnected, R::ConnectionRemoved}}
                               << -1;
  }

  void joinEndsUnjoined() {
    QFETCH(Steps, steps);
    QFETCH(int, reported);
    sim.addAccessPoint("Home", 70, NM::Security::Wpa2Psk, kRightPassword);
    sim.setFault("ActivateConnection", NmSimulator::Fault::Stall);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QSignalSpy failed(&wm, &WifiManager::connectionFailed);
    wm.connect(wm.seenNetworks.value("Home"), false, kRightPassword);
    QTRY_VERIFY(wm.isKnownConnection("Home"));

    for (const Step &step : steps) {
      sim.setDeviceState(step.state, step.reason);
    }
    sim.settle();
    if (reported < 0) {
      QCOMPARE(failed.count(), 0);
      return;
    }
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first(), (QVariantList{QStringLiteral("Home"), uint(reported)}));
    QCOMPARE(wm.seenNetworks.value("Home").connected, ConnectedType::DISCONNECTED);
    QVERIFY(wm.isKnownConnection("Home"));
    QCOMPARE(nmraw::connectionsWithSsid("Home").size(), 1);

    // The daemon retries the saved profile by itself; its failure is not the user's.
    sim.setDeviceState(NM::DeviceState::Failed, NM::Reason(reported));
    sim.settle();
    QCOMPARE(failed.count(), 1);
  }

  // Failures of attempts the user did not start: the daemon's own, and the hotspot's.
  void othersFailuresNotReported() {
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QSignalSpy failed(&wm, &WifiManager::connectionFailed);
    sim.setDeviceState(NM::DeviceState::Failed, NM::Reason::SsidNotFound);
    sim.settle();
    QCOMPARE(failed.count(), 0);

    sim.setFault("ActivateConnection", NmSimulator::Fault::Stall);
    wm.setTetheringEnabled(true);
    QTRY_COMPARE(sim.callsOf("ActivateConnection").size(), 1);
    sim.setDeviceState(NM::DeviceState::Failed, NM::Reason::ConfigFailed);
    sim.settle();
    QCOMPARE(failed.count(), 0);
  }

  // Forgetting the network being joined ends the attempt (the daemon drops it, 110/38): a failure
  // after it is not told under its name.
  void forgettingTheJoinedNetworkEndsTheAttempt() {
    sim.addAccessPoint("Home", 70, NM::Security::Wpa2Psk, kRightPassword);
    sim.setFault("ActivateConnection", NmSimulator::Fault::Stall);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QSignalSpy failed(&wm, &WifiManager::connectionFailed);
    wm.connect(wm.seenNetworks.value("Home"), false, kRightPassword);
    QTRY_VERIFY(wm.isKnownConnection("Home"));

    wm.forgetConnection("Home");
    QCOMPARE(wm.seenNetworks.value("Home").connected, ConnectedType::DISCONNECTED);
    QTRY_VERIFY(!wm.isKnownConnection("Home"));
    sim.setDeviceState(NM::DeviceState::Deactivating, NM::Reason::ConnectionRemoved);
    sim.setDeviceState(NM::DeviceState::Disconnected, NM::Reason::ConnectionRemoved);
    sim.setDeviceState(NM::DeviceState::Failed, NM::Reason::SsidNotFound);
    sim.settle();
    QCOMPARE(failed.count(), 0);
  }

  // A new key after a refused one is a new attempt: its own failure is reported.
  void failureAfterARefusedKeyReported() {
    sim.addAccessPoint("Home", 70, NM::Security::Wpa2Psk, kRightPassword);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QSignalSpy wrong(&wm, &WifiManager::wrongPassword);
    QSignalSpy failed(&wm, &WifiManager::connectionFailed);
    wm.connect(wm.seenNetworks.value("Home"), false, kSentinel);
    QTRY_COMPARE(wrong.count(), 1);

    QCOMPARE(sim.takeAway("Home"), 1);
    wm.connect(wm.seenNetworks.value("Home"), false, kRightPassword);
    QTRY_COMPARE(failed.count(), 1);
    QCOMPARE(failed.first(), (QVariantList{QStringLiteral("Home"), uint(NM::Reason::SsidNotFound)}));
    QCOMPARE(wrong.count(), 1);
  }

  void foreignConnectionNamedLikeHotspotNotActivated() {
    WifiManager wm(nullptr);
    nmraw::addConnection(nmraw::wifiProfile("vireda"));
    QTRY_VERIFY(wm.isKnownConnection("vireda"));
    sim.settle();
    QVERIFY(sim.callsOf("ActivateConnection").isEmpty());

    nmraw::addConnection(nmraw::wifiProfile("Neighbour"));
    QTRY_VERIFY(wm.isKnownConnection("Neighbour"));
    QTRY_COMPARE(sim.callsOf("ActivateConnection").size(), 1);
  }

  void forgetConnection() {
    const QDBusObjectPath saved = nmraw::addConnection(nmraw::wifiProfile("Saved"));
    WifiManager wm(nullptr);
    QVERIFY(wm.isKnownConnection("Saved"));
    wm.forgetConnection("Saved");
    QVERIFY(!nmraw::listConnections().contains(saved));
    QTRY_VERIFY(!wm.isKnownConnection("Saved"));
  }

  // Hotspot

  void tetheringOnPasswordChangeOff() {
    QTemporaryDir dir;
    const QString sudo_log = dir.filePath("sudo.log");
    qputenv("FAKE_SUDO_LOG", sudo_log.toUtf8());
    MessageLog log;
    WifiManager wm(nullptr);
    QVERIFY(!wm.isTetheringEnabled());

    wm.setTetheringEnabled(true);
    // Created and activated within the one call.
    QCOMPARE(sim.callsOf("AddConnection").size(), 1);
    QCOMPARE(sim.callsOf("ActivateConnection").size(), 1);
    QTRY_VERIFY(wm.isTetheringEnabled());
    QCOMPARE(wm.getTetheringPassword(), QStringLiteral("plumtreeorbit"));

    sim.clearCalls();
    wm.changeTetheringPassword(kSentinel);
    const QDBusObjectPath hotspot = nmraw::connectionsWithSsid("vireda").value(0);
    QCOMPARE(
        nmraw::secrets(hotspot, "802-11-wireless-security").value("802-11-wireless-security").value("psk").toString(),
        kSentinel);
    QCOMPARE(sim.callsOf("Update").size(), 1);
    QCOMPARE(sim.callsOf("ActivateConnection").size(), 1);  // picks up the new password
    QTRY_VERIFY(wm.isTetheringEnabled());
    QCOMPARE(wm.getTetheringPassword(), kSentinel);

    // Forwarding goes off 5 s after the first activation finished.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(sudo_log), 8000);
    QFile recorded(sudo_log);
    QVERIFY(recorded.open(QIODevice::ReadOnly));
    QCOMPARE(recorded.readAll(), QByteArray("sysctl net.ipv4.ip_forward=0\n"));
    QCOMPARE(log.count("net.ipv4.ip_forward = 0"), 1);

    sim.clearCalls();
    wm.setTetheringEnabled(false);
    QCOMPARE(sim.callsOf("DeactivateConnection").size(), 1);
    QTRY_VERIFY(!wm.isTetheringEnabled());
    sim.clearCalls();
    wm.setTetheringEnabled(false);
    QVERIFY(sim.callsOf("DeactivateConnection").isEmpty());
  }

  // A busy daemon saves the hotspot's profile after the bound: the hotspot still starts, once.
  void hotspotStartsWhenItsProfileIsSavedLate() {
    WifiManager wm(nullptr);
    sim.stall("AddConnection", 150);
    wm.setTetheringEnabled(true);
    QVERIFY(sim.callsOf("ActivateConnection").isEmpty());
    QTRY_VERIFY(wm.isTetheringEnabled());
    QCOMPARE(sim.callsOf("ActivateConnection").size(), 1);
    QCOMPARE(nmraw::connectionsWithSsid("vireda").size(), 1);
  }

  // While tethering, the daemon lists the device's own hotspot as the active access point: it is
  // no network to join. Someone else's network of the same name still is.
  void ownHotspotNotListed() {
    sim.addAccessPoint("Cafe", 60, NM::Security::Open);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    wm.setTetheringEnabled(true);
    QTRY_VERIFY(wm.isTetheringEnabled());
    sim.settle();
    QVERIFY(refreshed(wm));
    QVERIFY(wm.seenNetworks.contains("Cafe"));
    QVERIFY(!wm.seenNetworks.contains(kHotspotSsid));

    sim.addAccessPoint(kHotspotSsid.toUtf8(), 40, NM::Security::Wpa2Psk);
    QVERIFY(refreshed(wm));
    QCOMPARE(wm.seenNetworks.value(kHotspotSsid).strength, 40u);
  }

  // A second manager that must switch forwarding off starts the hotspot once the first one's
  // activation has finished: its switch-off comes after any the first one would make.
  void forwardingLeftAloneWhenAllowed() {
    QTemporaryDir dir;
    const QString sudo_log = dir.filePath("sudo.log");
    qputenv("FAKE_SUDO_LOG", sudo_log.toUtf8());
    WifiManager wm(nullptr);
    wm.ipv4_forward = true;
    wm.setTetheringEnabled(true);
    QTRY_VERIFY(wm.isTetheringEnabled());

    WifiManager witness(nullptr);
    witness.setTetheringEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(sudo_log), 8000);
    QFile recorded(sudo_log);
    QVERIFY(recorded.open(QIODevice::ReadOnly));
    QCOMPARE(recorded.readAll(), QByteArray("sysctl net.ipv4.ip_forward=0\n"));  // the witness's only
  }

  void changePasswordWithoutHotspotCreatesNothing() {
    WifiManager wm(nullptr);
    wm.changeTetheringPassword(kSentinel);
    QVERIFY(nmraw::connectionsWithSsid("vireda").isEmpty());
    QVERIFY(sim.callsOf("Update").isEmpty());
  }

  void deactivateSkipsConnectionsWithoutAccessPoint() {
    sim.addActiveConnection("802-3-ethernet", "10.0.0.5");
    WifiManager wm(nullptr);
    wm.setTetheringEnabled(true);
    QTRY_VERIFY(wm.isTetheringEnabled());
    const QString hotspot = nmraw::activeConnectionOf(nmraw::connectionsWithSsid("vireda").value(0));
    QVERIFY(!hotspot.isEmpty());
    sim.clearCalls();
    MessageLog log;

    wm.setTetheringEnabled(false);
    const QStringList calls = sim.calls();
    QCOMPARE(callsOf(calls, "Get").filter("SpecificObject").size(), 3);  // lo, wired, hotspot
    QCOMPARE(callsOf(calls, "Get").filter("Ssid").size(), 1);
    QCOMPARE(callsOf(calls, "DeactivateConnection"),
             QStringList{QStringLiteral("DeactivateConnection %1 \"%2\"").arg(NM_DBUS_PATH, hotspot)});
    QVERIFY(log.lines().isEmpty());
  }

  // Cellular and IPv4

  void ipv4AddressOfWifiConnection_data() {
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QString>("address");
    QTest::newRow("wired before wifi") << QStringList{"802-3-ethernet", "802-11-wireless"} << "192.168.7.7";
    QTest::newRow("wired only") << QStringList{"802-3-ethernet"} << "";
    QTest::newRow("two wifi") << QStringList{"802-11-wireless", "802-11-wireless"} << "192.168.7.6";
  }

  void ipv4AddressOfWifiConnection() {
    QFETCH(QStringList, types);
    QFETCH(QString, address);
    for (int i = 0; i < types.size(); ++i) {
      const QString ip = types[i] == "802-3-ethernet" ? "10.0.0.5" : QStringLiteral("192.168.7.%1").arg(6 + i);
      sim.addActiveConnection(types[i], ip);
    }
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QCOMPARE(wm.ipv4_address, address);
  }

  void cellularChangesRestartModem() {
    QVERIFY(sim.start(NmSimulator::WithModem));
    const QDBusObjectPath lte = nmraw::addConnection(lteConnection());
    const QString modem = nmraw::deviceOfType(NM::DeviceType::Modem);
    WifiManager wm(nullptr);
    sim.clearCalls();
    MessageLog log;

    wm.updateGsmSettings(true, "internet", false);
    QStringList calls = sim.calls();
    QCOMPARE(callsOf(calls, "UpdateUnsaved").size(), 1);
    QCOMPARE(callsOf(calls, "DeactivateConnection"),
             QStringList{QStringLiteral("DeactivateConnection %1 \"%2\"").arg(NM_DBUS_PATH, lte.path())});
    QCOMPARE(
        callsOf(calls, "ActivateConnection"),
        QStringList{QStringLiteral("ActivateConnection %1 \"%2\" \"%3\" \"/\"").arg(NM_DBUS_PATH, lte.path(), modem)});
    QCOMPARE(log.lines(), (QStringList{"Changing gsm.apn to \"internet\"", "Changing connection.metered to 2"}));
    Connection settings = nmraw::settings(lte);
    QCOMPARE(settings["gsm"].value("apn").toString(), QStringLiteral("internet"));
    QVERIFY(!settings["gsm"].value("auto-config").toBool());
    QVERIFY(!settings["gsm"].value("home-only").toBool());
    QCOMPARE(settings["connection"].value("metered").toInt(), 2);
    QCOMPARE(nmraw::secrets(lte, "gsm").value("gsm").value("password").toString(), kSentinel);

    sim.clearCalls();
    wm.updateGsmSettings(true, "internet", false);
    QVERIFY(sim.calls()
                .filter(QRegularExpression("^(Update|UpdateUnsaved|ActivateConnection|DeactivateConnection) "))
                .isEmpty());
    QCOMPARE(log.lines().size(), 2);

    wm.updateGsmSettings(false, "", true);
    settings = nmraw::settings(lte);
    QVERIFY(!settings["gsm"].contains("apn"));
    // With credentials the daemon keeps no automatic configuration, so none is asked for.
    QVERIFY(!settings["gsm"].value("auto-config").toBool());
    QVERIFY(settings["gsm"].value("home-only").toBool());
    QCOMPARE(settings["connection"].value("metered").toInt(), 0);

    sim.clearCalls();
    const int lines = log.lines().size();
    wm.updateGsmSettings(false, "", true);
    QVERIFY(sim.callsOf("UpdateUnsaved").isEmpty());
    QCOMPARE(log.lines().size(), lines);
  }

  void cellularAutomaticApnWithoutCredentials() {
    QVERIFY(sim.start(NmSimulator::WithModem));
    Connection profile = lteConnection();
    profile["gsm"].remove("username");
    profile["gsm"].remove("password");
    const QDBusObjectPath lte = nmraw::addConnection(profile);
    WifiManager wm(nullptr);
    wm.updateGsmSettings(true, "internet", true);
    QVERIFY(!nmraw::settings(lte)["gsm"].value("auto-config").toBool());

    MessageLog log;
    wm.updateGsmSettings(true, "", true);
    const Connection settings = nmraw::settings(lte);
    QVERIFY(!settings["gsm"].contains("apn"));
    QVERIFY(settings["gsm"].value("auto-config").toBool());
    QCOMPARE(log.lines(), (QStringList{"Changing gsm.auto-config to true", "Changing gsm.apn to \"\""}));

    sim.clearCalls();
    wm.updateGsmSettings(true, "", true);
    QVERIFY(sim.callsOf("UpdateUnsaved").isEmpty());
    QCOMPARE(log.lines().size(), 2);
  }

  void cellularSettingsUnreadableSendsNothing() {
    QVERIFY(sim.start(NmSimulator::WithModem));
    const QDBusObjectPath lte = nmraw::addConnection(lteConnection());
    WifiManager wm(nullptr);
    sim.setFault("GetSettings", NmSimulator::Fault::Error);
    sim.clearCalls();
    wm.updateGsmSettings(true, "internet", true);
    QVERIFY(
        sim.calls().filter(QRegularExpression("^(UpdateUnsaved|ActivateConnection|DeactivateConnection) ")).isEmpty());
  }

  void sampleNetworksAndHiddenJoin() {
    QVERIFY(sim.start(NmSimulator::Defaults, qEnvironmentVariable("NM_SAMPLE_NETWORKS")));
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QCOMPARE(wm.seenNetworks.size(), 6);  // the hidden one shows no name
    QCOMPARE(wm.seenNetworks.value("Harbour Cafe").security_type, SecurityType::OPEN);
    QCOMPARE(wm.seenNetworks.value("Fernhill Home").security_type, SecurityType::WPA);
    QCOMPARE(wm.seenNetworks.value("Campus Secure").security_type, SecurityType::UNSUPPORTED);
    // Its kind, "enterprise", advertises what a WPA2-Enterprise network does: CCMP, 802.1X key management only.
    const QVariantMap campus = accessPointNamed("Campus Secure");
    QCOMPARE(campus.value("RsnFlags").toUInt(),
             uint(NM::ApSecurity::PairCcmp | NM::ApSecurity::GroupCcmp | NM::ApSecurity::KeyMgmt8021X));

    QSignalSpy wrong(&wm, &WifiManager::wrongPassword);
    const auto before = nmraw::listConnections();
    wm.connect(Network{"Attic", 0, ConnectedType::DISCONNECTED, SecurityType::WPA}, true, "hidden-attic");
    const auto added = nmraw::newConnections(before);
    QCOMPARE(added.size(), 1);
    QVERIFY(nmraw::settings(added.first())["802-11-wireless"].value("hidden").toBool());
    QTRY_VERIFY(!nmraw::activeConnectionOf(added.first()).isEmpty());
    sim.settle();
    QVERIFY(refreshed(wm));
    QCOMPARE(wm.seenNetworks.value("Attic").connected, ConnectedType::CONNECTED);
    QCOMPARE(wrong.count(), 0);
  }

  // Every place a password passes: standard output and error, log records, the simulator.
  void passwordsNeverLogged() {
    QVERIFY(sim.start(NmSimulator::WithModem));
    sim.addAccessPoint("Home", 70, NM::Security::Wpa2Psk, kRightPassword);
    nmraw::addConnection(lteConnection());
    QByteArray output;
    {
      OutputCapture capture;
      WifiManager wm(nullptr);
      QVERIFY(started(wm));
      QSignalSpy wrong(&wm, &WifiManager::wrongPassword);
      wm.connect(wm.seenNetworks.value("Home"), false, kSentinel);
      QTRY_COMPARE(wrong.count(), 1);
      wm.setTetheringEnabled(true);
      wm.changeTetheringPassword(kSentinel);
      QCOMPARE(wm.getTetheringPassword(), kSentinel);
      wm.updateGsmSettings(false, "internet", true);
      Connection settings;
      settings["connection"] = {{"type", "802-11-wireless"}, {"id", "probe"}};
      settings["802-11-wireless"] = {{"ssid", QByteArray("Probe")}};
      settings["802-11-wireless-security"] = {{"key-mgmt", "wpa-psk"}, {"psk", kSentinel}};
      call<QDBusObjectPath>(NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS, "AddConnection",
                            QVariant::fromValue(settings));
      output = capture.text();
    }
    QVERIFY(output.contains("Variant unpacking failure :"));
    QVERIFY(output.contains("<hidden>"));
    QVERIFY(!output.contains(kSentinel.toUtf8()));
    QVERIFY(!recordsOf(*collector).join('\n').contains(kSentinel));
    const QString calls = sim.calls().join('\n');
    QVERIFY(calls.contains("<hidden>"));
    QVERIFY(!calls.contains(kSentinel));
    sim.stop();
    QVERIFY(!sim.output().contains(kSentinel.toUtf8()));
  }
};

QTEST_GUILESS_MAIN(tst_WifiManager)
#include "test_wifi_manager.moc"
