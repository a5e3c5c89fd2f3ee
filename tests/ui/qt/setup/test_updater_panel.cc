#include <signal.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/fixtures/built_program.h"
#include "tests/fixtures/nm_raw.h"
#include "tests/fixtures/panel_compositor.h"
#include "tests/fixtures/panel_taps.h"
#include "tests/fixtures/probe_client.h"
#include "tests/fixtures/shell_script.h"
#include "tests/ui/qt/device_root_guard.h"

namespace {

QPointF onPanel(const QPoint &window_point) {
  return PanelTaps::onPanel(window_point);
}

// What the program asked of the compositor, from its Wayland log: the sizes it announced for its
// windows and the buffers it drew them in.
class WaylandLog {
public:
  explicit WaylandLog(const QString &log) {
    const QRegularExpression request(QStringLiteral(R"( -> (\w+)@(\d+)\.(\w+)\((.*)\))"));
    for (const QString &line : log.split(QLatin1Char('\n'))) {
      const auto m = request.match(line);
      if (m.hasMatch()) {
        take(m.captured(1), m.captured(2).toInt(), m.captured(3), m.captured(4).split(QStringLiteral(", ")));
      }
    }
  }

  // Every window geometry announced by a window whose buffers are turned, with the surface that
  // window's buffers make: the buffer attached last before it, turned.
  struct Announced {
    QSize geometry;
    QSize surface;
  };
  QList<Announced> announced;
  QList<QSize> min_sizes, max_sizes;
  // Surfaces given the 270-degree turn, each followed at once by a commit on that surface.
  int turns_committed = 0;
  int sub_surfaces = 0;

private:
  static int idOf(const QString &arg) { return arg.section(QLatin1Char('@'), 1).toInt(); }

  void take(const QString &object, int id, const QString &request, const QStringList &args) {
    if (object == QLatin1String("wl_surface")) {
      turns_committed += request == QLatin1String("commit") && turn_pending.remove(id) ? 1 : 0;
      turn_pending.remove(id);
    }
    sub_surfaces += request == QLatin1String("get_subsurface") ? 1 : 0;
    if (object == QLatin1String("wl_shm_pool") && request == QLatin1String("create_buffer")) {
      buffer_size[idOf(args[0])] = QSize(args[2].toInt(), args[3].toInt());
    } else if (object == QLatin1String("wl_surface") && request == QLatin1String("set_buffer_transform")) {
      transform[id] = args[0].toInt();
      if (args[0].toInt() == 3) {
        turn_pending.insert(id);
      }
    } else if (object == QLatin1String("wl_surface") && request == QLatin1String("attach")) {
      attached[id] = buffer_size.value(idOf(args[0]));
    } else if (object == QLatin1String("xdg_wm_base") && request == QLatin1String("get_xdg_surface")) {
      surface_of[idOf(args[0])] = idOf(args[1]);
    } else if (object == QLatin1String("xdg_surface") && request == QLatin1String("set_window_geometry")) {
      const int surface = surface_of.value(id);
      if (transform.value(surface) == 3 && attached.contains(surface)) {
        announced << Announced{QSize(args[2].toInt(), args[3].toInt()), attached[surface].transposed()};
      }
    } else if (object == QLatin1String("xdg_toplevel") && request == QLatin1String("set_min_size")) {
      min_sizes << QSize(args[0].toInt(), args[1].toInt());
    } else if (object == QLatin1String("xdg_toplevel") && request == QLatin1String("set_max_size")) {
      max_sizes << QSize(args[0].toInt(), args[1].toInt());
    }
  }

  QHash<int, QSize> buffer_size, attached;
  QHash<int, int> transform, surface_of;
  QSet<int> turn_pending;
};

}  // namespace

// The program itself on a standard compositor with the device's portrait panel, in each of its
// shells: it stays up, the picture fills the panel turned, and taps where something shows reach it.
class TestUpdaterPanel : public QObject {
  Q_OBJECT

private:
  QTemporaryDir dir;
  QString sudo_log;

  QString probeSocket() const { return dir.filePath(QStringLiteral("probe")); }

  QString writeScript(const QString &name, const QByteArray &body) const {
    return writeShellScript(dir.filePath(name), body);
  }

