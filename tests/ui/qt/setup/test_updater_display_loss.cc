#include <signal.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "common/params.h"
#include "tests/fixtures/built_program.h"
#include "tests/fixtures/log_collector.h"
#include "tests/fixtures/nm_raw.h"
#include "tests/fixtures/panel_compositor.h"
#include "tests/fixtures/panel_taps.h"
#include "tests/fixtures/probe_client.h"
#include "tests/fixtures/shell_script.h"
#include "tests/ui/qt/device_root_guard.h"

namespace {

// The program with its screen probe, on a compositor of the device's panel.
struct Program {
  QProcess process;
  QString probe_socket;
  ProbeClient probe{probe_socket};

  explicit Program(const QString &socket) : probe_socket(socket) {}
  ~Program() {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(5000);
    }
  }
  bool endsWithin(int ms) { return process.state() == QProcess::NotRunning || process.waitForFinished(ms); }
};

// The stored settings a start-up reads, written before the program runs.
const QList<QPair<std::string, std::string>> kStored = {
    {"GsmRoaming", "1"}, {"GsmMetered", "0"}, {"GsmApn", "internet.example"}};

}  // namespace

// The compositor goes away (ends, crashes or restarts) while the program shows its screens: an
// update under way runs to its end, and before one starts the program ends with nothing half done.
class TestUpdaterDisplayLoss : public QObject {
  Q_OBJECT

private:
  QTemporaryDir dir;
  QString sudo_log;
  std::string log_prefix;
  QString params_root;
  int programs = 0;

  QString file(const QString &name) const { return dir.filePath(name); }

  static QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  // An updater that notes each start, prints progress every 0.2 s while it waits for the file "go"
  // (unless QUIET), then prints LINES more lines, notes that it reached its end, and exits with
  // CODE. Writing into a closed pipe ends it there: it never reaches its end.
  QString updaterScript() const {
    return writeShellScript(file(QStringLiteral("updater.sh")),
                            "echo $$ >>\"$RUNS\"\n"
                            "i=0\n"
                            "while [ ! -e \"$GO\" ]; do\n"
                            "  [ -n \"$QUIET\" ] || echo \"Installing:$((i % 100))\"\n"
                            "  i=$((i + 1)); sleep 0.2\n"
                            "done\n"
                            "n=0\n"
                            "while [ \"$n\" -lt \"${LINES:-0}\" ]; do\n"
                            "  echo \"Installing:$((n % 100)) and a line long enough to fill a pipe before long\"\n"
                            "  n=$((n + 1))\n"
                            "done\n"
                            "echo reached >\"$END\"\n"
                            "exit \"${CODE:-0}\"");
  }

  QProcessEnvironment programEnvironment(const PanelCompositor &screen, const Program &program) const {
    QProcessEnvironment env = screen.clientEnvironment();
    env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(SCREEN_PROBE_PLUGINS));
    env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("screen_probe:") + program.probe_socket);
    env.insert(QStringLiteral("HALCYRA_PREFIX"), QString::fromStdString(log_prefix));
    env.insert(QStringLiteral("PARAMS_ROOT"), params_root);
    env.insert(QStringLiteral("RUNS"), file(QStringLiteral("runs")));
    env.insert(QStringLiteral("GO"), file(QStringLiteral("go")));
    env.insert(QStringLiteral("END"), file(QStringLiteral("end")));
    return env;
  }

  std::unique_ptr<Program> start(const PanelCompositor &screen, const QProcessEnvironment &extra = {}) {
    auto program = std::make_unique<Program>(file(QStringLiteral("probe-%1").arg(++programs)));
    QProcessEnvironment env = programEnvironment(screen, *program);
    for (const QString &key : extra.keys()) {
      env.insert(key, extra.value(key));
    }
    program->process.setProcessEnvironment(env);
    program->process.setProcessChannelMode(QProcess::MergedChannels);
    startBuiltProgram(program->process, QStringLiteral(UPDATER_EXE), {updaterScript(), QStringLiteral("m")});
    return program;
  }

  int updaterRuns() const { return readAll(file(QStringLiteral("runs"))).count('\n'); }

  static QProcessEnvironment vars(std::initializer_list<std::pair<const char *, QString>> list) {
    QProcessEnvironment env;
    for (const auto &[key, value] : list) {
      env.insert(QString::fromLatin1(key), value);
    }
    return env;
  }

  // Installs on `screen`, and waits until the updater runs.
  bool installUntilRunning(const PanelCompositor &screen, const Program &program) {
    const PanelTaps taps(screen, program.probe);
    return taps.tapText(QStringLiteral("Install")) && QTest::qWaitFor([&] { return updaterRuns() == 1; }, 10000);
  }

  static void takeAway(PanelCompositor &screen, const QString &how) {
    if (how == QLatin1String("crashes")) {
      screen.kill();
    } else {
      screen.stop();
    }
  }

