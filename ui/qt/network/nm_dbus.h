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

#include <optional>
#include <type_traits>

#include "ui/qt/network/nm_interface.h"

// Everything the client says to NetworkManager goes through this unit: the marshalling of
// its composite types, the bounded calls, and the typed reads and calls built on them. The
// names come from nm_interface.h; the signals from nm_signals.h.

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
// The same call on many objects, sent together so the caller waits about one round trip
// instead of one per object. Each call has at least its own 100 ms, counted from when the
// caller starts waiting for it, so a short stall of the daemon costs what it would cost calls
// made one after another (one object for a stall under 200 ms), while the whole wait stays
// within one call's time of what the calls take when each is bounded from when it is sent. Failures
// are logged and become empty messages, as with callBlocking; replies come in the order of
// `paths`.
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
// and one critical log line. A path that names no object (emptyPath) is not called: the
// empty T at once, without a line.
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

// Fire-and-forget or watched call; reports nothing itself. To a path that names no object
// (emptyPath) nothing is sent: the call is finished at once, with an error.
template <typename... Args>
QDBusPendingCall asyncCall(const QString &path, const QString &interface, const QString &method, const Args &...args) {
  return nm::callAsync(path, interface, method, nm::toVariants(args...));
}

// NetworkManager's reference to no object is "/".
inline bool emptyPath(const QString &path) {
  return path.isEmpty() || path == QStringLiteral("/");
}

// Typed reads and calls: what the client asks of NetworkManager, each through `call` or
// `asyncCall` above, so every one is bounded and logged alike.
namespace nm {

// One property of one object (Properties "Get"); the empty T when it cannot be read.
template <typename T>
T property(const QString &path, const QString &interface, const QString &name) {
  return call<T>(path, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("Get"), interface, name);
}

// The service
QList<QDBusObjectPath> devices();
NM::DeviceType deviceType(const QDBusObjectPath &device);
QVector<QDBusObjectPath> activeConnections();
// Activates a saved connection on a device, with no specific object.
QDBusPendingCall activateConnection(const QDBusObjectPath &connection, const QDBusObjectPath &device);
QDBusPendingCall deactivateConnection(const QDBusObjectPath &active);

// A Wi-Fi device
QString activeAccessPoint(const QString &device);
QDBusPendingCall requestScan(const QString &device);
QDBusPendingCall getAllAccessPoints(const QString &device);
// The access points of a finished GetAllAccessPoints; nothing when it failed or is not a list of paths.
std::optional<QList<QDBusObjectPath>> accessPoints(const QDBusPendingCall &finished);
// Every property of each access point, in order (see callEach); nothing for one that could not be read.
QVector<std::optional<QVariantMap>> accessPointProperties(const QList<QDBusObjectPath> &access_points);

// An active connection and its IPv4 configuration
QDBusObjectPath specificObject(const QDBusObjectPath &active);
QString activeConnectionType(const QDBusObjectPath &active);
QDBusObjectPath ip4Config(const QDBusObjectPath &active);
IpConfig addressData(const QDBusObjectPath &ip4_config);

// Saved connections
QList<QDBusObjectPath> listConnections();
Connection settings(const QDBusObjectPath &connection);
// The same read without a bound, for a caller that must not lose it to a busy daemon.
QDBusPendingCall settingsAsync(const QDBusObjectPath &connection);
// The settings of a finished settingsAsync; nothing when it failed.
std::optional<Connection> settings(const QDBusPendingCall &finished);
Connection secrets(const QDBusObjectPath &connection, const QString &section);
// The secrets stored for one section; a section that holds none is an answer, not a failure.
QVariantMap storedSecrets(const QDBusObjectPath &connection, const QString &section);
// What AddConnection came to. A daemon that did not answer in time may still save the
// connection (its NewConnection tells); one that refused a setting saved nothing.
struct AddedConnection {
  QDBusObjectPath path;     // the reply is a bare object path, not a variant; empty when none came
  QString refused_setting;  // "section.key" of the setting the daemon refused; empty otherwise
};
AddedConnection addConnection(const Connection &settings);
void deleteConnection(const QDBusObjectPath &connection);
void update(const QDBusObjectPath &connection, const Connection &settings);
void updateUnsaved(const QDBusObjectPath &connection, const Connection &settings);

}  // namespace nm
