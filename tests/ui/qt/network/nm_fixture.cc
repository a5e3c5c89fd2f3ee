#include "tests/ui/qt/network/nm_fixture.h"

#include <unistd.h>
#include <zmq.h>

#include <cstdio>

#include <QDBusConnection>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>

#include "common/swaglog.h"
#include "tests/fixtures/built_program.h"

namespace {

const QString kControlService = QStringLiteral("org.halcyra.NmSimulator");
const QString kControlPath = QStringLiteral("/org/halcyra/NmSimulator");

}  // namespace

// Simulator

Simulator::~Simulator() {
  stop();
}

bool Simulator::start(const QStringList &args) {
  stop();
  captured.clear();
  process.setProcessChannelMode(QProcess::MergedChannels);
  startBuiltProgram(process, QString::fromLocal8Bit(qgetenv("NM_SIMULATOR")), args);
  if (!process.waitForStarted(5000)) {
    return false;
  }
  QElapsedTimer timer;
  timer.start();
  while (!captured.contains("ready") && timer.elapsed() < 10000) {
    if (!process.waitForReadyRead(1000) && process.state() != QProcess::Running) {
      break;
    }
    captured += process.readAll();
  }
  return captured.contains("ready");
}

void Simulator::stop() {
  if (process.state() == QProcess::NotRunning) {
    return;
  }
  process.terminate();
  if (!process.waitForFinished(5000)) {
    process.kill();
    process.waitForFinished(5000);
  }
  captured += process.readAll();
}

QDBusMessage Simulator::control(const QString &method, const QVariantList &args) {
  QDBusMessage message = QDBusMessage::createMethodCall(kControlService, kControlPath, kControlService, method);
  message.setArguments(args);
  return QDBusConnection::systemBus().call(message, QDBus::Block, 5000);
}

QDBusObjectPath Simulator::addAccessPoint(const QByteArray &ssid, unsigned int strength, ApSecurity security,
                                          const QString &password) {
  const QDBusReply<QDBusObjectPath> reply =
      control(QStringLiteral("AddAccessPoint"), {ssid, strength, security.flags, security.wpa, security.rsn, password});
  return reply.value();
}

QDBusObjectPath Simulator::addDevice(unsigned int type, const QString &interface) {
  const QDBusReply<QDBusObjectPath> reply = control(QStringLiteral("AddDevice"), {type, interface});
  return reply.value();
}

void Simulator::setFault(const QString &name, const QString &fault) {
  control(QStringLiteral("SetFault"), {name, fault});
}

void Simulator::finishScan() {
  control(QStringLiteral("FinishScan"));
}

QStringList Simulator::calls() {
  const QDBusReply<QStringList> reply = control(QStringLiteral("Calls"));
  return reply.value();
}

void Simulator::clearCalls() {
  control(QStringLiteral("ClearCalls"));
}

QByteArray Simulator::output() {
  captured += process.readAll();
  return captured;
}

// Direct calls

