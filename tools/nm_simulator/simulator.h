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

struct SimAccessPoint {
  QByteArray ssid;
  unsigned char strength = 0;
  unsigned int flags = 0;
  unsigned int wpaFlags = 0;
  unsigned int rsnFlags = 0;
  QString password;     // the pre-shared key the network accepts
  bool hidden = false;  // not broadcast: reports an empty SSID; a hidden profile of its name finds it
  bool ownHotspot = false;
  bool placeholder = false;  // stands in for a hidden network while the daemon looks for it
  QString hwAddress;         // empty for the placeholder, which has no radio behind it
  bool offAir = false;       // gone, but still listed until scans have missed it
  int missedScans = 0;
  bool noAddress = false;  // joins, but its DHCP never answers
};

struct SimDevice {
  NM::DeviceType type = NM::DeviceType::Unknown;
  QString interface;
  NM::DeviceState state = NM::DeviceState::Disconnected;
  QString activeAccessPoint = QStringLiteral("/");
  QString activeConnection = QStringLiteral("/");
  qint64 lastScan = -1;
  bool scanPending = false;
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
  NM::ActiveState state = NM::ActiveState::Activating;
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
  QString addAccessPoint(SimAccessPoint ap);
  bool removeAccessPoint(const QString &path);
  QString addDevice(NM::DeviceType type, const QString &interface);
  QString addActiveConnection(const QString &type, const QString &address);
  void finishScan();
  void setScanDelay(int ms) { scanDelayMs = ms; }
  void setDhcpDelay(int ms) { dhcpDelayMs = ms; }
  // The access points of a network leave the air, or come back; the number of them.
  int takeAway(const QByteArray &ssid);
  int bringBack(const QByteArray &ssid);
  // The network's DHCP stops answering, or answers again; the number of its access points.
  int withholdAddress(const QByteArray &ssid, bool withhold);
  void setFault(const QString &name, const QString &fault);
  // From the next call of `method` on, nothing is answered for `ms`; then every call held
  // meanwhile is answered in order, as a daemon that was busy would.
  void stallFrom(const QString &method, int ms);
  void setActiveAccessPoint(const QString &path);
  void setWifiDeviceState(NM::DeviceState state, NM::Reason reason);
  void emitWifiPropertiesChanged(const QString &interface, const QVariantMap &props);
  QStringList calls() const { return callLog; }
  void clearCalls() { callLog.clear(); }

private:
  QDBusConnection bus;
  int scanDelayMs = 500;
  int dhcpDelayMs = 0;
  QMap<QString, QString> faults;
  QString stallTrigger;
  int stallMs = 0;
  bool stalled = false;
  QList<QDBusMessage> held;
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
  QList<SimAccessPoint> scannedAside;    // while a hotspot starts
  QList<SimAccessPoint> offAirUnlisted;  // gone, and no longer listed

  QString nextPath(const QString &kind);
  QString firstDevice(NM::DeviceType type) const;
  void addLoopback();

  void dispatch(const QDBusMessage &message);
  bool holdWhileStalled(const QDBusMessage &message);
  void endStall();
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
  void deactivate(QString active_path, NM::Reason reason);  // by value: callers pass keys of the maps it changes
  void runActivation(const QString &active_path);
  QString startHotspot(const Connection &settings);
  void serveHotspot(const QString &active_path, const Connection &settings);
  QString probeHiddenNetwork(const QString &device, const Connection &settings);
  QString insertAccessPoint(const SimAccessPoint &ap);
  void completeActivation(const QString &active_path, const QString &access_point, const QString &address);
  void finishIpConfig(const QString &active_path, const QString &address);
  void failActivation(const QString &active_path, NM::DeviceState state, NM::Reason reason);
  void setDeviceState(const QString &device, NM::DeviceState new_state, NM::Reason reason);
  void setActiveAccessPointOf(const QString &device, const QString &access_point);
  QString findAccessPoint(const QString &device, const QByteArray &ssid) const;
  void forgetMissedAccessPoints();
  void activeConnectionsChanged();

  QString addConnection(Connection settings);
  void removeConnection(const QString &path);
  void scheduleScan(const QString &device);
};
