#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "ui/qt/network/nm_dbus.h"

// NetworkManager's device types and states as the client sees them.
namespace nmsim {
constexpr unsigned int kDeviceEthernet = 1;
constexpr unsigned int kDeviceWifi = 2;
constexpr unsigned int kDeviceModem = 8;
constexpr unsigned int kDeviceLoopback = 32;

constexpr unsigned int kStateDisconnected = 30;
constexpr unsigned int kStatePrepare = 40;
constexpr unsigned int kStateConfig = 50;
constexpr unsigned int kStateNeedAuth = 60;
constexpr unsigned int kStateIpConfig = 70;
constexpr unsigned int kStateActivated = 100;
constexpr unsigned int kStateFailed = 120;

constexpr unsigned int kReasonNone = 0;
constexpr unsigned int kReasonNoSecrets = 7;
constexpr unsigned int kReasonSupplicantDisconnect = 8;
constexpr unsigned int kReasonUserRequested = 39;
constexpr unsigned int kReasonSsidNotFound = 53;
}  // namespace nmsim

struct SimAccessPoint {
  QByteArray ssid;
  unsigned char strength = 0;
  unsigned int flags = 0;
  unsigned int wpaFlags = 0;
  unsigned int rsnFlags = 0;
  QString password;     // the pre-shared key the network accepts
  bool hidden = false;  // not broadcast: reports an empty SSID, still joinable by its name
  bool ownHotspot = false;
};

struct SimDevice {
  unsigned int type = 0;
  QString interface;
  unsigned int state = nmsim::kStateDisconnected;
  QString activeAccessPoint = QStringLiteral("/");
  QString activeConnection = QStringLiteral("/");
  qint64 lastScan = -1;
  bool scanPending = false;
  // A device that starts a hotspot drops the networks it had scanned until it scans again.
  bool scannedDropped = false;
};

struct SimSavedConnection {
  Connection settings;  // secrets included
  bool unsaved = false;
};

struct SimActiveConnection {
  QString connection;
  QString device;
  QString specificObject = QStringLiteral("/");
  QString ip4Config = QStringLiteral("/");
  QString type;
  QString id;
  QString uuid;
  unsigned int state = 1;
};

struct SimIp4Config {
  QString address;
  unsigned int prefix = 24;
  QString gateway;
};

// The part of NetworkManager's D-Bus service that the client uses, backed by an
// in-memory model. Every object below /org/freedesktop/NetworkManager is served here.
class NetworkManagerSimulator : public QDBusVirtualObject {
  Q_OBJECT

public:
  explicit NetworkManagerSimulator(const QDBusConnection &bus, QObject *parent = nullptr);

  QString introspect(const QString &path) const override;
  bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

  // Control operations.
  QString addAccessPoint(const SimAccessPoint &ap);
  bool removeAccessPoint(const QString &path);
  QString addDevice(unsigned int type, const QString &interface);
  QString addActiveConnection(const QString &type, const QString &address);
  void finishScan();
  void setScanDelay(int ms) { scanDelayMs = ms; }
  void setFault(const QString &name, const QString &fault);
  void setActiveAccessPoint(const QString &path);
  void emitStateChanged(unsigned int new_state, unsigned int old_state, unsigned int reason);
  void emitWifiPropertiesChanged(const QString &interface, const QVariantMap &props);
  QStringList calls() const { return callLog; }
  void clearCalls() { callLog.clear(); }

private:
  QDBusConnection bus;
  int scanDelayMs = 500;
  QMap<QString, QString> faults;
  QStringList callLog;
  QMap<QString, int> counters;

  QMap<QString, SimDevice> devices;
  QMap<QString, SimAccessPoint> accessPoints;
  QMap<QString, SimSavedConnection> connections;
  QMap<QString, SimActiveConnection> activeConnections;
  QMap<QString, SimIp4Config> ip4Configs;
  QStringList deviceOrder;
  QStringList apOrder;
  QStringList activeOrder;

  QString nextPath(const QString &kind);
  QString firstDevice(unsigned int type) const;
  void addLoopback();

  void logCall(const QDBusMessage &message);
  bool applyFault(const QDBusMessage &message);
  void reply(const QDBusMessage &message, const QVariantList &args = {});
  void replyError(const QDBusMessage &message, const QString &name, const QString &text);
  void emitSignal(const QString &path, const QString &interface, const QString &name, const QVariantList &args);
  void emitPropertiesChanged(const QString &path, const QString &interface, const QVariantMap &props);

  // Properties of one object on one interface; false when the object has no such interface.
  bool properties(const QString &path, const QString &interface, QVariantMap *out) const;
  void handleProperties(const QDBusMessage &message);

  void handleManager(const QDBusMessage &message);
  void handleSettings(const QDBusMessage &message);
  void handleConnection(const QDBusMessage &message);
  void handleDevice(const QDBusMessage &message);

  void activate(const QDBusMessage &message);
  void deactivate(QString active_path, unsigned int reason);  // by value: callers pass keys of the maps it changes
  void runActivation(const QString &active_path);
  void completeActivation(const QString &active_path, const QString &access_point, const QString &address);
  void failActivation(const QString &active_path, unsigned int state, unsigned int reason);
  void setDeviceState(const QString &device, unsigned int new_state, unsigned int reason);
  void setActiveAccessPointOf(const QString &device, const QString &access_point);
  QString findAccessPoint(const QString &device, const QByteArray &ssid) const;
  void activeConnectionsChanged();

  QString addConnection(Connection settings);
  void removeConnection(const QString &path);
  void scheduleScan(const QString &device);
};
