// What WifiManager sends to NetworkManager's settings service, checked by reading it
// back. The same cases run against the real daemon and against the simulator.

#include <QDBusConnection>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include "tests/fixtures/bus_monitor.h"
#include "tests/fixtures/nm_raw.h"
#include "tests/fixtures/nm_simulator.h"
#include "ui/qt/network/wifi_manager.h"

Q_DECLARE_METATYPE(SecurityType)

namespace {

const QString kSentinel = QStringLiteral("sentinel-Pw-5vQ8");
const QString kSecurity = QStringLiteral("802-11-wireless-security");

}  // namespace

class tst_NmContract : public QObject {
  Q_OBJECT

private:
  QTemporaryDir params_root;
  QList<QDBusObjectPath> connections_before;

private slots:
  void initTestCase() {
    QVERIFY(params_root.isValid());
    qputenv("PARAMS_ROOT", params_root.path().toUtf8());
    qputenv("HALCYRA_PREFIX", QByteArray("nm-contract-") + QByteArray::number(QCoreApplication::applicationPid()));
    nm::registerTypes();
    QVERIFY(QDBusConnection::systemBus().isConnected());
  }

  void init() { connections_before = nmraw::listConnections(); }

  // A case that failed half-way leaves nothing behind for the next one.
  void cleanup() {
    for (const QDBusObjectPath &path : nmraw::newConnections(connections_before)) {
      nmraw::deleteConnection(path);
    }
  }

  void wifiConnectionReadsBack_data() {
    QTest::addColumn<QByteArray>("ssid");
    QTest::addColumn<SecurityType>("security");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("psk") << QByteArray("Home") << SecurityType::WPA << false;
    QTest::newRow("open") << QByteArray("Cafe") << SecurityType::OPEN << false;
    QTest::newRow("hidden psk") << QByteArray("Attic") << SecurityType::WPA << true;
  }

  void wifiConnectionReadsBack() {
    QFETCH(QByteArray, ssid);
    QFETCH(SecurityType, security);
    QFETCH(bool, hidden);
    WifiManager wm(nullptr);
    const auto before = nmraw::listConnections();

    wm.connect(Network{ssid, 70, ConnectedType::DISCONNECTED, security}, hidden, kSentinel);

    const auto added = nmraw::newConnections(before);
    QCOMPARE(added.size(), 1);
    Connection s = nmraw::settings(added.first());
    QCOMPARE(s["connection"].value("type").toString(), QStringLiteral("802-11-wireless"));
    QCOMPARE(s["connection"].value("id").toString(), "halcyra connection " + QString::fromUtf8(ssid));
    QVERIFY(QRegularExpression("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$")
                .match(s["connection"].value("uuid").toString())
                .hasMatch());
    QCOMPARE(s["connection"].value("autoconnect-retries").toInt(), 0);
    QVERIFY(s["connection"].contains("autoconnect-retries"));
    QCOMPARE(s["802-11-wireless"].value("ssid").toByteArray(), ssid);
    QCOMPARE(s["802-11-wireless"].value("hidden").toBool(), hidden);
    QCOMPARE(s["802-11-wireless"].value("mode").toString(), QStringLiteral("infrastructure"));
    QCOMPARE(s["ipv4"].value("method").toString(), QStringLiteral("auto"));
    QCOMPARE(s["ipv4"].value("dns-priority").toInt(), 600);
    QCOMPARE(s["ipv6"].value("method").toString(), QStringLiteral("ignore"));
    if (security == SecurityType::WPA) {
      QCOMPARE(s[kSecurity].value("key-mgmt").toString(), QStringLiteral("wpa-psk"));
      QCOMPARE(s[kSecurity].value("auth-alg").toString(), QStringLiteral("open"));
      QVERIFY(!s[kSecurity].contains("psk"));  // secrets never come with the settings
      QCOMPARE(nmraw::secrets(added.first(), kSecurity).value(kSecurity).value("psk").toString(), kSentinel);
    } else {
      QVERIFY(!s.contains(kSecurity));
    }
    QVERIFY(nmraw::deleteConnection(added.first()));
  }

