#pragma once

#include <QByteArray>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>
#include <QVariantList>

#include "ui/qt/network/nm_dbus.h"

// Access point security flags as NetworkManager reports them.
struct ApSecurity {
  unsigned int flags, wpa, rsn;
};
const ApSecurity kOpen{0x0, 0x0, 0x0};
const ApSecurity kWpa2{0x1, 0x0, 0x188};
const ApSecurity kEnterprise{0x1, 0x0, 0x388};

// The NetworkManager simulator as a child process on the test's private system bus
// (its binary comes from $NM_SIMULATOR), driven through its control interface.
class Simulator {
public:
  ~Simulator();
  bool start(const QStringList &args = {QStringLiteral("--scan-delay"), QStringLiteral("-1")});
  void stop();

  QDBusMessage control(const QString &method, const QVariantList &args = {});
  QDBusObjectPath addAccessPoint(const QByteArray &ssid, unsigned int strength, ApSecurity security = kOpen,
                                 const QString &password = {});
  QDBusObjectPath addDevice(unsigned int type, const QString &interface);
  void setFault(const QString &name, const QString &fault);
  void finishScan();
  QStringList calls();
  void clearCalls();
  QByteArray output();

private:
  QProcess process;
  QByteArray captured;
};

// Direct NetworkManager calls for checking what the client did, past the layer under test.
namespace nmraw {
QDBusMessage call(const QString &path, const QString &interface, const QString &method, const QVariantList &args = {});
QList<QDBusObjectPath> listConnections();
Connection settings(const QDBusObjectPath &path);
Connection secrets(const QDBusObjectPath &path, const QString &section);
QDBusObjectPath addConnection(const Connection &settings);
// The saved connections that appeared since `before`.
QList<QDBusObjectPath> newConnections(const QList<QDBusObjectPath> &before);
QList<QDBusObjectPath> connectionsWithSsid(const QByteArray &ssid);
bool deleteConnection(const QDBusObjectPath &path);
QVariant property(const QString &path, const QString &interface, const QString &name);
QList<QDBusObjectPath> activeConnections();
// The first device of a NetworkManager device type (2 Wi-Fi, 8 modem); empty when none.
QString deviceOfType(unsigned int type);
}  // namespace nmraw

// Collects this process's Qt log messages while alive; they are still printed as usual.
class MessageLog {
public:
  MessageLog();
  ~MessageLog();
  int count(const QString &prefix) const;
  QStringList lines() const;
};

// Sends this process's standard output and standard error into a file while alive.
class OutputCapture {
public:
  OutputCapture();
  ~OutputCapture();
  QByteArray text();

private:
  QTemporaryFile file;
  int saved_stdout = -1;
  int saved_stderr = -1;
  void restore();
};

// Receives the records this process pushes to the log collector (at Path::swaglog_ipc()).
class LogRecords {
public:
  LogRecords();
  ~LogRecords();
  // Every record received within `wait_ms`, as JSON text.
  QStringList take(int wait_ms = 200);

private:
  void *context = nullptr;
  void *socket = nullptr;
};