private slots:
  void initTestCase() {
    QVERIFY(dir.isValid());
    QVERIFY2(inDeviceRoot(), "run through the device root fixture, which records sudo calls privately");
    sudo_log = qEnvironmentVariable("FAKE_SUDO_LOG");
    QVERIFY(!sudo_log.isEmpty());
    nm::registerTypes();
  }

  void init() {
    QFile::remove(sudo_log);
    for (const char *name : {"runs", "go", "end"}) {
      QFile::remove(file(QString::fromLatin1(name)));
    }
    log_prefix = LogCollector::unique_prefix("display-loss");
    params_root = file(QStringLiteral("params-%1").arg(programs));
    Params store(QFile::encodeName(params_root).toStdString());
    for (const auto &[key, value] : kStored) {
      QVERIFY(store.put(key, value) == 0);
    }
    for (const QDBusObjectPath &saved : nmraw::connectionsWithSsid("Fernhill Home")) {
      QVERIFY(nmraw::deleteConnection(saved));
    }
  }

  void lossDuringInstall_data() {
    QTest::addColumn<QString>("compositor");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("lines");

    QTest::newRow("crashes; the updater succeeds") << "crashes" << 0 << 0;
    QTest::newRow("ends; the updater fails with 3") << "ends" << 3 << 0;
    QTest::newRow("crashes; the updater writes far more than a pipe holds") << "crashes" << 0 << 20000;
  }

  // The updater runs to its end with its output read; 0 reboots once, another code is logged as an
  // error and the process ends with the status of an update that failed.
  void lossDuringInstall() {
    QFETCH(QString, compositor);
    QFETCH(int, code);
    QFETCH(int, lines);
    LogCollector collector(log_prefix);
    PanelCompositor screen;
    QVERIFY(screen.start(QStringLiteral("kiosk-shell.so")));
    auto program = start(screen, vars({{"CODE", QString::number(code)}, {"LINES", QString::number(lines)}}));
    QVERIFY(program->probe.waitShown(QStringLiteral("Update Required"), 30000));
    QVERIFY(installUntilRunning(screen, *program));

    takeAway(screen, compositor);
    QTest::qWait(1000);  // the updater goes on while nothing shows
    QFile(file(QStringLiteral("go"))).open(QIODevice::WriteOnly);
    QVERIFY2(program->endsWithin(60000), "the program is still running");
    const QByteArray output = program->process.readAll();
    QVERIFY2(readAll(file(QStringLiteral("end"))) == "reached\n", output.constData());
    QCOMPARE(updaterRuns(), 1);
    QCOMPARE(program->process.exitStatus(), QProcess::NormalExit);

    const std::vector<std::string> records = collector.drain();
    const auto failure = std::find_if(records.begin(), records.end(), [&](const std::string &r) {
      return r[0] == 40 && r.find("failed with exit code " + std::to_string(code)) != std::string::npos;
    });
    if (code == 0) {
      QCOMPARE(readAll(sudo_log), QByteArray("reboot\n"));
      QCOMPARE(program->process.exitCode(), 0);
      QVERIFY(failure == records.end());
    } else {
      QCOMPARE(readAll(sudo_log), QByteArray());
      QVERIFY2(program->process.exitCode() == 2, output.constData());
      QVERIFY2(failure != records.end(), output.constData());
    }
  }

  // A stop asked by signal once the screen is gone still stops the update, as it does with a screen:
  // the updater is killed and the program ends with 0, rebooting nothing.
  void stopAfterLoss() {
    LogCollector collector(log_prefix);
    PanelCompositor screen;
    QVERIFY(screen.start(QStringLiteral("kiosk-shell.so")));
    auto program = start(screen);
    QVERIFY(program->probe.waitShown(QStringLiteral("Update Required"), 30000));
    QVERIFY(installUntilRunning(screen, *program));
    screen.kill();
    const auto taken_over = [&] {
      const std::optional<std::string> record = collector.receive(500);
      return record && record->find("goes on without a screen") != std::string::npos;
    };
    QVERIFY(QTest::qWaitFor(taken_over, 20000));

    QCOMPARE(::kill(static_cast<pid_t>(program->process.processId()), SIGTERM), 0);
    QVERIFY(program->endsWithin(10000));
    QCOMPARE(program->process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->process.exitCode(), 0);
    QCOMPARE(readAll(file(QStringLiteral("end"))), QByteArray());
    QCOMPARE(readAll(sudo_log), QByteArray());
    const QByteArray updater_pid = readAll(file(QStringLiteral("runs"))).trimmed();
    QTRY_COMPARE(::kill(static_cast<pid_t>(updater_pid.toInt()), 0), -1);
  }

  void lossBeforeInstall_data() {
    QTest::addColumn<bool>("typing");
    QTest::newRow("on the prompt") << false;
    QTest::newRow("a password half typed in its dialog") << true;
  }

  // Nothing is installed or saved: the program says so and ends as Qt ends it, the store whole.
  void lossBeforeInstall() {
    QFETCH(bool, typing);
    PanelCompositor screen;
    QVERIFY(screen.start(QStringLiteral("kiosk-shell.so")));
    auto program = start(screen);
    QVERIFY(program->probe.waitShown(QStringLiteral("Update Required"), 30000));
    if (typing) {
      const PanelTaps taps(screen, program->probe);
      QVERIFY(taps.tapText(QStringLiteral("Connect to Wi-Fi")));
      QVERIFY(taps.tapText(QStringLiteral("Fernhill Home")));
      QVERIFY(program->probe.waitShown(QStringLiteral("Enter password")));
      QVERIFY(taps.typeKeys(QStringLiteral("fernhill-h")));
    }

    screen.kill();
    QVERIFY(program->endsWithin(20000));
    const QByteArray output = program->process.readAll();
    QCOMPARE(program->process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->process.exitCode(), 1);
    QVERIFY2(output.contains("The Wayland connection broke"), output.constData());
    QVERIFY2(output.contains("nothing was installed"), output.constData());
    QCOMPARE(updaterRuns(), 0);
    QVERIFY(nmraw::connectionsWithSsid("Fernhill Home").isEmpty());
    Params store(QFile::encodeName(params_root).toStdString());
    for (const auto &[key, value] : kStored) {
      QCOMPARE(store.get(key), value);
    }
    const QStringList files = QDir(params_root + QStringLiteral("/d")).entryList(QDir::Files);
    QCOMPARE(files.size(), int(kStored.size()));
  }

  void secondCopyWaits_data() {
    QTest::addColumn<bool>("first_killed");
    QTest::newRow("the first copy goes on without a screen") << false;
    QTest::newRow("the first copy was killed, its updater runs on") << true;
  }

  // A copy started while an update runs starts no updater: it says so, and offers the update again
  // once the one that runs has ended without rebooting.
  void secondCopyWaits() {
    QFETCH(bool, first_killed);
    PanelCompositor screen;
    QVERIFY(screen.start(QStringLiteral("kiosk-shell.so")));
    auto first = start(screen, vars({{"CODE", QStringLiteral("3")}, {"QUIET", QStringLiteral("1")}}));
    QVERIFY(first->probe.waitShown(QStringLiteral("Update Required"), 30000));
    QVERIFY(installUntilRunning(screen, *first));
    if (first_killed) {
      first->process.kill();
      QVERIFY(first->endsWithin(10000));
    }
    screen.kill();

    QVERIFY(screen.start(QStringLiteral("kiosk-shell.so")));
    auto second = start(screen);
    QVERIFY(second->probe.waitShown(QStringLiteral("Installing Update"), 30000));
    QVERIFY(!second->probe.ask({QStringLiteral("shown"), QStringLiteral("Install")}));

    QFile(file(QStringLiteral("go"))).open(QIODevice::WriteOnly);
    QVERIFY(first->endsWithin(30000));
    QVERIFY(second->probe.waitShown(QStringLiteral("Update Required"), 15000));
    QCOMPARE(updaterRuns(), 1);
    QCOMPARE(readAll(sudo_log), QByteArray());
  }

  // The lock goes with the copy that held it, even when it crashed.
  void crashedCopyLeavesNoLock() {
    PanelCompositor screen;
    QVERIFY(screen.start(QStringLiteral("kiosk-shell.so")));
    auto first = start(screen);
    QVERIFY(first->probe.waitShown(QStringLiteral("Update Required"), 30000));
    first->process.kill();
    QVERIFY(first->endsWithin(10000));
    auto second = start(screen);
    QVERIFY(second->probe.waitShown(QStringLiteral("Update Required"), 30000));
    QVERIFY(!second->probe.ask({QStringLiteral("shown"), QStringLiteral("Installing Update")}));
  }
};

QTEST_GUILESS_MAIN(TestUpdaterDisplayLoss)
#include "test_updater_display_loss.moc"