  void hotspotCreatedReadAndChanged() {
    WifiManager wm(nullptr);
    // Created and read back within the one call.
    QCOMPARE(wm.getTetheringPassword(), QStringLiteral("plumtreeorbit"));
    const auto hotspots = nmraw::connectionsWithSsid("vireda");
    QCOMPARE(hotspots.size(), 1);
    const QDBusObjectPath hotspot = hotspots.first();

    Connection s = nmraw::settings(hotspot);
    QCOMPARE(s["connection"].value("id").toString(), QStringLiteral("Hotspot"));
    QCOMPARE(s["connection"].value("type").toString(), QStringLiteral("802-11-wireless"));
    QCOMPARE(s["connection"].value("interface-name").toString(), QStringLiteral("wlan0"));
    QVERIFY(s["connection"].contains("autoconnect"));
    QVERIFY(!s["connection"].value("autoconnect").toBool());
    QCOMPARE(s["802-11-wireless"].value("band").toString(), QStringLiteral("bg"));
    QCOMPARE(s["802-11-wireless"].value("mode").toString(), QStringLiteral("ap"));
    QCOMPARE(s[kSecurity].value("key-mgmt").toString(), QStringLiteral("wpa-psk"));
    QCOMPARE(s[kSecurity].value("proto").toStringList(), QStringList{"rsn"});
    QCOMPARE(s[kSecurity].value("pairwise").toStringList(), QStringList{"ccmp"});
    QCOMPARE(s[kSecurity].value("group").toStringList(), QStringList{"ccmp"});
    QCOMPARE(s["ipv4"].value("method").toString(), QStringLiteral("shared"));
    QCOMPARE(s["ipv4"].value("gateway").toString(), QStringLiteral("192.168.43.1"));
    QCOMPARE(s["ipv4"].value("route-metric").toLongLong(), 1100);
    const IpConfig addresses = qdbus_cast<IpConfig>(s["ipv4"].value("address-data"));
    QCOMPARE(addresses.size(), 1);
    QCOMPARE(addresses.first().value("address").toString(), QStringLiteral("192.168.43.1"));
    QCOMPARE(addresses.first().value("prefix").toUInt(), 24u);
    QCOMPARE(s["ipv6"].value("method").toString(), QStringLiteral("ignore"));

    wm.changeTetheringPassword(kSentinel);
    QCOMPARE(nmraw::secrets(hotspot, kSecurity).value(kSecurity).value("psk").toString(), kSentinel);
    QCOMPARE(nmraw::settings(hotspot)["ipv4"].value("route-metric").toLongLong(), 1100);
    QCOMPARE(wm.getTetheringPassword(), kSentinel);

    // The next start finds it again instead of making another.
    WifiManager next(nullptr);
    QCOMPARE(next.getTetheringPassword(), kSentinel);
    QCOMPARE(nmraw::connectionsWithSsid("vireda").size(), 1);
    QVERIFY(nmraw::deleteConnection(hotspot));
  }

  void savedConnectionsFoundAndForgotten() {
    const QDBusObjectPath saved = nmraw::addConnection(nmraw::wifiProfile("Saved"));
    QVERIFY(!saved.path().isEmpty());

    WifiManager wm(nullptr);
    QVERIFY(wm.isKnownConnection("Saved"));
    QVERIFY(!wm.isKnownConnection("Unsaved"));
    wm.forgetConnection("Saved");
    QVERIFY(!nmraw::listConnections().contains(saved));
  }

  // The daemon holds no automatic configuration for a profile with a user name or a password,
  // so asking for it again must not count as a change: every change restarts the modem link.
  void gsmSettingsAppliedOnce_data() {
    QTest::addColumn<QString>("username");
    QTest::addColumn<QString>("password");
    QTest::newRow("automatic profile") << QString() << QString();
    QTest::newRow("user name only") << "apn-user" << QString();
    QTest::newRow("password only") << QString() << kSentinel;
    QTest::newRow("profile with credentials") << "apn-user" << kSentinel;
  }

  void gsmSettingsAppliedOnce() {
    QFETCH(QString, username);
    QFETCH(QString, password);
    const QDBusObjectPath lte = nmraw::addConnection(nmraw::gsmProfile(username, password));
    QVERIFY(!lte.path().isEmpty());
    BusMonitor monitor;
    QVERIFY(monitor.start());
    WifiManager wm(nullptr);
    const QRegularExpression restart(
        QStringLiteral("^(Update|UpdateUnsaved|ActivateConnection|DeactivateConnection) "));

    struct Options {
      bool roaming;
      QString apn;
      bool metered;
    };
    for (const Options &o : {Options{false, "internet", true}, Options{true, "", false}}) {
      monitor.takeCalls();
      wm.updateGsmSettings(o.roaming, o.apn, o.metered);
      QCOMPARE(callsOf(monitor.takeCalls(), "UpdateUnsaved").size(), 1);
      const Connection s = nmraw::settings(lte);
      QCOMPARE(s["gsm"].value("apn").toString(), o.apn);
      QCOMPARE(s["gsm"].contains("apn"), !o.apn.isEmpty());
      QCOMPARE(s["gsm"].value("auto-config").toBool(), o.apn.isEmpty() && username.isEmpty() && password.isEmpty());
      QCOMPARE(s["gsm"].value("home-only").toBool(), !o.roaming);
      QCOMPARE(s["connection"].value("metered").toInt(), o.metered ? 0 : 2);

      // The same options again send nothing.
      wm.updateGsmSettings(o.roaming, o.apn, o.metered);
      const QStringList again = monitor.takeCalls();
      QVERIFY2(again.filter(restart).isEmpty(), qPrintable(again.join('\n')));
      const Connection after = nmraw::settings(lte);
      QCOMPARE(after.value("gsm"), s.value("gsm"));
      QCOMPARE(after.value("connection"), s.value("connection"));
    }
    QVERIFY(nmraw::deleteConnection(lte));
  }
};

QTEST_GUILESS_MAIN(tst_NmContract)
#include "test_nm_contract.moc"
