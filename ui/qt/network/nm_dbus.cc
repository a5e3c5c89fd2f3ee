#include "ui/qt/network/nm_dbus.h"

#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDebug>

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

QDBusMessage checked(const QDBusMessage &reply) {
  if (reply.type() != QDBusMessage::ReplyMessage) {
    qCritical() << "DBus call error:" << reply.errorMessage();
    return QDBusMessage();
  }
  return reply;
}

}  // namespace

QDBusMessage callBlocking(const QString &path, const QString &interface, const QString &method,
                          const QVariantList &args) {
  return checked(
      QDBusConnection::systemBus().call(methodCall(path, interface, method, args), QDBus::Block, kCallTimeoutMs));
}

QDBusMessage callBlockingKeepingError(const QString &path, const QString &interface, const QString &method,
                                      const QVariantList &args) {
  const QDBusMessage reply =
      QDBusConnection::systemBus().call(methodCall(path, interface, method, args), QDBus::Block, kCallTimeoutMs);
  checked(reply);
  return reply;
}

QVector<QDBusMessage> callEach(const QList<QDBusObjectPath> &paths, const QString &interface, const QString &method,
                               const QVariantList &args) {
  QDBusConnection bus = QDBusConnection::systemBus();
  const auto send = [&](int i) {
    return bus.asyncCall(methodCall(paths[i].path(), interface, method, args), kCallTimeoutMs);
  };
  // The bus refuses more outstanding calls per connection than its limit (128 on a
  // system bus), so only a window of them is in flight at any time.
  std::deque<QDBusPendingCall> in_flight;
  int next = 0;
  for (; next < paths.size() && next < kMaxCallsInFlight; ++next) {
    in_flight.push_back(send(next));
  }
  QVector<QDBusMessage> replies;
  replies.reserve(paths.size());
  while (!in_flight.empty()) {
    in_flight.front().waitForFinished();
    replies << checked(in_flight.front().reply());
    in_flight.pop_front();
    if (next < paths.size()) {
      in_flight.push_back(send(next++));
    }
  }
  return replies;
}

QDBusPendingCall callAsync(const QString &path, const QString &interface, const QString &method,
                           const QVariantList &args) {
  return QDBusConnection::systemBus().asyncCall(methodCall(path, interface, method, args));
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
