#include "ui/qt/network/nm_dbus.h"

#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDebug>

Q_LOGGING_CATEGORY(lcNetwork, "network.manager")

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

QDBusMessage callBlocking(const QString &path, const QString &interface, const QString &method,
                          const QVariantList &args) {
  const QDBusMessage reply =
      QDBusConnection::systemBus().call(methodCall(path, interface, method, args), QDBus::Block, kCallTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage) {
    qCCritical(lcNetwork) << "DBus call error:" << reply.errorMessage();
    return QDBusMessage();
  }
  return reply;
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
  qCCritical(lcNetwork).noquote() << "Variant unpacking failure :" << call.trimmed() << describeArguments(args);
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
