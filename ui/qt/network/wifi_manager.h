#pragma once

#include <algorithm>
#include <cmath>
#include <optional>

#include <QByteArray>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <QVector>

#include "ui/qt/network/nm_dbus.h"
#include "ui/qt/network/nm_signals.h"

enum class SecurityType : int {
  OPEN = 0,
  WPA = 1,
  UNSUPPORTED = 2,
};

enum class ConnectedType : int {
  DISCONNECTED = 0,
  CONNECTING = 1,
  CONNECTED = 2,
};

struct Network {
  QByteArray ssid;
  unsigned int strength;
  ConnectedType connected;
  SecurityType security_type;
};

// Signal bars, 0 to 3.
inline int strengthLevel(unsigned int strength) {
  return std::clamp(int(std::round(strength / 33.0)), 0, 3);
}

// An SSID as text: its bytes up to the first zero byte, decoded as UTF-8.
QString ssidText(const QByteArray &ssid);

// Connected first, then stronger, then by name.
bool compare_by_strength(const Network &a, const Network &b);

class WifiManager : public QObject {
  Q_OBJECT

public:
  QMap<QString, Network> seenNetworks;
  QMap<QDBusObjectPath, QString> knownConnections;
  QString ipv4_address;
  bool ipv4_forward = false;

  explicit WifiManager(QObject *parent);

  void start();
  void stop();
  void requestScan();

  void connect(const Network &n, bool is_hidden = false, const QString &password = {}, const QString &username = {});
  std::optional<QDBusPendingCall> activateWifiConnection(const QString &ssid);
  bool isKnownConnection(const QString &ssid);
  void forgetConnection(const QString &ssid);

  void setTetheringEnabled(bool enabled);
  bool isTetheringEnabled();
  QString getTetheringPassword();
  void changeTetheringPassword(const QString &newPassword);

  void updateGsmSettings(bool roaming, QString apn, bool metered);

signals:
  void wrongPassword(const QString &ssid);
  void refreshSignal();

private:
  QString adapter;
  QTimer timer;
  NmSignals nm_signals;
  QString connecting_to_network;
  bool attempt_key_refused = false;  // the attempt in progress was told its key is wrong
  QString tethering_ssid;
  const QString defaultTetheringPassword = QStringLiteral("plumtreeorbit");
  QString activeAp;
  bool hotspot_awaits_profile = false;  // asked for before the daemon announced its profile
  QDBusObjectPath lteConnectionPath;

  QString getAdapter(NM::DeviceType adapter_type);
  NM::DeviceType getAdapterType(const QDBusObjectPath &path);
  void setup();
  void refreshNetworks();
  SecurityType getSecurityType(const QVariantMap &properties);
  bool isOwnHotspot(const QString &access_point, const QString &ssid) const;
  QByteArray get_property(const QString &network_path, const QString &property);

  void initConnections();
  Connection getConnectionSettings(const QDBusObjectPath &path);
  QDBusObjectPath getConnectionPath(const QString &ssid);
  void setCurrentConnecting(const QString &ssid);
  void deleteSavedConnection(const QString &ssid);
  void endRefusedAttempt(const QString &ssid, bool key_refused);
  void endFailedAttempt(NM::Reason reason);
  void dropAttempt(const QString &ssid);
  void readSettingsLater(const QDBusObjectPath &path);
  void addKnownConnection(const QDBusObjectPath &path, const Connection &settings);
  QVector<QDBusObjectPath> getActiveConnections();
  void deactivateConnection(const QDBusObjectPath &path);
  void deactivateConnectionBySsid(const QString &ssid);

  void addTetheringConnection();
  bool activateHotspot();
  void activateModemConnection(const QDBusObjectPath &path);
  bool gsmAutoConfigKept(const QVariantMap &gsm) const;
  QString getIp4Address();

private slots:
  void stateChange(unsigned int new_state, unsigned int previous_state, unsigned int change_reason);
  void propertyChange(const QString &interface, const QVariantMap &props, const QStringList &invalidated_props);
  void deviceAdded(const QDBusObjectPath &path);
  void connectionRemoved(const QDBusObjectPath &path);
  void newConnection(const QDBusObjectPath &path);
  void refreshFinished(QDBusPendingCallWatcher *watcher);
  void tetheringActivated(QDBusPendingCallWatcher *call);

  // Declared last, so that the signals and slots above keep their places in the meta-object.
signals:
  // A join the user asked for failed for another reason than the key (`reason`, NetworkManager's
  // number for why); the attempt is over and the saved connection kept.
  void connectionFailed(const QString &ssid, unsigned int reason);
};
