#include <sys/mount.h>

#include <QDir>
#include <QFile>
#include <QtTest>
#include <memory>

#include "common/params.h"
#include "system/hardware/zorv/hardware.h"
#include "tests/fixtures/log_collector.h"
#include "tests/fixtures/qtest_std_string.h"

namespace {

const QString kBacklight = "/sys/class/backlight/panel0-backlight";
const QString kModel = "/sys/firmware/devicetree/base/model";

QByteArray readAll(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeAll(const QString &path, const QByteArray &bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

}  // namespace

// Runs in a private device root (tests/fixtures/device_root.sh): the fixed
// sysfs and /data paths are fresh tmpfs, sudo is a recorder.
class TestHardware : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    QVERIFY2(qEnvironmentVariableIsSet("FAKE_SUDO_LOG"), "run through tests/fixtures/device_root.sh");
    prefix = LogCollector::unique_prefix("hardware");
    qputenv("HALCYRA_PREFIX", QByteArray::fromStdString(prefix));
    qunsetenv("PARAMS_ROOT");
    collector = std::make_unique<LogCollector>(prefix);
  }

  void init() {
    QDir("/sys/class").removeRecursively();
    QDir("/sys/firmware").removeRecursively();
    QDir("/data/params").removeRecursively();
    QFile::remove("/data/params");
  }

  void getName_data() {
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("with terminating NUL") << QByteArray("vorna zorv-2\0", 13) << QByteArray("zorv-2\0", 7);
    QTest::newRow("without NUL") << QByteArray("vorna zorv") << QByteArray("zorv");
    QTest::newRow("prefix not compared") << QByteArray("other zorv") << QByteArray("zorv");
    QTest::newRow("prefix only") << QByteArray("vorna ") << QByteArray("");
    QTest::newRow("shorter than prefix") << QByteArray("vorna") << QByteArray("");
    QTest::newRow("missing file") << QByteArray() << QByteArray("");
  }
  void getName() {
    QFETCH(QByteArray, model);
    QFETCH(QByteArray, name);
    if (!model.isNull())
      QVERIFY(writeAll(kModel, model));
    QCOMPARE(HardwareZorv::get_name(), name.toStdString());
  }

  void displayPower() {
    QVERIFY(writeAll(kBacklight + "/bl_power", "previous long content\n"));
    HardwareZorv::set_display_power(false);
    QCOMPARE(readAll(kBacklight + "/bl_power"), QByteArray("4\n"));
    HardwareZorv::set_display_power(true);
    QCOMPARE(readAll(kBacklight + "/bl_power"), QByteArray("0\n"));
  }

  void noBacklightIsHarmless() {
    HardwareZorv::set_display_power(true);
    HardwareZorv::set_brightness(50);
    QVERIFY(!QFile::exists(kBacklight));
  }

  void brightness_data() {
    QTest::addColumn<QByteArray>("max");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QByteArray>("written");
    const QByteArray untouched = "previous\n";
    QTest::newRow("4095 at 65%") << QByteArray("4095\n") << 65 << QByteArray("2661\n");
    QTest::newRow("1023 at 65% truncates") << QByteArray("1023\n") << 65 << QByteArray("664\n");
    QTest::newRow("full") << QByteArray("1023") << 100 << QByteArray("1023\n");
    QTest::newRow("zero percent") << QByteArray("1023") << 0 << QByteArray("0\n");
    QTest::newRow("leading blanks") << QByteArray("  255\n") << 50 << QByteArray("127\n");
    QTest::newRow("missing maximum") << QByteArray() << 65 << untouched;
    QTest::newRow("empty maximum") << QByteArray("") << 65 << untouched;
    QTest::newRow("text maximum") << QByteArray("abc\n") << 65 << untouched;
    QTest::newRow("zero maximum") << QByteArray("0\n") << 65 << untouched;
    QTest::newRow("negative maximum") << QByteArray("-100\n") << 65 << untouched;
    QTest::newRow("infinite maximum") << QByteArray("inf\n") << 65 << untouched;
    QTest::newRow("NaN maximum") << QByteArray("nan\n") << 65 << untouched;
  }
  void brightness() {
    QFETCH(QByteArray, max);
    QFETCH(int, percent);
    QFETCH(QByteArray, written);
    QVERIFY(writeAll(kBacklight + "/brightness", "previous\n"));
    if (!max.isNull())
      QVERIFY(writeAll(kBacklight + "/max_brightness", max));
    HardwareZorv::set_brightness(percent);
    QCOMPARE(readAll(kBacklight + "/brightness"), written);
  }

  void rebootAsksSudo() {
    const QString log = qEnvironmentVariable("FAKE_SUDO_LOG");
    QFile::remove(log);
    HardwareZorv::reboot();
    QCOMPARE(readAll(log), QByteArray("reboot\n"));
  }

  void sshSwitchLivesInDataParams() {
    QCOMPARE(HardwareZorv::get_ssh_enabled(), false);
    const QString file = QString::fromStdString("/data/params/" + prefix + "/SshEnabled");
    HardwareZorv::set_ssh_enabled(true);
    QCOMPARE(readAll(file), QByteArray("1"));
    QCOMPARE(HardwareZorv::get_ssh_enabled(), true);
    HardwareZorv::set_ssh_enabled(false);
    QCOMPARE(readAll(file), QByteArray("0"));
    QCOMPARE(HardwareZorv::get_ssh_enabled(), false);
  }

  void sshSwitchSurvivesUnopenableStore_data() {
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<int>("error");
    QTest::newRow("read-only data partition") << true << EROFS;
    QTest::newRow("store path taken by a file") << false << ENOTDIR;
  }
  void sshSwitchSurvivesUnopenableStore() {
    QFETCH(bool, readOnly);
    QFETCH(int, error);
    if (readOnly) {
      QCOMPARE(::mount(nullptr, "/data", nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    } else {
      QVERIFY(writeAll("/data/params", "not a directory"));
    }
    collector->drain(0);

    const bool enabled = HardwareZorv::get_ssh_enabled();
    HardwareZorv::set_ssh_enabled(true);
    if (readOnly)
      QCOMPARE(::mount(nullptr, "/data", nullptr, MS_REMOUNT, nullptr), 0);

    QCOMPARE(enabled, false);
    const std::string expected = "Failed to open params: Failed to ensure params path, errno=" + std::to_string(error) +
                                 ", path=/data/params, param_prefix=/" + prefix;
    const std::vector<std::string> records = collector->drain();
    QCOMPARE(records.size(), size_t(2));
    for (const std::string &record : records) {
      QCOMPARE(record.substr(0, 1), std::string("\x28"));
      QVERIFY2(record.find(", \"msg\": \"" + expected + "\"}") != std::string::npos, record.c_str());
    }
  }

private:
  std::string prefix;
  std::unique_ptr<LogCollector> collector;
};

QTEST_GUILESS_MAIN(TestHardware)
#include "test_hardware.moc"
