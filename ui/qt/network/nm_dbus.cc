#include "ui/qt/network/nm_dbus.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDebug>

#include <algorithm>
#include <deque>

namespace nm {

namespace {

const QString kHidden = QStringLiteral("<hidden>");

void describeArgument(QDebug &dbg, const QVariant &arg) {
  const int type = arg.userType();
  if (type == qMetaTypeId<Connection>()) {
    dbg << withSecretsHidden(arg.value<Connection>());
  } else if (type == qMetaTypeId<QDBusObjectPath>()) {
    dbg << arg.value<QDBusObjectPath>().path();
  } else if (type == qMetaTypeId<QDBusVariant>()) {
    describeArgument(dbg, arg.value<QDBusVariant>().variant());
  } else if (type == QMetaType::QString) {
    dbg << arg.toString();
  } else {
    dbg << arg;
  }
}

}  // namespace

void registerTypes() {
  qDBusRegisterMetaType<Connection>();
  qDBusRegisterMetaType<IpConfig>();
}

QDBusMessage methodCall(const QString &path, const QString &interface, const QString &method,
                        const QVariantList &args) {
  QDBusMessage message = QDBusMessage::createMethodCall(NM_DBUS_SERVICE, path, interface, method);
  message.setArguments(args);
  return message;
}

namespace {

// What a call to no object comes to without being sent.
const QString kNotSent = QStringLiteral("org.halcyra.Updater.Error.NoObject");

// Every call leaves through here. NetworkManager names no object with "/" (an activating
// connection's IPv4 configuration, a disconnected device's access point), and a path never read
// is empty: a call there could only fail, so none is sent, and the caller gets the failure at
// once, unreported (see checked).
QDBusPendingCall send(const QDBusMessage &call, int timeout_ms) {
  if (emptyPath(call.path())) {
    return QDBusPendingCall::fromCompletedCall(QDBusMessage::createError(kNotSent, call.path()));
  }
  return QDBusConnection::systemBus().asyncCall(call, timeout_ms);
}

// The reply as it came, an error reply included.
QDBusMessage blockingReply(const QString &path, const QString &interface, const QString &method,
                           const QVariantList &args) {
  QDBusPendingCall pending = send(methodCall(path, interface, method, args), kCallTimeoutMs);
  pending.waitForFinished();
  return pending.reply();
}

QDBusMessage checked(const QDBusMessage &reply) {
  if (reply.type() != QDBusMessage::ReplyMessage) {
    if (reply.errorName() != kNotSent) {
      qCritical() << "DBus call error:" << reply.errorMessage();
    }
    return QDBusMessage();
  }
  return reply;
}

}  // namespace

QDBusMessage callBlocking(const QString &path, const QString &interface, const QString &method,
                          const QVariantList &args) {
  return checked(blockingReply(path, interface, method, args));
}

namespace {

bool timedOut(const QDBusMessage &reply) {
  return reply.type() == QDBusMessage::ErrorMessage &&
         (reply.errorName() == QDBusError::errorString(QDBusError::NoReply) ||
          reply.errorName() == QDBusError::errorString(QDBusError::Timeout));
}

struct PendingEach {
  int index;
  QDBusPendingCall call;
  QDeadlineTimer deadline;  // when its own time-out ends
};

}  // namespace

QVector<QDBusMessage> callEach(const QList<QDBusObjectPath> &paths, const QString &interface, const QString &method,
                               const QVariantList &args) {
  const auto sendTo = [&](int i, int timeout_ms) {
    return send(methodCall(paths[i].path(), interface, method, args), timeout_ms);
  };
  // The bus refuses more outstanding calls per connection than its limit (128 on a
  // system bus), so only a window of them is in flight at any time.
  std::deque<PendingEach> in_flight;
  int next = 0;
  // The first call's turn starts with the refresh, each later one's when the one before it ends.
  QDeadlineTimer turn(kCallTimeoutMs, Qt::PreciseTimer);
  // Calls are asked again only until the caller has waited as long as the calls could take
  // when each is bounded from when it is sent, plus one call's time: a stall shorter than
  // that costs no more than calls made one after another, a longer one no more than that.
  const int windows = int((paths.size() + kMaxCallsInFlight - 1) / kMaxCallsInFlight);
  const QDeadlineTimer ask_again_until((windows + 1) * kCallTimeoutMs, Qt::PreciseTimer);
  const auto sendNext = [&] {
    const QDeadlineTimer deadline(kCallTimeoutMs, Qt::PreciseTimer);
    in_flight.push_back({next, sendTo(next, kCallTimeoutMs), deadline});
    ++next;
  };
  while (next < paths.size() && next < kMaxCallsInFlight) {
    sendNext();
  }
  QVector<QDBusMessage> replies;
  replies.reserve(paths.size());
  while (!in_flight.empty()) {
    const PendingEach current = in_flight.front();
    in_flight.pop_front();
    const QDeadlineTimer own = std::max(current.deadline, turn);
    QDBusPendingCall pending = current.call;
    pending.waitForFinished();
    // A call that ran out of time while an earlier one was still awaited (the daemon
    // stalled) has not had its own 100 ms yet: it is asked again. The others the stall timed
    // out are asked again with it, so the stall costs one round trip rather than one per call.
    // A daemon back from a stall first answers the calls that timed out during it, slowly on a
    // slow processor, so those asked again may wait until asking again ends.
    if (timedOut(pending.reply()) && own.remainingTime() > 0 && !ask_again_until.hasExpired()) {
      const int timeout_ms = int(std::max(own, ask_again_until).remainingTime());
      pending = sendTo(current.index, timeout_ms);
      for (PendingEach &later : in_flight) {
        if (later.call.isFinished() && timedOut(later.call.reply())) {
          later.call = sendTo(later.index, timeout_ms);
          later.deadline = QDeadlineTimer(timeout_ms, Qt::PreciseTimer);
        }
      }
      pending.waitForFinished();
    }
    replies << checked(pending.reply());
    turn = QDeadlineTimer(kCallTimeoutMs, Qt::PreciseTimer);
    if (next < paths.size()) {
      sendNext();
    }
  }
  return replies;
}

QDBusPendingCall callAsync(const QString &path, const QString &interface, const QString &method,
                           const QVariantList &args) {
  return send(methodCall(path, interface, method, args), -1);
}

QVariant firstVariantValue(const QDBusMessage &reply) {
  return reply.arguments().value(0).value<QDBusVariant>().variant();
}

void logUnpackFailure(const QString &method, const QVariantList &args) {
  QString call;
  QDebug(&call) << method << ',';
  qCritical().noquote() << "Variant unpacking failure :" << call.trimmed() << describeArguments(args);
}

QString describeArguments(const QVariantList &args) {
  QString text;
  QDebug dbg(&text);
  for (const QVariant &arg : args) {
    describeArgument(dbg, arg);
  }
  return text.trimmed();
}

bool isSecretKey(const QString &key) {
  return key == QStringLiteral("psk") || key == QStringLiteral("pin") || key.endsWith(QStringLiteral("password")) ||
         (key.startsWith(QStringLiteral("wep-key")) && key != QStringLiteral("wep-key-type"));
}

Connection withSecretsHidden(const Connection &settings) {
  Connection hidden = settings;
  for (auto section = hidden.begin(); section != hidden.end(); ++section) {
    for (auto value = section->begin(); value != section->end(); ++value) {
      if (isSecretKey(value.key())) {
        value.value() = kHidden;
      }
    }
  }
  return hidden;
}

}  // namespace nm

