#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include "tests/fixtures/bus_monitor.h"
#include "tests/fixtures/message_log.h"
#include "tests/fixtures/nm_raw.h"
#include "tests/fixtures/nm_simulator.h"
#include "ui/qt/network/nm_dbus.h"

namespace {

const QString kSentinel = QStringLiteral("sentinel-Pw-5vQ8");

}  // namespace

class tst_NmDbus : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    nm::registerTypes();
    QVERIFY(sim.start());
    device = nmraw::deviceOfType(NM::DeviceType::Wifi);
    QVERIFY(!device.isEmpty());
  }

  void emptyPath_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("empty");
    QTest::newRow("empty string") << QString() << true;
    QTest::newRow("root") << QStringLiteral("/") << true;
    QTest::newRow("access point") << QStringLiteral("/org/freedesktop/NetworkManager/AccessPoint/3") << false;
    QTest::newRow("service path") << NM_DBUS_PATH << false;
  }

  void emptyPath() {
    QFETCH(QString, path);
    QFETCH(bool, empty);
    QCOMPARE(::emptyPath(path), empty);
  }

  void readsEachResultType() {
    const QDBusObjectPath ap = sim.addAccessPoint(QByteArray("Caf\xc3\xa9", 5), 61);
    MessageLog log;

    QCOMPARE(call<unsigned int>(device, NM_DBUS_INTERFACE_PROPERTIES, "Get", NM_DBUS_INTERFACE_DEVICE, "DeviceType"),
             2u);
    QCOMPARE(call<QDBusObjectPath>(device, NM_DBUS_INTERFACE_PROPERTIES, "Get", NM_DBUS_INTERFACE_DEVICE_WIRELESS,
                                   "ActiveAccessPoint")
                 .path(),
             QStringLiteral("/"));
    QCOMPARE(call<QByteArray>(ap.path(), NM_DBUS_INTERFACE_PROPERTIES, "Get", NM_DBUS_INTERFACE_ACCESS_POINT, "Ssid"),
             QByteArray("Caf\xc3\xa9", 5));
    QCOMPARE(call<QString>(device, NM_DBUS_INTERFACE_PROPERTIES, "Get", NM_DBUS_INTERFACE_DEVICE, "Interface"),
             QStringLiteral("wlan0"));
    const QDBusArgument active =
        call<QDBusArgument>(NM_DBUS_PATH, NM_DBUS_INTERFACE_PROPERTIES, "Get", NM_DBUS_INTERFACE, "ActiveConnections");
    QCOMPARE(active.currentSignature(), QStringLiteral("ao"));

    const QDBusReply<QVariantMap> all = call<QDBusMessage>(ap.path(), NM_DBUS_INTERFACE_PROPERTIES,
                                                           QStringLiteral("GetAll"), NM_DBUS_INTERFACE_ACCESS_POINT);
    QVERIFY(all.isValid());
    QCOMPARE(all.value().value("Strength").toUInt(), 61u);
    QVERIFY(log.lines().isEmpty());
  }

  void failureGivesEmptyValueAndOneLine_data() {
    QTest::addColumn<QString>("property");
    QTest::addColumn<NmSimulator::Fault>("fault");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("min_ms");
    QTest::newRow("no such property") << "NoSuchProperty" << NmSimulator::Fault::None << "DBus call error:" << 0;
    QTest::newRow("no answer") << "DeviceType" << NmSimulator::Fault::Stall << "DBus call error:" << 95;
    QTest::newRow("error reply") << "DeviceType" << NmSimulator::Fault::Error << "DBus call error:" << 0;
    QTest::newRow("wrong type") << "DeviceType" << NmSimulator::Fault::WrongType
                                << "Variant unpacking failure : \"Get\" , \"org.freedesktop.NetworkManager.Device\" "
                                   "\"DeviceType\""
                                << 0;
  }

  void failureGivesEmptyValueAndOneLine() {
    QFETCH(QString, property);
    QFETCH(NmSimulator::Fault, fault);
    QFETCH(QString, line);
    QFETCH(int, min_ms);
    sim.setFault(property, fault);
    MessageLog log;
    QElapsedTimer elapsed;
    elapsed.start();

    const unsigned int value = call<unsigned int>(device, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("Get"),
                                                  NM_DBUS_INTERFACE_DEVICE, property);

    const qint64 ms = elapsed.elapsed();
    sim.setFault(property, NmSimulator::Fault::None);
    QCOMPARE(value, 0u);
    QCOMPARE(log.lines().size(), 1);
    QVERIFY2(log.lines().first().startsWith(line), qPrintable(log.lines().first()));
    QVERIFY2(ms >= min_ms, qPrintable(QString::number(ms)));
    // Bounded by the call's own time-out, far below the bus default of 25 s.
    QVERIFY2(ms < 2000, qPrintable(QString::number(ms)));
  }

  void messageAfterErrorIsInvalid() {
    MessageLog log;
    const QDBusMessage message = call<QDBusMessage>(
        NM_DBUS_PATH_SETTINGS + "/999", NM_DBUS_INTERFACE_SETTINGS_CONNECTION, QStringLiteral("GetSettings"));
    QCOMPARE(message.type(), QDBusMessage::InvalidMessage);
    const QDBusReply<Connection> reply(message);
    QVERIFY(!reply.isValid());
    QVERIFY(reply.value().isEmpty());
    QCOMPARE(log.count("DBus call error:"), 1);
  }

  void replyWithoutArgumentsIsSilent() {
    MessageLog log;
    QCOMPARE(
        call<unsigned int>(device, NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("RequestScan"), QVariantMap()),
        0u);
    QVERIFY(log.lines().isEmpty());
  }

  // The daemon answers AddConnection with a bare path; asking for a typed result renders
  // the arguments, which must not reveal the key.
  void unpackingFailureHidesSecrets() {
    Connection settings;
    settings["connection"] = {{"type", "802-11-wireless"}, {"id", "probe"}};
    settings["802-11-wireless"] = {{"ssid", QByteArray("Probe")}};
    settings["802-11-wireless-security"] = {{"key-mgmt", "wpa-psk"}, {"psk", kSentinel}};
    MessageLog log;

    const QDBusObjectPath path = call<QDBusObjectPath>(NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS,
                                                       QStringLiteral("AddConnection"), QVariant::fromValue(settings));

    QVERIFY(path.path().isEmpty());
    QCOMPARE(log.lines().size(), 1);
    const QString line = log.lines().first();
    QVERIFY2(line.startsWith("Variant unpacking failure : \"AddConnection\" ,"), qPrintable(line));
    QVERIFY2(line.contains("<hidden>") && line.contains("wpa-psk"), qPrintable(line));
    QVERIFY(!line.contains(kSentinel));
  }

  void asyncCallReportsNothing() {
    sim.setFault(QStringLiteral("GetAllAccessPoints"), NmSimulator::Fault::Error);
    MessageLog log;
    QDBusPendingCallWatcher failing(asyncCall(device, NM_DBUS_INTERFACE_DEVICE_WIRELESS, "GetAllAccessPoints"));
    failing.waitForFinished();
    sim.setFault(QStringLiteral("GetAllAccessPoints"), NmSimulator::Fault::None);
    QVERIFY(failing.isError());

    QDBusPendingCallWatcher working(asyncCall(device, NM_DBUS_INTERFACE_DEVICE_WIRELESS, "GetAllAccessPoints"));
    working.waitForFinished();
    QVERIFY(!working.isError());
    QVERIFY(log.lines().isEmpty());
  }

  // NetworkManager's name for no object, and a path never read: nothing is sent there, and
  // each kind of call gives at once what a failed call gives, without a report.
  void noObjectIsNotCalled_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("root") << QStringLiteral("/");
    QTest::newRow("empty") << QString();
  }

  void noObjectIsNotCalled() {
    QFETCH(QString, path);
    const QDBusObjectPath ap = sim.addAccessPoint("Listed", 40);
    const QDBusObjectPath none = path.isEmpty() ? QDBusObjectPath() : QDBusObjectPath(path);
    BusMonitor monitor;
    QVERIFY(monitor.start());
    MessageLog log;

    QCOMPARE(call<unsigned int>(path, NM_DBUS_INTERFACE_PROPERTIES, "Get", NM_DBUS_INTERFACE_DEVICE, "DeviceType"), 0u);
    QVERIFY(nm::addressData(none).isEmpty());
    QCOMPARE(
        call<QDBusMessage>(path, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("GetAll"), NM_DBUS_INTERFACE_IP4_CONFIG)
            .type(),
        QDBusMessage::InvalidMessage);
    QVERIFY(nm::settings(none).isEmpty());

    QDBusPendingCallWatcher async(asyncCall(path, NM_DBUS_INTERFACE_DEVICE_WIRELESS, "GetAllAccessPoints"));
    QSignalSpy finished(&async, &QDBusPendingCallWatcher::finished);
    QVERIFY(finished.wait());
    QVERIFY(async.isError());
    QVERIFY(!nm::accessPoints(async));

    // Among other objects, the others are read and the replies keep their order.
    const QVector<std::optional<QVariantMap>> each = nm::accessPointProperties({none, ap});
    QCOMPARE(each.size(), 2);
    QVERIFY(!each[0]);
    QVERIFY(each[1]);
    QCOMPARE(each[1]->value("Strength").toUInt(), 40u);

    QCOMPARE(monitor.takeCalls(), QStringList{"GetAll " + ap.path()});
    QVERIFY2(log.lines().isEmpty(), qPrintable(log.lines().join('\n')));
    QVERIFY(sim.removeAccessPoint(ap));
  }

  void networkManagerAbsent() {
    sim.stop();
    MessageLog log;
    QCOMPARE(call<unsigned int>(device, NM_DBUS_INTERFACE_PROPERTIES, "Get", NM_DBUS_INTERFACE_DEVICE, "DeviceType"),
             0u);
    QCOMPARE(log.count("DBus call error:"), 1);
    QVERIFY(!sim.output().contains(kSentinel.toUtf8()));
  }

private:
  NmSimulator sim;
  QString device;
};

QTEST_GUILESS_MAIN(tst_NmDbus)
#include "test_nm_dbus.moc"
