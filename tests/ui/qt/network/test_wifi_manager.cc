#include <QDBusReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "common/params.h"
#include "tests/ui/qt/network/nm_fixture.h"
#include "ui/qt/network/wifi_manager.h"

Q_DECLARE_METATYPE(Network)
Q_DECLARE_METATYPE(SecurityType)
Q_DECLARE_METATYPE(ConnectedType)

namespace {

// Used as the password wherever one is sent; it must never show in any output.
const QString kSentinel = QStringLiteral("sentinel-Pw-5vQ8");
const QString kRightPassword = QStringLiteral("right-password");

constexpr unsigned int kDeviceWifi = 2;
constexpr unsigned int kDeviceModem = 8;

QStringList callsOf(const QStringList &calls, const QString &member) {
  return calls.filter(QRegularExpression(QStringLiteral("^") + member + QStringLiteral(" ")));
}

Network network(const QByteArray &ssid, unsigned int strength, ConnectedType connected = ConnectedType::DISCONNECTED,
                SecurityType security = SecurityType::OPEN) {
  return Network{ssid, strength, connected, security};
}

QList<QDBusObjectPath> connectionsWithSsid(const QByteArray &ssid) {
  QList<QDBusObjectPath> found;
  for (const QDBusObjectPath &path : nmraw::listConnections()) {
    if (nmraw::settings(path).value("802-11-wireless").value("ssid").toByteArray() == ssid) {
      found << path;
    }
  }
  return found;
}

}  // namespace

class tst_WifiManager : public QObject {
  Q_OBJECT

private:
  Simulator sim;
  QTemporaryDir params_root;
  LogRecords *records = nullptr;

