#pragma once

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QMap>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <QVector>

#include <type_traits>

// Everything the client says to NetworkManager goes through this unit: its names,
// the marshalling of its composite types and the bounded calls.

const QString NM_DBUS_SERVICE = QStringLiteral("org.freedesktop.NetworkManager");
const QString NM_DBUS_PATH = QStringLiteral("/org/freedesktop/NetworkManager");
const QString NM_DBUS_PATH_SETTINGS = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
const QString NM_DBUS_INTERFACE = QStringLiteral("org.freedesktop.NetworkManager");
const QString NM_DBUS_INTERFACE_PROPERTIES = QStringLiteral("org.freedesktop.DBus.Properties");
const QString NM_DBUS_INTERFACE_SETTINGS = QStringLiteral("org.freedesktop.NetworkManager.Settings");
const QString NM_DBUS_INTERFACE_SETTINGS_CONNECTION =
    QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString NM_DBUS_INTERFACE_DEVICE = QStringLiteral("org.freedesktop.NetworkManager.Device");
const QString NM_DBUS_INTERFACE_DEVICE_WIRELESS = QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless");
const QString NM_DBUS_INTERFACE_ACCESS_POINT = QStringLiteral("org.freedesktop.NetworkManager.AccessPoint");
const QString NM_DBUS_INTERFACE_ACTIVE_CONNECTION = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString NM_DBUS_INTERFACE_IP4_CONFIG = QStringLiteral("org.freedesktop.NetworkManager.IP4Config");

// Section name -> key -> value, D-Bus a{sa{sv}}.
typedef QMap<QString, QVariantMap> Connection;
// D-Bus aa{sv}, as in the IPv4 "address-data" setting and "AddressData" property.
typedef QVector<QVariantMap> IpConfig;

Q_DECLARE_METATYPE(Connection)
Q_DECLARE_METATYPE(IpConfig)

namespace nm {

constexpr int kCallTimeoutMs = 100;
constexpr int kMaxCallsInFlight = 32;

// Registers the D-Bus marshalling of Connection and IpConfig; idempotent.
void registerTypes();

QDBusMessage methodCall(const QString &path, const QString &interface, const QString &method, const QVariantList &args);
QDBusMessage callBlocking(const QString &path, const QString &interface, const QString &method,
                          const QVariantList &args);
// As callBlocking, but an error reply is handed back after its log line, so a caller can tell
// the daemon's refusal from a time-out.
QDBusMessage callBlockingKeepingError(const QString &path, const QString &interface, const QString &method,
                                      const QVariantList &args);
// The same call on many objects, sent all at once and each bounded by 100 ms, so the
// caller waits about one round trip instead of one per object. Failures are logged and
// become empty messages, as with callBlocking; replies come in the order of `paths`.
QVector<QDBusMessage> callEach(const QList<QDBusObjectPath> &paths, const QString &interface, const QString &method,
                               const QVariantList &args);
QDBusPendingCall callAsync(const QString &path, const QString &interface, const QString &method,
                           const QVariantList &args);

QVariant firstVariantValue(const QDBusMessage &reply);
void logUnpackFailure(const QString &method, const QVariantList &args);

// Qt's debug rendering of a call's arguments with every secret replaced by "<hidden>".
QString describeArguments(const QVariantList &args);
// A copy of the settings with every secret replaced by "<hidden>".
Connection withSecretsHidden(const Connection &settings);
bool isSecretKey(const QString &key);

template <typename T>
T unpack(const QDBusMessage &reply, const QString &method, const QVariantList &args) {
  QVariant value = firstVariantValue(reply);
  if (value.userType() == qMetaTypeId<T>() || value.convert(qMetaTypeId<T>())) {
    return value.value<T>();
  }
  logUnpackFailure(method, args);
  return T{};
}

inline QVariant toVariant(const char *text) {
  return QString::fromUtf8(text);
}

template <typename T>
QVariant toVariant(const T &value) {
  return QVariant::fromValue(value);
}

template <typename... Args>
QVariantList toVariants(const Args &...args) {
  return QVariantList{toVariant(args)...};
}

}  // namespace nm

// Blocking call to NetworkManager, bounded by 100 ms; every failure becomes the empty T
// and one critical log line.
template <typename T, typename... Args>
T call(const QString &path, const QString &interface, const QString &method, const Args &...args) {
  const QVariantList arguments = nm::toVariants(args...);
  const QDBusMessage reply = nm::callBlocking(path, interface, method, arguments);
  if constexpr (std::is_same_v<T, QDBusMessage>) {
    return reply;
  } else {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
      return T{};
    }
    return nm::unpack<T>(reply, method, arguments);
  }
}

// Fire-and-forget or watched call; reports nothing itself.
template <typename... Args>
QDBusPendingCall asyncCall(const QString &path, const QString &interface, const QString &method, const Args &...args) {
  return nm::callAsync(path, interface, method, nm::toVariants(args...));
}

// NetworkManager's reference to no object is "/".
inline bool emptyPath(const QString &path) {
  return path.isEmpty() || path == QStringLiteral("/");
}
