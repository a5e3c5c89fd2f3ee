#pragma once

#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QByteArray>
#include <QString>

// Shared by the fuzz targets: a broken expectation and the one application object.
namespace fuzz {

// libFuzzer takes an abort for a crash and keeps the input that caused it.
inline void check(bool ok, const QString &what) {
  if (!ok) {
    fprintf(stderr, "fuzz check failed: %s\n", what.toUtf8().constData());
    abort();
  }
}

// Offscreen and quiet (the updater's ignored lines, failed D-Bus calls), and never on a real system
// bus: nothing a target runs may reach this machine's NetworkManager.
inline void application() {
  static QApplication *app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  (void)app;
}

}  // namespace fuzz