  // Lets the manager handle everything the simulator has sent so far.
  void settle(int ms = 300) { QTest::qWait(ms); }

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
    qputenv("HALCYRA_PREFIX", QByteArray("nm-test-") + QByteArray::number(QCoreApplication::applicationPid()));
    records = new LogRecords;
  }

  void cleanupTestCase() { delete records; }

  void init() {
    setDongleId({});
    QVERIFY(sim.start());
    records->take(0);
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
    QTest::newRow("no flags") << 0x0u << 0x0u << 0x0u << SecurityType::OPEN;
    QTest::newRow("privacy, psk ccmp") << 0x1u << 0x0u << 0x188u << SecurityType::WPA;
    QTest::newRow("privacy, wpa1 psk tkip") << 0x1u << 0x144u << 0x0u << SecurityType::WPA;
    QTest::newRow("privacy, psk and 802.1x") << 0x1u << 0x0u << 0x388u << SecurityType::UNSUPPORTED;
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
    const QStringList warnings = records->take().filter(warning);
    QCOMPARE(warnings.size(), type == SecurityType::UNSUPPORTED ? 1 : 0);
    if (!warnings.isEmpty()) {
      QVERIFY(warnings.first().contains("\"levelnum\": 30"));
    }
  }

  void tableKeepsBestStrengthFirstSecurityAndSkipsHidden() {
    sim.addAccessPoint(QByteArray("Dup\0tail", 8), 40, kWpa2, kRightPassword);
    sim.addAccessPoint("Dup", 75, kOpen);
    sim.addAccessPoint("Dup", 20, kOpen);
    sim.addAccessPoint("", 90, kWpa2);
    sim.addAccessPoint("Other", 30, kOpen);
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
    const QDBusObjectPath cafe = sim.addAccessPoint("Cafe", 60, kOpen);
    const QDBusObjectPath home = sim.addAccessPoint("Home", 70, kWpa2, kRightPassword);
    sim.control("SetActiveAccessPoint", {QVariant::fromValue(cafe)});
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QCOMPARE(wm.seenNetworks.value("Cafe").connected, ConnectedType::CONNECTED);
    QCOMPARE(wm.seenNetworks.value("Home").connected, ConnectedType::DISCONNECTED);

    // An attempt in progress shows as connecting once its access point is the active one.
    sim.setFault("ActivateConnection", "stall");
    wm.connect(wm.seenNetworks.value("Home"), false, kSentinel);
    QTRY_VERIFY(wm.isKnownConnection("Home"));
    sim.control("SetActiveAccessPoint", {QVariant::fromValue(home)});
    settle();
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

    QCOMPARE(wm.getTetheringPassword(), QStringLiteral("plumtreeorbit"));
    QCOMPARE(connectionsWithSsid(ssid).size(), 1);
  }

  // Scanning and signals

  void nothingRefreshedWhileStopped() {
    sim.addAccessPoint("Cafe", 60, kOpen);
    WifiManager wm(nullptr);
    QSignalSpy spy(&wm, &WifiManager::refreshSignal);
    sim.finishScan();
    sim.control("EmitStateChanged", {100u, 70u, 0u});
    settle();
    QCOMPARE(spy.count(), 0);
    QVERIFY(wm.seenNetworks.isEmpty());

    QVERIFY(started(wm));
    QCOMPARE(wm.seenNetworks.size(), 1);
    QVERIFY(callsOf(sim.calls(), "RequestScan").size() >= 1);

    wm.stop();
    spy.clear();
    sim.clearCalls();
    sim.finishScan();
    settle();
    QCOMPARE(spy.count(), 0);
    QVERIFY(callsOf(sim.calls(), "GetAllAccessPoints").isEmpty());
  }

  void wifiDeviceAddedLate() {
    QVERIFY(sim.start({"--scan-delay", "-1", "--no-wifi"}));
    sim.addAccessPoint("Cafe", 60, kOpen);
    WifiManager wm(nullptr);
    QSignalSpy spy(&wm, &WifiManager::refreshSignal);
    wm.start();
    sim.addDevice(kDeviceModem, "cdc-wdm0");
    settle();
    QCOMPARE(spy.count(), 0);
    QVERIFY(callsOf(sim.calls(), "RequestScan").isEmpty());

    const QDBusObjectPath wlan = sim.addDevice(kDeviceWifi, "wlan0");
    QTRY_COMPARE(callsOf(sim.calls(), "RequestScan").size(), 1);
    QVERIFY(callsOf(sim.calls(), "RequestScan").first().contains(wlan.path()));
    QVERIFY(refreshed(wm));
    QCOMPARE(wm.seenNetworks.keys(), QStringList{"Cafe"});

    // A second Wi-Fi device is not taken.
    const QDBusObjectPath second = sim.addDevice(kDeviceWifi, "wlan1");
    settle();
    QVERIFY(callsOf(sim.calls(), "RequestScan").filter(second.path()).isEmpty());
  }

  void propertiesChangedFiltered() {
    const QDBusObjectPath cafe = sim.addAccessPoint("Cafe", 60, kOpen);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QSignalSpy spy(&wm, &WifiManager::refreshSignal);

    sim.control("EmitPropertiesChanged", {NM_DBUS_INTERFACE_DEVICE, QVariantMap{{"LastScan", qint64(1)}}});
    sim.control("EmitPropertiesChanged", {NM_DBUS_INTERFACE_DEVICE_WIRELESS, QVariantMap{{"Bitrate", 54u}}});
    settle();
    QCOMPARE(spy.count(), 0);

    // With both keys only the scan counts: the active access point is not taken over.
    sim.control("EmitPropertiesChanged",
                {NM_DBUS_INTERFACE_DEVICE_WIRELESS,
                 QVariantMap{{"LastScan", qint64(2)}, {"ActiveAccessPoint", QVariant::fromValue(cafe)}}});
    QVERIFY(spy.wait(5000));
    QCOMPARE(wm.seenNetworks.value("Cafe").connected, ConnectedType::DISCONNECTED);

    sim.control("EmitPropertiesChanged",
                {NM_DBUS_INTERFACE_DEVICE_WIRELESS, QVariantMap{{"ActiveAccessPoint", QVariant::fromValue(cafe)}}});
    settle();
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
    settle(100);
    QCOMPARE(spy.count(), 0);
    QVERIFY(wm.seenNetworks.isEmpty());
  }

  void stalledCallsAreBounded() {
    sim.setFault("GetDevices", "stall");
    sim.setFault("ListConnections", "stall");
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
    QTest::addColumn<QString>("fault");
    QTest::newRow("error reply") << "error";
    QTest::newRow("wrong type") << "wrongtype";
  }

  void failedAccessPointListEmptiesTable() {
    QFETCH(QString, fault);
    sim.addAccessPoint("Cafe", 60, kOpen);
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QCOMPARE(wm.seenNetworks.size(), 1);

    sim.setFault("GetAllAccessPoints", fault);
    MessageLog log;
    QSignalSpy spy(&wm, &WifiManager::refreshSignal);
    sim.finishScan();
    QTRY_COMPARE(log.count("Failed to refresh"), 1);
    settle(100);
    QCOMPARE(spy.count(), 0);
    QVERIFY(wm.seenNetworks.isEmpty());
  }

  void failedPropertiesSkipAccessPoint() {
    const QDBusObjectPath ap = sim.addAccessPoint("Cafe", 60, kOpen);
    WifiManager wm(nullptr);
    sim.setFault("GetAll", "error");
    MessageLog log;
    QVERIFY(started(wm));
    QVERIFY(wm.seenNetworks.isEmpty());
    QVERIFY(log.lines().contains(QStringLiteral("Failed to retrieve properties for path: \"%1\"").arg(ap.path())));
  }

  void thousandAccessPoints() {
    for (int i = 0; i < 1000; ++i) {
      sim.addAccessPoint("Net-" + QByteArray::number(i), i % 101, i % 2 ? kWpa2 : kOpen, kRightPassword);
    }
    WifiManager wm(nullptr);
    QVERIFY(started(wm));
    QCOMPARE(wm.seenNetworks.size(), 1000);
    QCOMPARE(wm.seenNetworks.value("Net-999").strength, 999u % 101);
    QCOMPARE(wm.seenNetworks.value("Net-999").security_type, SecurityType::WPA);
  }
};

QTEST_GUILESS_MAIN(tst_WifiManager)
#include "test_wifi_manager.moc"
