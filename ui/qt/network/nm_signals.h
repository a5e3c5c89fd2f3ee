#pragma once

#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// NetworkManager's D-Bus signals as Qt signals, so the client connects to them like to any
// other object. Each watch subscribes once; subscriptions last as long as this object.
class NmSignals : public QObject {
  Q_OBJECT

public:
  explicit NmSignals(QObject *parent = nullptr);

  // "DeviceAdded" of the service.
  bool watchDeviceAdded();
  // "StateChanged" and "PropertiesChanged" of one device.
  bool watchDevice(const QString &device);
  // "ConnectionRemoved" and "NewConnection" of the saved connections.
  bool watchSavedConnections();

signals:
  void deviceAdded(const QDBusObjectPath &path);
  void stateChanged(unsigned int new_state, unsigned int old_state, unsigned int reason);
  void propertiesChanged(const QString &interface, const QVariantMap &props, const QStringList &invalidated);
  void connectionRemoved(const QDBusObjectPath &path);
  void newConnection(const QDBusObjectPath &path);

private slots:
  // Bound by name and argument types to the D-Bus signals, which QtDBus decodes into them.
  void onDeviceAdded(const QDBusObjectPath &path);
  void onStateChanged(unsigned int new_state, unsigned int old_state, unsigned int reason);
  void onPropertiesChanged(const QString &interface, const QVariantMap &props, const QStringList &invalidated);
  void onConnectionRemoved(const QDBusObjectPath &path);
  void onNewConnection(const QDBusObjectPath &path);
};
