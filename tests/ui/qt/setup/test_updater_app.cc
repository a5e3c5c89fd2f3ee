#include <signal.h>
#include <sys/mount.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "common/params.h"
#include "tests/fixtures/built_program.h"
#include "tests/fixtures/full_file_system.h"
#include "tests/fixtures/shell_script.h"
#include "tests/ui/qt/device_root_guard.h"

// The updater program itself, run as a child: start-up, signals, and the full flow on an X screen
// (on the device's own screen: test_updater_panel).
class TestUpdaterApp : public QObject {
  Q_OBJECT

private:
  QTemporaryDir dir;
  QString sudo_log;
  QProcess xvfb;
  QString display;
  QStringList mounts;

  static QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  QString writeScript(const QString &name, const QByteArray &body) const {
    return writeShellScript(dir.filePath(name), body);
  }

  // Started from "/", so the program's own change of directory shows.
  static void start(QProcess &app, const QStringList &args, const QProcessEnvironment &env) {
    app.setProcessEnvironment(env);
    app.setWorkingDirectory(QDir::rootPath());
    startBuiltProgram(app, QStringLiteral(UPDATER_EXE), args);
    QVERIFY(app.waitForStarted());
  }

  // With the screen probe loaded, so that a tap can find "Install" by its text.
  QProcessEnvironment x11Env() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), display);
    // Whatever the machine runs, the program's NetworkManager calls reach nothing.
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
    env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(SCREEN_PROBE_PLUGINS));
    env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("screen_probe:") + probeSocket());
    return env;
  }

  QString probeSocket() const { return dir.filePath(QStringLiteral("probe")); }

  void startXvfb() {
    // Xvfb picks a free display number and writes it to the descriptor given.
    xvfb.start(QStringLiteral("Xvfb"),
               {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                QStringLiteral("2160x1080x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QVERIFY(xvfb.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), 10000);
    display = QLatin1Char(':') + QString::fromLatin1(xvfb.readLine().trimmed());
  }

  bool xdotool(const QStringList &args) const {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xdotool"), args);
    return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
  }

  // Where the probe in the program says a tap reaches the widget showing `text`, once it shows.
  QStringList whereShown(const QString &text) const {
    QProcess ask;
    const bool answered = QTest::qWaitFor(
        [&] {
          startBuiltProgram(ask, QStringLiteral(SCREEN_ASK),
                            {probeSocket(), QStringLiteral("find"), QStringLiteral("1"), text});
          return ask.waitForFinished(5000) && ask.exitStatus() == QProcess::NormalExit && ask.exitCode() == 0;
        },
        10000);
    return answered ? QString::fromUtf8(ask.readAllStandardOutput()).simplified().split(QLatin1Char(' '))
                    : QStringList();
  }

  // Taps "Install" as a user would, once it shows.
  void clickInstall() const {
    const QStringList at = whereShown(QStringLiteral("Install"));
    QCOMPARE(at.size(), 2);
    QVERIFY(xdotool({QStringLiteral("mousemove"), at[0], at[1], QStringLiteral("click"), QStringLiteral("1")}));
  }

  static pid_t waitForPid(const QString &pid_file) {
    pid_t pid = 0;
    [&] { QTRY_VERIFY_WITH_TIMEOUT((pid = readAll(pid_file).trimmed().toInt()) > 0, 10000); }();
    return pid;
  }

  // Never with a pid of 0 or below, which would signal the whole process group or every process.
  static void sendSignal(const QProcess &app, int sig) {
    const auto pid = static_cast<pid_t>(app.processId());
    QVERIFY2(pid > 0, "the program is not running");
    QCOMPARE(::kill(pid, sig), 0);
  }

  static void terminate(QProcess &app) {
    sendSignal(app, SIGTERM);
    QVERIFY(app.waitForFinished(10000));
  }

  // A scratch tmpfs of this test's private mount namespace.
  QString mountScratch(const QString &name, unsigned long flags, const char *options) {
    const QString path = dir.filePath(name);
    if (!QDir().mkpath(path) || ::mount("store", QFile::encodeName(path).constData(), "tmpfs", flags, options) != 0) {
      qFatal("cannot mount a tmpfs on %s", qPrintable(path));
    }
    mounts << path;
    return path;
  }

  // A parameter store root in the given state; the program finds it through PARAMS_ROOT.
  QString storeRoot(const QString &state) {
    const QString name = QString(state).replace(QRegularExpression(QStringLiteral("[^a-z]+")), QStringLiteral("-"));
    if (state == QLatin1String("missing")) {
      return dir.filePath(name + QStringLiteral("/not/made/yet"));
    }
    if (state == QLatin1String("a file in the way")) {
      QFile file(dir.filePath(name));
      file.open(QIODevice::WriteOnly);
      return file.fileName() + QStringLiteral("/params");
    }
    const bool made_before = state.endsWith(QLatin1String("made before"));
    if (state.startsWith(QLatin1String("read-only"))) {
      const QString mount = mountScratch(name, made_before ? 0 : MS_RDONLY, "size=1m");
      if (made_before) {
        Params(QFile::encodeName(mount + QStringLiteral("/params")).toStdString()).put("GsmRoaming", "1");
        ::mount(nullptr, QFile::encodeName(mount).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
      }
      return mount + QStringLiteral("/params");
    }
    const QString mount = mountScratch(name, 0, "size=64k,nr_inodes=32");
    if (made_before) {
      Params(QFile::encodeName(mount + QStringLiteral("/params")).toStdString()).put("GsmRoaming", "1");
    }
    full_file_system::exhaust_space(mount.toStdString());
    full_file_system::exhaust_inodes(mount.toStdString());
    return mount + QStringLiteral("/params");
  }

private slots:
  void initTestCase() {
    QVERIFY(dir.isValid());
    QVERIFY2(inDeviceRoot(), "run through the device root fixture, which mounts and records sudo calls privately");
    sudo_log = qEnvironmentVariable("FAKE_SUDO_LOG");
    QVERIFY2(!sudo_log.isEmpty(), "run through the device root fixture, which records sudo calls");
    startXvfb();
  }

  void cleanupTestCase() {
    for (const QString &mount : mounts) {
      ::umount2(QFile::encodeName(mount).constData(), MNT_DETACH);
    }
    xvfb.terminate();
    xvfb.waitForFinished(5000);
  }

  void init() { QFile::remove(sudo_log); }

  void missingArguments_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("condition");

    QTest::newRow("none") << QStringList() << "updater.size()";
    QTest::newRow("empty updater") << QStringList{"", "m.json"} << "updater.size()";
    QTest::newRow("both empty") << QStringList{"", ""} << "updater.size()";
    QTest::newRow("no manifest") << QStringList{"/bin/true"} << "manifest.size()";
    QTest::newRow("empty manifest") << QStringList{"/bin/true", ""} << "manifest.size()";
  }

  void missingArguments() {
    QFETCH(QStringList, args);
    QFETCH(QString, condition);

    QProcess app;
    start(app, args, x11Env());
    QVERIFY(app.waitForFinished(10000));
    QCOMPARE(app.exitStatus(), QProcess::CrashExit);
    QCOMPARE(app.exitCode(), SIGABRT);
    const QString err = QString::fromUtf8(app.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("Assertion `%1' failed").arg(condition)), qPrintable(err));
  }

  // The child runs in the program's directory with the manifest path as given; its error output passes
  // through; its success reboots the device.
  void installSucceedsAndReboots() {
    const QString record = dir.filePath(QStringLiteral("record"));
    const QString child =
        writeScript(QStringLiteral("ok.sh"), "{ printf '%s\\n' \"$@\"; pwd; } >" + QFile::encodeName(record) +
                                                 "\necho 'child says hello' >&2\n"
                                                 "echo Downloading:50\necho Installing:100\nexit 0");
    QProcess app;
    start(app, {child, QStringLiteral("manifest.json")}, x11Env());
    clickInstall();

    QTRY_COMPARE_WITH_TIMEOUT(readAll(sudo_log), QByteArray("reboot\n"), 10000);
    const QByteArray exe_dir = QFile::encodeName(QFileInfo(QStringLiteral(UPDATER_EXE)).canonicalPath());
    QCOMPARE(readAll(record), "--swap\nmanifest.json\n" + exe_dir + "\n");

    terminate(app);
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
    const QByteArray err = app.readAllStandardError();
    QVERIFY2(err.contains("child says hello"), err.constData());
    QVERIFY2(err.contains("finished with 0"), err.constData());
  }

  // The program is how a device with a damaged data partition gets repaired: it must come up,
  // install and reboot whatever state its parameter store is in.
  void installsWhateverTheStore_data() {
    QTest::addColumn<QString>("state");
    for (const char *state :
         {"missing", "a file in the way", "read-only", "read-only, made before", "full", "full, made before"}) {
      QTest::newRow(state) << QString::fromLatin1(state);
    }
  }

  void installsWhateverTheStore() {
    QFETCH(QString, state);
    QProcessEnvironment env = x11Env();
    env.insert(QStringLiteral("PARAMS_ROOT"), storeRoot(state));
    const QString ran = dir.filePath(QStringLiteral("updater-ran"));
    QFile::remove(ran);
    const QString child =
        writeScript(QStringLiteral("install.sh"), "touch " + QFile::encodeName(ran) + "\necho Installing:50\nexit 0");

    QProcess app;
    start(app, {child, QStringLiteral("manifest.json")}, env);
    clickInstall();
    QTRY_COMPARE_WITH_TIMEOUT(readAll(sudo_log), QByteArray("reboot\n"), 10000);
    QVERIFY(QFile::exists(ran));

    terminate(app);
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
  }

  // A running child is killed and reaped; the program ends normally and does not take that for success.
  void sigtermDuringInstall() {
    const QString pid_file = dir.filePath(QStringLiteral("child.pid"));
    QFile::remove(pid_file);
    const QString child =
        writeScript(QStringLiteral("hang.sh"), "echo $$ >" + QFile::encodeName(pid_file) + "\nexec sleep 60");
    QProcess app;
    start(app, {child, QStringLiteral("m")}, x11Env());
    clickInstall();
    const pid_t pid = waitForPid(pid_file);
    QVERIFY(pid > 0);

    terminate(app);
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
    QCOMPARE(::kill(pid, 0), -1);
    QCOMPARE(errno, ESRCH);
    QCOMPARE(readAll(sudo_log), QByteArray());
  }

  // The reboot command hangs, so the event loop never gets to quit; the second signal takes the default action.
  void secondSigtermEndsAtOnce() {
    const QString pid_file = dir.filePath(QStringLiteral("sudo.pid"));
    QFile::remove(pid_file);
    QDir(dir.path()).mkpath(QStringLiteral("bin"));
    writeScript(QStringLiteral("bin/sudo"), "echo $$ >" + QFile::encodeName(pid_file) + "\nexec sleep 60");
    QProcessEnvironment env = x11Env();
    env.insert(QStringLiteral("PATH"), dir.filePath(QStringLiteral("bin")) + QLatin1Char(':') + env.value("PATH"));

    QProcess app;
    start(app, {writeScript(QStringLiteral("done.sh"), "exit 0"), QStringLiteral("m")}, env);
    clickInstall();
    const pid_t sudo_pid = waitForPid(pid_file);
    QVERIFY(sudo_pid > 0);

    sendSignal(app, SIGTERM);
    QVERIFY(!app.waitForFinished(500));
    terminate(app);
    ::kill(sudo_pid, SIGKILL);
    QCOMPARE(app.exitStatus(), QProcess::CrashExit);
    QCOMPARE(app.exitCode(), SIGTERM);
  }
};

QTEST_GUILESS_MAIN(TestUpdaterApp)
#include "test_updater_app.moc"
