#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "common/params.h"
#include "tests/fixtures/built_program.h"
#include "tests/fixtures/log_collector.h"
#include "ui/qt/util.h"

using Stored = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(Stored)

class TestDeviceInfo : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    QVERIFY(tmp.isValid());
    prefix = LogCollector::unique_prefix("device-info");
    qputenv("HALCYRA_PREFIX", QByteArray::fromStdString(prefix));
    collector = std::make_unique<LogCollector>(prefix);
  }

  void deviceInformation_data() {
    QTest::addColumn<QString>("root");
    QTest::addColumn<Stored>("stored");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("errorRecords");

    const QString dir = tmp.path();
    QTest::newRow("nothing stored") << dir + "/empty" << Stored{}
                                    << QByteArray("version=\nagent=halcyra-\ndongle=none\nssh=0\n") << 0;
    QTest::newRow("all stored") << dir + "/full"
                                << Stored{{"Version", "1.4.2"}, {"DongleId", "a1b2c3"}, {"SshEnabled", "1"}}
                                << QByteArray("version=1.4.2\nagent=halcyra-1.4.2\ndongle=[a1b2c3]\nssh=1\n") << 0;
    QTest::newRow("UTF-8 version") << dir + "/utf8" << Stored{{"Version", "v2 \xe2\x9c\x93"}}
                                   << QByteArray(
                                          "version=v2 \xe2\x9c\x93\nagent=halcyra-v2 \xe2\x9c\x93\ndongle=none\n"
                                          "ssh=0\n")
                                   << 0;
    QTest::newRow("unregistered device") << dir + "/unreg" << Stored{{"DongleId", "UnregisteredDevice"}}
                                         << QByteArray("version=\nagent=halcyra-\ndongle=none\nssh=0\n") << 0;
    QTest::newRow("only the exact text is unregistered")
        << dir + "/unreg-lf" << Stored{{"DongleId", "UnregisteredDevice\n"}}
        << QByteArray("version=\nagent=halcyra-\ndongle=[UnregisteredDevice\n]\nssh=0\n") << 0;
    QTest::newRow("empty identifier") << dir + "/empty-id" << Stored{{"DongleId", ""}}
                                      << QByteArray("version=\nagent=halcyra-\ndongle=none\nssh=0\n") << 0;
    QTest::newRow("default root") << QString() << Stored{{"Version", "9"}, {"SshEnabled", "1"}}
                                  << QByteArray("version=9\nagent=halcyra-9\ndongle=none\nssh=1\n") << 0;
    // Exactly when an update may be needed: the program must still come up.
    QTest::newRow("store cannot be opened")
        << dir + "/taken/by/file" << Stored{} << QByteArray("version=\nagent=halcyra-\ndongle=none\nssh=0\n") << 3;
  }
  void deviceInformation() {
    QFETCH(QString, root);
    QFETCH(Stored, stored);
    QFETCH(QByteArray, expected);
    QFETCH(int, errorRecords);

    const std::string store_root = root.isEmpty() ? std::string("/data/params") : root.toStdString();
    if (errorRecords > 0) {
      QVERIFY(QDir().mkpath(tmp.path() + "/taken"));
      QFile file(tmp.path() + "/taken/by");
      QVERIFY(file.open(QIODevice::WriteOnly));
    } else {
      Params params(store_root);
      for (auto it = stored.begin(); it != stored.end(); ++it) {
        QCOMPARE(params.put(it.key().toStdString(), it.value().toStdString()), 0);
      }
    }
    collector->drain(0);

    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("PARAMS_ROOT");
    if (!root.isEmpty())
      env.insert("PARAMS_ROOT", root);
    probe.setProcessEnvironment(env);
    startBuiltProgram(probe, DEVICE_INFO_PROBE);
    QVERIFY(probe.waitForFinished(30000));
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);
    // Error records are printed too, ahead of the report.
    const QByteArray out = probe.readAllStandardOutput();
    QVERIFY2(out.endsWith(expected), out.constData());
    QCOMPARE(out.left(out.size() - expected.size()).count(": Failed to open params: "), errorRecords);

    const std::vector<std::string> records = collector->drain(errorRecords > 0 ? 500 : 100);
    QCOMPARE(int(records.size()), errorRecords);
    for (const std::string &record : records) {
      QCOMPARE(record.substr(0, 1), std::string("\x28"));
      QVERIFY2(record.find("\"msg\": \"Failed to open params: Failed to ensure params path") != std::string::npos,
               record.c_str());
    }
  }

  void versionIsReadOnceDongleIdEveryTime() {
    const std::string root = tmp.path().toStdString() + "/in-process";
    qputenv("PARAMS_ROOT", QByteArray::fromStdString(root));
    Params params(root);
    QCOMPARE(params.put("Version", "1.0"), 0);
    QCOMPARE(params.put("DongleId", "first"), 0);

    QCOMPARE(getVersion(), QStringLiteral("1.0"));
    QCOMPARE(getDongleId(), std::optional<QString>(QStringLiteral("first")));

    QCOMPARE(params.put("Version", "2.0"), 0);
    QCOMPARE(params.put("DongleId", "second"), 0);
    QCOMPARE(getVersion(), QStringLiteral("1.0"));
    QCOMPARE(getUserAgent(), QStringLiteral("halcyra-1.0"));
    QCOMPARE(getDongleId(), std::optional<QString>(QStringLiteral("second")));

    QCOMPARE(params.remove("DongleId"), 0);
    QVERIFY(!getDongleId().has_value());
    qunsetenv("PARAMS_ROOT");
  }

private:
  QTemporaryDir tmp;
  std::string prefix;
  std::unique_ptr<LogCollector> collector;
};

QTEST_GUILESS_MAIN(TestDeviceInfo)
#include "test_device_info.moc"