// Typed reads and calls

namespace nm {

namespace {

const QString kNoObject = QStringLiteral("/");

template <typename T>
T readReply(const QDBusMessage &message) {
  const QDBusReply<T> reply(message);
  return reply.isValid() ? reply.value() : T{};
}

// A D-Bus array read out of a property value; anything else gives an empty container.
template <typename T>
T arrayProperty(const QString &path, const QString &interface, const QString &name, const QString &signature) {
  const QDBusArgument value = property<QDBusArgument>(path, interface, name);
  T array;
  if (value.currentSignature() == signature) {
    value >> array;
  }
  return array;
}

QDBusMessage callConnection(const QDBusObjectPath &connection, const QString &method, const QVariantList &args = {}) {
  return callBlocking(connection.path(), NM_DBUS_INTERFACE_SETTINGS_CONNECTION, method, args);
}

}  // namespace

QList<QDBusObjectPath> devices() {
  return readReply<QList<QDBusObjectPath>>(
      call<QDBusMessage>(NM_DBUS_PATH, NM_DBUS_INTERFACE, QStringLiteral("GetDevices")));
}

NM::DeviceType deviceType(const QDBusObjectPath &device) {
  return NM::DeviceType(property<unsigned int>(device.path(), NM_DBUS_INTERFACE_DEVICE, NM::Property::DeviceType));
}

QVector<QDBusObjectPath> activeConnections() {
  return arrayProperty<QVector<QDBusObjectPath>>(NM_DBUS_PATH, NM_DBUS_INTERFACE, NM::Property::ActiveConnections,
                                                 QStringLiteral("ao"));
}

QDBusPendingCall activateConnection(const QDBusObjectPath &connection, const QDBusObjectPath &device) {
  return asyncCall(NM_DBUS_PATH, NM_DBUS_INTERFACE, QStringLiteral("ActivateConnection"), connection, device,
                   QDBusObjectPath(kNoObject));
}

QDBusPendingCall deactivateConnection(const QDBusObjectPath &active) {
  return asyncCall(NM_DBUS_PATH, NM_DBUS_INTERFACE, QStringLiteral("DeactivateConnection"), active);
}

QString activeAccessPoint(const QString &device) {
  return property<QDBusObjectPath>(device, NM_DBUS_INTERFACE_DEVICE_WIRELESS, NM::Property::ActiveAccessPoint).path();
}

QDBusPendingCall requestScan(const QString &device) {
  return asyncCall(device, NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("RequestScan"), QVariantMap());
}

QDBusPendingCall getAllAccessPoints(const QString &device) {
  return asyncCall(device, NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("GetAllAccessPoints"));
}

std::optional<QList<QDBusObjectPath>> accessPoints(const QDBusPendingCall &finished) {
  const QDBusReply<QList<QDBusObjectPath>> reply = finished.reply();
  if (!reply.isValid()) {
    return std::nullopt;
  }
  return reply.value();
}

QVector<std::optional<QVariantMap>> accessPointProperties(const QList<QDBusObjectPath> &access_points) {
  QVector<std::optional<QVariantMap>> properties;
  properties.reserve(access_points.size());
  for (const QDBusMessage &message : callEach(access_points, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("GetAll"),
                                              {NM_DBUS_INTERFACE_ACCESS_POINT})) {
    const QDBusReply<QVariantMap> reply = message;
    properties << (reply.isValid() ? std::optional<QVariantMap>(reply.value()) : std::nullopt);
  }
  return properties;
}

QDBusObjectPath specificObject(const QDBusObjectPath &active) {
  return property<QDBusObjectPath>(active.path(), NM_DBUS_INTERFACE_ACTIVE_CONNECTION, NM::Property::SpecificObject);
}

QString activeConnectionType(const QDBusObjectPath &active) {
  return property<QString>(active.path(), NM_DBUS_INTERFACE_ACTIVE_CONNECTION, NM::Property::Type);
}

QDBusObjectPath ip4Config(const QDBusObjectPath &active) {
  return property<QDBusObjectPath>(active.path(), NM_DBUS_INTERFACE_ACTIVE_CONNECTION, NM::Property::Ip4Config);
}

IpConfig addressData(const QDBusObjectPath &ip4_config) {
  return arrayProperty<IpConfig>(ip4_config.path(), NM_DBUS_INTERFACE_IP4_CONFIG, NM::Property::AddressData,
                                 QStringLiteral("aa{sv}"));
}

QList<QDBusObjectPath> listConnections() {
  return readReply<QList<QDBusObjectPath>>(
      call<QDBusMessage>(NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS, QStringLiteral("ListConnections")));
}

Connection settings(const QDBusObjectPath &connection) {
  return readReply<Connection>(callConnection(connection, QStringLiteral("GetSettings")));
}

QDBusPendingCall settingsAsync(const QDBusObjectPath &connection) {
  return asyncCall(connection.path(), NM_DBUS_INTERFACE_SETTINGS_CONNECTION, QStringLiteral("GetSettings"));
}

std::optional<Connection> settings(const QDBusPendingCall &finished) {
  const QDBusReply<Connection> reply = finished.reply();
  if (!reply.isValid()) {
    return std::nullopt;
  }
  return reply.value();
}

Connection secrets(const QDBusObjectPath &connection, const QString &section) {
  return readReply<Connection>(callConnection(connection, QStringLiteral("GetSecrets"), {section}));
}

QVariantMap storedSecrets(const QDBusObjectPath &connection, const QString &section) {
  const QDBusMessage reply =
      blockingReply(connection.path(), NM_DBUS_INTERFACE_SETTINGS_CONNECTION, QStringLiteral("GetSecrets"), {section});
  const bool none_stored = reply.errorName() == NM::Error::NoSecrets || reply.errorName() == NM::Error::SettingNotFound;
  if (none_stored) {
    return {};
  }
  return readReply<Connection>(checked(reply)).value(section);
}

AddedConnection addConnection(const Connection &settings) {
  const QDBusMessage reply = blockingReply(NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS,
                                           QStringLiteral("AddConnection"), {QVariant::fromValue(settings)});
  AddedConnection added;
  if (reply.errorName() == NM::Error::InvalidProperty) {
    added.refused_setting = reply.errorMessage().section(QLatin1Char(':'), 0, 0);
  }
  added.path = readReply<QDBusObjectPath>(checked(reply));
  return added;
}

void deleteConnection(const QDBusObjectPath &connection) {
  callConnection(connection, QStringLiteral("Delete"));
}

void update(const QDBusObjectPath &connection, const Connection &settings) {
  callConnection(connection, QStringLiteral("Update"), {QVariant::fromValue(settings)});
}

void updateUnsaved(const QDBusObjectPath &connection, const Connection &settings) {
  callConnection(connection, QStringLiteral("UpdateUnsaved"), {QVariant::fromValue(settings)});
}

}  // namespace nm