  static QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  // Started from "/", with the screen probe and the compositor's environment, logging its Wayland requests.
  void startProgram(QProcess &app, const PanelCompositor &screen, const QStringList &args) {
    QProcessEnvironment env = screen.clientEnvironment();
    env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(SCREEN_PROBE_PLUGINS));
    env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("screen_probe:") + probeSocket());
    env.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
    env.remove(QStringLiteral("QT_WAYLAND_SHELL_INTEGRATION"));
    app.setProcessEnvironment(env);
    app.setWorkingDirectory(QDir::rootPath());
    startBuiltProgram(app, QStringLiteral(UPDATER_EXE), args);
    QVERIFY(app.waitForStarted());
  }

  static QString pskOf(const QByteArray &ssid) {
    const QList<QDBusObjectPath> saved = nmraw::connectionsWithSsid(ssid);
    if (saved.isEmpty()) {
      return QString();
    }
    return nmraw::secrets(saved.first(), QStringLiteral("802-11-wireless-security"))
        .value(QStringLiteral("802-11-wireless-security"))
        .value(QStringLiteral("psk"))
        .toString();
  }

  static bool colourNear(const QImage &picture, const QPointF &at, QRgb expected) {
    const QColor c = picture.pixelColor(at.toPoint());
    const QColor e(expected);
    return qAbs(c.red() - e.red()) < 8 && qAbs(c.green() - e.green()) < 8 && qAbs(c.blue() - e.blue()) < 8;
  }

