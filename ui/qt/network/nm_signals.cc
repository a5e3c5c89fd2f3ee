#include "ui/qt/network/nm_signals.h"

#include <QDBusConnection>

#include "ui/qt/network/nm_interface.h"

NmSignals::NmSignals(QObject *parent) : QObject(parent) {}

bool NmSignals::watchDeviceAdded() {
  return QDBusConnection::systemBus().connect(NM_DBUS_SERVICE, NM_DBUS_PATH, NM_DBUS_INTERFACE,
                                              QStringLiteral("DeviceAdded"), this,
                                              SLOT(onDeviceAdded(QDBusObjectPath)));
}

bool NmSignals::watchDevice(const QString &device) {
  QDBusConnection bus = QDBusConnection::systemBus();
  const bool state = bus.connect(NM_DBUS_SERVICE, device, NM_DBUS_INTERFACE_DEVICE, QStringLiteral("StateChanged"),
                                 this, SLOT(onStateChanged(uint, uint, uint)));
  const bool properties =
      bus.connect(NM_DBUS_SERVICE, device, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("PropertiesChanged"), this,
                  SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
  return state && properties;
}

bool NmSignals::watchSavedConnections() {
  QDBusConnection bus = QDBusConnection::systemBus();
  const bool removed =
      bus.connect(NM_DBUS_SERVICE, NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS,
                  QStringLiteral("ConnectionRemoved"), this, SLOT(onConnectionRemoved(QDBusObjectPath)));
  const bool added = bus.connect(NM_DBUS_SERVICE, NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS,
                                 QStringLiteral("NewConnection"), this, SLOT(onNewConnection(QDBusObjectPath)));
  return removed && added;
}

void NmSignals::onDeviceAdded(const QDBusObjectPath &path) {
  emit deviceAdded(path);
}

void NmSignals::onStateChanged(unsigned int new_state, unsigned int old_state, unsigned int reason) {
  emit stateChanged(new_state, old_state, reason);
}

void NmSignals::onPropertiesChanged(const QString &interface, const QVariantMap &props,
                                    const QStringList &invalidated) {
  emit propertiesChanged(interface, props, invalidated);
}

void NmSignals::onConnectionRemoved(const QDBusObjectPath &path) {
  emit connectionRemoved(path);
}

void NmSignals::onNewConnection(const QDBusObjectPath &path) {
  emit newConnection(path);
}
