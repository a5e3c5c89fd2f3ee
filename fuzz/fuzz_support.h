#pragma once

#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Shared by the fuzz targets: a broken expectation and the one application object.
namespace fuzz {

// libFuzzer takes an abort for a crash and keeps the input that caused it.
inline void check(bool ok, const QString &what) {
  if (!ok) {
    fprintf(stderr, "fuzz check failed: %s\n", what.toUtf8().constData());
    abort();
  }
}

// Nothing a target runs may act on this machine: the parameter store (read for the device's
// identity and version) is a scratch folder, and the system bus is nowhere unless the target runs
// on a private one.
inline void keepOffTheDevice(bool on_private_bus = false) {
  static QTemporaryDir scratch;
  qputenv("PARAMS_ROOT", scratch.filePath(QStringLiteral("params")).toUtf8());
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
  const QByteArray bus = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
  if (!on_private_bus) {
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent");
  } else if (bus.isEmpty() || bus.contains("/run/dbus/")) {
    fprintf(stderr, "run on a private system bus (tests/fixtures/system_bus.sh)\n");
    abort();
  }
}

// Offscreen and quiet (the updater's ignored lines, failed D-Bus calls).
inline void application(bool on_private_bus = false) {
  static QApplication *app = [on_private_bus] {
    keepOffTheDevice(on_private_bus);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  (void)app;
}

}  // namespace fuzz