private slots:
  void initTestCase() {
    QVERIFY(dir.isValid());
    QVERIFY2(inDeviceRoot(), "run through the device root fixture, which records sudo calls privately");
    sudo_log = qEnvironmentVariable("FAKE_SUDO_LOG");
    QVERIFY(!sudo_log.isEmpty());
    nm::registerTypes();
  }

  // Each walk joins as a first-time user would, with nothing saved.
  void init() {
    QFile::remove(sudo_log);
    for (const QDBusObjectPath &saved : nmraw::connectionsWithSsid("Fernhill Home")) {
      QVERIFY(nmraw::deleteConnection(saved));
    }
  }

  void walksByTouch_data() {
    QTest::addColumn<QString>("shell");
    QTest::newRow("kiosk shell") << "kiosk-shell.so";
    QTest::newRow("desktop shell") << "desktop-shell.so";
    QTest::newRow("full-screen shell") << "fullscreen-shell.so";
  }

  // From the prompt to the Wi-Fi page, a password typed on the dialog's keyboard, back, and
  // "Install", all by taps on the panel where each shows.
  void walksByTouch() {
    QFETCH(QString, shell);
    PanelCompositor screen;
    QVERIFY2(screen.start(shell), screen.log().constData());
    const QString record = dir.filePath(QStringLiteral("record"));
    QFile::remove(record);
    const QString updater =
        writeScript(QStringLiteral("updater.sh"),
                    "printf '%s\\n' \"$@\" >" + QFile::encodeName(record) + "\necho Installing:50\nexit 0");
    QProcess app;
    startProgram(app, screen, {updater, QStringLiteral("manifest.json")});
    const ProbeClient probe(probeSocket());
    const PanelTaps taps(screen, probe);
    QVERIFY2(probe.waitShown(QStringLiteral("Update Required"), 30000), app.readAllStandardError().constData());

    // The picture fills the panel, turned: each button's face shows where the turn puts it.
    const auto install = probe.find(QStringLiteral("Install"));
    const auto connect = probe.find(QStringLiteral("Connect to Wi-Fi"));
    QVERIFY(install && connect);
    QTRY_VERIFY_WITH_TIMEOUT(colourNear(screen.picture(), onPanel(*install - QPoint(300, 0)), qRgb(0x46, 0x5B, 0xEA)),
                             15000);
    QVERIFY(colourNear(screen.picture(), onPanel(*connect - QPoint(300, 0)), qRgb(0x33, 0x33, 0x33)));

    QVERIFY(taps.tapText(QStringLiteral("Connect to Wi-Fi")));
    QVERIFY(probe.waitShown(QStringLiteral("Back")));
    QVERIFY(taps.tapText(QStringLiteral("Fernhill Home")));
    QVERIFY(probe.waitShown(QStringLiteral("Enter password")));
    QVERIFY(taps.typeKeys(QStringLiteral("fernhill-home")));
    QVERIFY(taps.tapText(QStringLiteral("→")));
    QTRY_COMPARE_WITH_TIMEOUT(pskOf("Fernhill Home"), QStringLiteral("fernhill-home"), 15000);
    QVERIFY(!probe.ask({QStringLiteral("shown"), QStringLiteral("Enter password")}));

    QVERIFY(taps.tapText(QStringLiteral("Back")));
    QVERIFY(taps.tapText(QStringLiteral("Install")));
    QTRY_COMPARE_WITH_TIMEOUT(readAll(sudo_log), QByteArray("reboot\n"), 15000);
    QCOMPARE(readAll(record), QByteArray("--swap\nmanifest.json\n"));

    app.terminate();
    QVERIFY(app.waitForFinished(10000));
    const QByteArray err = app.readAllStandardError();
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QVERIFY2(app.exitCode() == 0, err.right(2000).constData());

    // Every window was drawn turned, the dialog too, and announced the size its turned surface has.
    const WaylandLog wire(QString::fromUtf8(err));
    QVERIFY(wire.turns_committed >= 2);
    // No widget has a window of its own, which would show unturned: the one sub-surface is the
    // password dialog's over the window below, under the full-screen shell.
    const bool fullscreen_shell = shell == QLatin1String("fullscreen-shell.so");
    QCOMPARE(wire.sub_surfaces, fullscreen_shell ? 1 : 0);
    if (!fullscreen_shell) {
      QVERIFY(!wire.announced.isEmpty());
      for (const auto &a : wire.announced) {
        QCOMPARE(a.geometry, a.surface);
        QCOMPARE(a.geometry, QSize(PanelCompositor::kPanelWidth, PanelCompositor::kPanelHeight));
      }
      for (const QSize &limit : wire.min_sizes + wire.max_sizes) {
        QCOMPARE(limit, QSize(PanelCompositor::kPanelWidth, PanelCompositor::kPanelHeight));
      }
    }
  }

  // A finger drawn up the picture (along the panel's short side) scrolls the list on, and it goes
  // on by itself once the finger leaves at speed.
  void swipeScrollsTheList() {
    PanelCompositor screen;
    QVERIFY(screen.start(QStringLiteral("kiosk-shell.so")));
    QProcess app;
    startProgram(app, screen, {QStringLiteral("/bin/true"), QStringLiteral("m")});
    const ProbeClient probe(probeSocket());
    const PanelTaps taps(screen, probe);
    QVERIFY(taps.tapText(QStringLiteral("Connect to Wi-Fi")));
    QVERIFY(probe.waitShown(QStringLiteral("Harbour Cafe")));
    const auto before = probe.where(QStringLiteral("Harbour Cafe"));
    QVERIFY(before);

    const QPoint from = *before + QPoint(0, 150);
    QVERIFY(screen.drag(onPanel(from), onPanel(from - QPoint(0, 300)), 10));
    QTRY_VERIFY_WITH_TIMEOUT(probe.where(QStringLiteral("Harbour Cafe")).value_or(*before).y() < before->y() - 300,
                             15000);
    app.terminate();
    QVERIFY(app.waitForFinished(10000));
  }

  // A landscape output (a rotated output, a desktop screen) shows the window upright as it is:
  // turned, it would not fit, and the compositor would end the program.
  void landscapeOutputShowsItUpright() {
    PanelCompositor screen;
    QVERIFY(screen.startHeadless(QStringLiteral("kiosk-shell.so"), 2160, 1080));
    QProcess app;
    startProgram(app, screen, {QStringLiteral("/bin/true"), QStringLiteral("m")});
    const ProbeClient probe(probeSocket());
    QVERIFY(probe.waitShown(QStringLiteral("Update Required"), 30000));
    QByteArray log;
    QTRY_VERIFY((log += app.readAllStandardError()).contains("set_window_geometry(0, 0, 2160, 1080)"));
    app.terminate();
    QVERIFY(app.waitForFinished(10000));
    log += app.readAllStandardError();
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
    QVERIFY(!log.contains("set_buffer_transform(3)"));
  }

  // Without an EGL display (no client buffer integration matches) nothing could be drawn on the device.
  void withoutEglItAborts() {
    PanelCompositor screen;
    QVERIFY(screen.start(QStringLiteral("kiosk-shell.so")));
    QProcessEnvironment env = screen.clientEnvironment();
    env.insert(QStringLiteral("QT_WAYLAND_CLIENT_BUFFER_INTEGRATION"), QStringLiteral("none"));
    QProcess app;
    app.setProcessEnvironment(env);
    startBuiltProgram(app, QStringLiteral(UPDATER_EXE), {QStringLiteral("/bin/true"), QStringLiteral("m")});
    QVERIFY(app.waitForFinished(20000));
    QCOMPARE(app.exitStatus(), QProcess::CrashExit);
    QCOMPARE(app.exitCode(), SIGABRT);
    const QByteArray err = app.readAllStandardError();
    QVERIFY2(err.contains("Assertion `egl != nullptr' failed"), err.constData());
  }
};

QTEST_GUILESS_MAIN(TestUpdaterPanel)
#include "test_updater_panel.moc"