namespace nmraw {

QDBusMessage call(const QString &path, const QString &interface, const QString &method, const QVariantList &args) {
  QDBusMessage message = QDBusMessage::createMethodCall(NM_DBUS_SERVICE, path, interface, method);
  message.setArguments(args);
  return QDBusConnection::systemBus().call(message, QDBus::Block, 5000);
}

QList<QDBusObjectPath> listConnections() {
  const QDBusReply<QList<QDBusObjectPath>> reply =
      call(NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS, QStringLiteral("ListConnections"));
  return reply.value();
}

Connection settings(const QDBusObjectPath &path) {
  const QDBusReply<Connection> reply =
      call(path.path(), NM_DBUS_INTERFACE_SETTINGS_CONNECTION, QStringLiteral("GetSettings"));
  return reply.value();
}

Connection secrets(const QDBusObjectPath &path, const QString &section) {
  const QDBusReply<Connection> reply =
      call(path.path(), NM_DBUS_INTERFACE_SETTINGS_CONNECTION, QStringLiteral("GetSecrets"), {section});
  return reply.value();
}

QDBusObjectPath addConnection(const Connection &settings) {
  const QDBusReply<QDBusObjectPath> reply = call(NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS,
                                                 QStringLiteral("AddConnection"), {QVariant::fromValue(settings)});
  return reply.value();
}

QList<QDBusObjectPath> newConnections(const QList<QDBusObjectPath> &before) {
  QList<QDBusObjectPath> added;
  for (const QDBusObjectPath &path : listConnections()) {
    if (!before.contains(path)) {
      added << path;
    }
  }
  return added;
}

QList<QDBusObjectPath> connectionsWithSsid(const QByteArray &ssid) {
  QList<QDBusObjectPath> found;
  for (const QDBusObjectPath &path : listConnections()) {
    if (settings(path).value(QStringLiteral("802-11-wireless")).value(QStringLiteral("ssid")).toByteArray() == ssid) {
      found << path;
    }
  }
  return found;
}

bool deleteConnection(const QDBusObjectPath &path) {
  return call(path.path(), NM_DBUS_INTERFACE_SETTINGS_CONNECTION, QStringLiteral("Delete")).type() ==
         QDBusMessage::ReplyMessage;
}

QVariant property(const QString &path, const QString &interface, const QString &name) {
  const QDBusReply<QDBusVariant> reply =
      call(path, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("Get"), {interface, name});
  return reply.value().variant();
}

QList<QDBusObjectPath> activeConnections() {
  return qdbus_cast<QList<QDBusObjectPath>>(
      property(NM_DBUS_PATH, NM_DBUS_INTERFACE, QStringLiteral("ActiveConnections")));
}

QString deviceOfType(unsigned int type) {
  const QDBusReply<QList<QDBusObjectPath>> devices =
      call(NM_DBUS_PATH, NM_DBUS_INTERFACE, QStringLiteral("GetDevices"));
  for (const QDBusObjectPath &device : devices.value()) {
    if (property(device.path(), NM_DBUS_INTERFACE_DEVICE, QStringLiteral("DeviceType")).toUInt() == type) {
      return device.path();
    }
  }
  return {};
}

}  // namespace nmraw

// MessageLog

namespace {

QMutex log_mutex;
QStringList log_lines;
QtMessageHandler previous_handler = nullptr;

void collectMessage(QtMsgType type, const QMessageLogContext &context, const QString &message) {
  {
    QMutexLocker locker(&log_mutex);
    log_lines << message;
  }
  if (previous_handler) {
    previous_handler(type, context, message);
  }
}

}  // namespace

MessageLog::MessageLog() {
  log_lines.clear();
  previous_handler = qInstallMessageHandler(collectMessage);
}

MessageLog::~MessageLog() {
  qInstallMessageHandler(previous_handler);
}

int MessageLog::count(const QString &prefix) const {
  int n = 0;
  for (const QString &line : lines()) {
    n += line.startsWith(prefix) ? 1 : 0;
  }
  return n;
}

QStringList MessageLog::lines() const {
  QMutexLocker locker(&log_mutex);
  return log_lines;
}

// OutputCapture

OutputCapture::OutputCapture() {
  file.open();
  fflush(stdout);
  fflush(stderr);
  saved_stdout = dup(STDOUT_FILENO);
  saved_stderr = dup(STDERR_FILENO);
  dup2(file.handle(), STDOUT_FILENO);
  dup2(file.handle(), STDERR_FILENO);
}

OutputCapture::~OutputCapture() {
  restore();
}

void OutputCapture::restore() {
  if (saved_stdout < 0) {
    return;
  }
  fflush(stdout);
  fflush(stderr);
  dup2(saved_stdout, STDOUT_FILENO);
  dup2(saved_stderr, STDERR_FILENO);
  close(saved_stdout);
  close(saved_stderr);
  saved_stdout = saved_stderr = -1;
}

QByteArray OutputCapture::text() {
  restore();
  QFile reader(file.fileName());
  reader.open(QIODevice::ReadOnly);
  const QByteArray content = reader.readAll();
  // Shown again, so a failing run still has its output.
  fwrite(content.constData(), 1, content.size(), stderr);
  return content;
}

// LogRecords

LogRecords::LogRecords() {
  context = zmq_ctx_new();
  socket = zmq_socket(context, ZMQ_PULL);
  zmq_bind(socket, Path::swaglog_ipc().c_str());
}

LogRecords::~LogRecords() {
  zmq_close(socket);
  zmq_ctx_destroy(context);
}

QStringList LogRecords::take(int wait_ms) {
  QStringList records;
  zmq_pollitem_t item{socket, 0, ZMQ_POLLIN, 0};
  while (zmq_poll(&item, 1, wait_ms) > 0) {
    char buffer[65536];
    const int n = zmq_recv(socket, buffer, sizeof(buffer), 0);
    if (n > 1) {
      records << QString::fromUtf8(buffer + 1, qMin(n, int(sizeof(buffer))) - 1);
    }
  }
  return records;
}
