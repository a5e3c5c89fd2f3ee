#include "tools/nm_simulator/simulator.h"

#include <time.h>

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QRegularExpression>
#include <QTimer>
#include <QUuid>

using namespace nmsim;

namespace {

const QString kRoot = QStringLiteral("/");
const QString kWifiType = QStringLiteral("802-11-wireless");
const QString kWifiSecurity = QStringLiteral("802-11-wireless-security");
const QString kErrorInvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
const QString kErrorUnknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
const QString kErrorUnknownObject = QStringLiteral("org.freedesktop.DBus.Error.UnknownObject");

QDBusObjectPath objectPath(const QString &path) {
  return QDBusObjectPath(path.isEmpty() ? kRoot : path);
}

QList<QDBusObjectPath> objectPaths(const QStringList &paths) {
  QList<QDBusObjectPath> list;
  for (const QString &path : paths) {
    list << QDBusObjectPath(path);
  }
  return list;
}

QVariant objectPathList(const QStringList &paths) {
  return QVariant::fromValue(objectPaths(paths));
}

qint64 bootTimeMs() {
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

QString settingValue(const Connection &settings, const QString &section, const QString &key) {
  return settings.value(section).value(key).toString();
}

// Settings arrive as QDBusArgument; nested arrays stay QDBusArgument, which the
// marshaller writes back unchanged.
Connection readConnection(const QVariant &arg) {
  return qdbus_cast<Connection>(arg);
}

bool isSecured(const SimAccessPoint &ap) {
  return ap.flags != 0 || ap.wpaFlags != 0 || ap.rsnFlags != 0;
}

// A WPA pre-shared key the daemon takes: 8 to 63 characters, or 64 hexadecimal digits.
bool validPsk(const QString &psk) {
  static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{64}$"));
  return (psk.size() >= 8 && psk.size() <= 63) || hex.match(psk).hasMatch();
}

// What NetworkManager does to a stored profile.
void normalize(Connection *settings) {
  QVariantMap &connection = (*settings)[QStringLiteral("connection")];
  if (!connection.contains(QStringLiteral("uuid"))) {
    connection[QStringLiteral("uuid")] = QUuid::createUuid().toString(QUuid::WithoutBraces);
  }
  if (settings->contains(QStringLiteral("ipv4"))) {
    QVariantMap &ipv4 = (*settings)[QStringLiteral("ipv4")];
    if (ipv4.contains(QStringLiteral("route-metric"))) {
      ipv4[QStringLiteral("route-metric")] = qint64(ipv4.value(QStringLiteral("route-metric")).toLongLong());
    }
  }
  if (settings->contains(QStringLiteral("gsm"))) {
    // Explicit APN or credentials switch the automatic configuration off.
    QVariantMap &gsm = (*settings)[QStringLiteral("gsm")];
    if (gsm.contains(QStringLiteral("apn")) || gsm.contains(QStringLiteral("username")) ||
        gsm.contains(QStringLiteral("password"))) {
      gsm.remove(QStringLiteral("auto-config"));
    }
  }
}

Connection withoutSecrets(const Connection &settings) {
  Connection stripped;
  for (auto section = settings.cbegin(); section != settings.cend(); ++section) {
    QVariantMap &values = stripped[section.key()];
    for (auto value = section->cbegin(); value != section->cend(); ++value) {
      if (!nm::isSecretKey(value.key())) {
        values.insert(value.key(), value.value());
      }
    }
  }
  return stripped;
}

// Every section, with only the secrets of one of them, as GetSecrets answers.
Connection secretsOf(const Connection &settings, const QString &section_name) {
  Connection secrets;
  for (auto section = settings.cbegin(); section != settings.cend(); ++section) {
    QVariantMap &values = secrets[section.key()];
    if (section.key() != section_name) {
      continue;
    }
    for (auto value = section->cbegin(); value != section->cend(); ++value) {
      if (nm::isSecretKey(value.key())) {
        values.insert(value.key(), value.value());
      }
    }
  }
  return secrets;
}

// Secrets left out of an update are kept, as the daemon does.
Connection keepSecrets(Connection updated, const Connection &old) {
  for (auto section = old.cbegin(); section != old.cend(); ++section) {
    if (!updated.contains(section.key())) {
      continue;
    }
    QVariantMap &values = updated[section.key()];
    for (auto value = section->cbegin(); value != section->cend(); ++value) {
      if (nm::isSecretKey(value.key()) && !values.contains(value.key())) {
        values.insert(value.key(), value.value());
      }
    }
  }
  return updated;
}

unsigned int deviceTypeFor(const QString &connection_type) {
  if (connection_type == kWifiType)
    return kDeviceWifi;
  if (connection_type == QStringLiteral("gsm"))
    return kDeviceModem;
  if (connection_type == QStringLiteral("802-3-ethernet"))
    return kDeviceEthernet;
  if (connection_type == QStringLiteral("loopback"))
    return kDeviceLoopback;
  return 0;
}

}  // namespace

NetworkManagerSimulator::NetworkManagerSimulator(const QDBusConnection &bus, QObject *parent)
    : QDBusVirtualObject(parent), bus(bus) {
  nm::registerTypes();
  addLoopback();
}

QString NetworkManagerSimulator::nextPath(const QString &kind) {
  return NM_DBUS_PATH + QStringLiteral("/") + kind + QStringLiteral("/") + QString::number(++counters[kind]);
}

QString NetworkManagerSimulator::firstDevice(unsigned int type) const {
  for (const QString &path : deviceOrder) {
    if (devices.value(path).type == type) {
      return path;
    }
  }
  return {};
}

// The daemon always has the loopback device with its connection up.
void NetworkManagerSimulator::addLoopback() {
  const QString device = addDevice(kDeviceLoopback, QStringLiteral("lo"));
  Connection lo;
  lo[QStringLiteral("connection")] = {{QStringLiteral("id"), QStringLiteral("lo")},
                                      {QStringLiteral("type"), QStringLiteral("loopback")},
                                      {QStringLiteral("interface-name"), QStringLiteral("lo")}};
  const QString connection = addConnection(lo);
  const QString active = nextPath(QStringLiteral("ActiveConnection"));
  const QString config = nextPath(QStringLiteral("IP4Config"));
  ip4Configs[config] = {QStringLiteral("127.0.0.1"), 8, {}};
  activeConnections[active] = {
      connection,
      device,
      kRoot,
      config,
      QStringLiteral("loopback"),
      QStringLiteral("lo"),
      settingValue(connections[connection].settings, QStringLiteral("connection"), QStringLiteral("uuid")),
      2};
  activeOrder << active;
  devices[device].activeConnection = active;
  devices[device].state = kStateActivated;
}

// Message plumbing

QString NetworkManagerSimulator::introspect(const QString &path) const {
  Q_UNUSED(path);
  return {};
}

bool NetworkManagerSimulator::handleMessage(const QDBusMessage &message, const QDBusConnection &connection) {
  Q_UNUSED(connection);
  if (message.type() != QDBusMessage::MethodCallMessage) {
    return false;
  }
  if (message.interface() == QStringLiteral("org.freedesktop.DBus.Introspectable")) {
    reply(message, {QStringLiteral("<node/>")});
    return true;
  }
  logCall(message);
  if (applyFault(message)) {
    return true;
  }

  const QString path = message.path();
  if (message.interface() == NM_DBUS_INTERFACE_PROPERTIES) {
    handleProperties(message);
  } else if (path == NM_DBUS_PATH) {
    handleManager(message);
  } else if (path == NM_DBUS_PATH_SETTINGS) {
    handleSettings(message);
  } else if (connections.contains(path)) {
    handleConnection(message);
  } else if (devices.contains(path)) {
    handleDevice(message);
  } else {
    replyError(message, kErrorUnknownObject, QStringLiteral("No such object path '%1'").arg(path));
  }
  return true;
}

void NetworkManagerSimulator::logCall(const QDBusMessage &message) {
  QVariantList args;
  for (const QVariant &arg : message.arguments()) {
    const bool settings =
        arg.userType() == qMetaTypeId<QDBusArgument>() && arg.value<QDBusArgument>().currentSignature() == "a{sa{sv}}";
    args << (settings ? QVariant::fromValue(readConnection(arg)) : arg);
  }
  callLog << QStringLiteral("%1 %2 %3").arg(message.member(), message.path(), nm::describeArguments(args)).trimmed();
}

bool NetworkManagerSimulator::applyFault(const QDBusMessage &message) {
  QString fault = faults.value(message.member());
  const bool property_read = message.member() == QStringLiteral("Get") && message.arguments().size() == 2;
  if (fault.isEmpty() && property_read) {
    fault = faults.value(message.arguments().at(1).toString());
  }
  if (fault == QStringLiteral("stall")) {
    return true;  // never answered
  }
  if (fault == QStringLiteral("error")) {
    replyError(message, QStringLiteral("org.freedesktop.DBus.Error.Failed"), QStringLiteral("Simulated failure"));
    return true;
  }
  if (fault == QStringLiteral("wrongtype")) {
    // A variant of a list of strings converts to none of the types the client reads.
    const QVariant wrong = QStringList{QStringLiteral("wrong"), QStringLiteral("type")};
    reply(message, {property_read ? QVariant::fromValue(QDBusVariant(wrong)) : wrong});
    return true;
  }
  return false;
}

void NetworkManagerSimulator::reply(const QDBusMessage &message, const QVariantList &args) {
  bus.send(message.createReply(args));
}

void NetworkManagerSimulator::replyError(const QDBusMessage &message, const QString &name, const QString &text) {
  bus.send(message.createErrorReply(name, text));
}

void NetworkManagerSimulator::emitSignal(const QString &path, const QString &interface, const QString &name,
                                         const QVariantList &args) {
  QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
  signal.setArguments(args);
  bus.send(signal);
}

void NetworkManagerSimulator::emitPropertiesChanged(const QString &path, const QString &interface,
                                                    const QVariantMap &props) {
  emitSignal(path, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("PropertiesChanged"),
             {interface, props, QStringList()});
}

// Properties

bool NetworkManagerSimulator::properties(const QString &path, const QString &interface, QVariantMap *out) const {
  QVariantMap &p = *out;
  if (path == NM_DBUS_PATH && interface == NM_DBUS_INTERFACE) {
    p[QStringLiteral("Devices")] = objectPathList(deviceOrder);
    p[QStringLiteral("AllDevices")] = objectPathList(deviceOrder);
    p[QStringLiteral("ActiveConnections")] = objectPathList(activeOrder);
    p[QStringLiteral("Startup")] = false;
    p[QStringLiteral("Version")] = QStringLiteral("1.42.4");
    p[QStringLiteral("NetworkingEnabled")] = true;
    p[QStringLiteral("WirelessEnabled")] = true;
    p[QStringLiteral("WirelessHardwareEnabled")] = true;
    return true;
  }
  if (path == NM_DBUS_PATH_SETTINGS && interface == NM_DBUS_INTERFACE_SETTINGS) {
    p[QStringLiteral("Connections")] = objectPathList(connections.keys());
    p[QStringLiteral("CanModify")] = true;
    return true;
  }
  if (connections.contains(path) && interface == NM_DBUS_INTERFACE_SETTINGS_CONNECTION) {
    p[QStringLiteral("Unsaved")] = connections.value(path).unsaved;
    p[QStringLiteral("Flags")] = 0u;
    p[QStringLiteral("Filename")] = QString();
    return true;
  }
  if (devices.contains(path)) {
    const SimDevice &device = devices[path];
    if (interface == NM_DBUS_INTERFACE_DEVICE) {
      const QString ip4 = activeConnections.value(device.activeConnection).ip4Config;
      p[QStringLiteral("DeviceType")] = device.type;
      p[QStringLiteral("Interface")] = device.interface;
      p[QStringLiteral("State")] = device.state;
      p[QStringLiteral("Managed")] = true;
      p[QStringLiteral("ActiveConnection")] = QVariant::fromValue(objectPath(device.activeConnection));
      p[QStringLiteral("Ip4Config")] = QVariant::fromValue(objectPath(ip4));
      return true;
    }
    if (interface == NM_DBUS_INTERFACE_DEVICE_WIRELESS && device.type == kDeviceWifi) {
      QStringList visible;
      for (const QString &ap : apOrder) {
        if (accessPoints.value(ap).ownHotspot || !device.scannedDropped) {
          visible << ap;
        }
      }
      p[QStringLiteral("ActiveAccessPoint")] = QVariant::fromValue(objectPath(device.activeAccessPoint));
      p[QStringLiteral("LastScan")] = device.lastScan;
      p[QStringLiteral("AccessPoints")] = objectPathList(visible);
      p[QStringLiteral("Mode")] = 2u;
      p[QStringLiteral("HwAddress")] = QStringLiteral("02:00:00:00:00:01");
      p[QStringLiteral("Bitrate")] = 0u;
      p[QStringLiteral("WirelessCapabilities")] = 0x7ffu;
      return true;
    }
    return false;
  }
  if (accessPoints.contains(path) && interface == NM_DBUS_INTERFACE_ACCESS_POINT) {
    const SimAccessPoint &ap = accessPoints[path];
    p[QStringLiteral("Ssid")] = ap.hidden ? QByteArray() : ap.ssid;
    p[QStringLiteral("Strength")] = QVariant::fromValue<uchar>(ap.strength);
    p[QStringLiteral("Flags")] = ap.flags;
    p[QStringLiteral("WpaFlags")] = ap.wpaFlags;
    p[QStringLiteral("RsnFlags")] = ap.rsnFlags;
    p[QStringLiteral("Frequency")] = 2437u;
    p[QStringLiteral("HwAddress")] =
        QStringLiteral("02:00:00:00:01:%1").arg(path.section('/', -1).toInt() % 256, 2, 16, QLatin1Char('0'));
    p[QStringLiteral("Mode")] = 2u;  // the daemon reports its own hotspot as infrastructure too
    p[QStringLiteral("MaxBitrate")] = 54000u;
    p[QStringLiteral("LastSeen")] = int(bootTimeMs() / 1000);
    return true;
  }
  if (activeConnections.contains(path) && interface == NM_DBUS_INTERFACE_ACTIVE_CONNECTION) {
    const SimActiveConnection &active = activeConnections[path];
    p[QStringLiteral("Connection")] = QVariant::fromValue(objectPath(active.connection));
    p[QStringLiteral("SpecificObject")] = QVariant::fromValue(objectPath(active.specificObject));
    p[QStringLiteral("Id")] = active.id;
    p[QStringLiteral("Uuid")] = active.uuid;
    p[QStringLiteral("Type")] = active.type;
    p[QStringLiteral("Devices")] = objectPathList(active.device.isEmpty() ? QStringList() : QStringList{active.device});
    p[QStringLiteral("State")] = active.state;
    p[QStringLiteral("Default")] = false;
    p[QStringLiteral("Vpn")] = false;
    p[QStringLiteral("Ip4Config")] = QVariant::fromValue(objectPath(active.ip4Config));
    return true;
  }
  if (ip4Configs.contains(path) && interface == NM_DBUS_INTERFACE_IP4_CONFIG) {
    const SimIp4Config &config = ip4Configs[path];
    const IpConfig address_data{
        {{QStringLiteral("address"), config.address}, {QStringLiteral("prefix"), config.prefix}}};
    p[QStringLiteral("AddressData")] = QVariant::fromValue(address_data);
    p[QStringLiteral("Gateway")] = config.gateway;
    return true;
  }
  return false;
}

void NetworkManagerSimulator::handleProperties(const QDBusMessage &message) {
  const QVariantList args = message.arguments();
  const QString member = message.member();
  QVariantMap props;
  if ((member == QStringLiteral("Get") || member == QStringLiteral("GetAll")) && !args.isEmpty() &&
      !properties(message.path(), args.at(0).toString(), &props)) {
    replyError(message, kErrorInvalidArgs, QStringLiteral("No such interface “%1”").arg(args.at(0).toString()));
    return;
  }
  if (member == QStringLiteral("GetAll") && args.size() == 1) {
    reply(message, {props});
  } else if (member == QStringLiteral("Get") && args.size() == 2) {
    const QString name = args.at(1).toString();
    if (!props.contains(name)) {
      replyError(message, kErrorInvalidArgs, QStringLiteral("No such property “%1”").arg(name));
      return;
    }
    reply(message, {QVariant::fromValue(QDBusVariant(props.value(name)))});
  } else if (member == QStringLiteral("Set")) {
    replyError(message, kErrorInvalidArgs, QStringLiteral("Property is read-only"));
  } else {
    replyError(message, kErrorUnknownMethod, QStringLiteral("No such method “%1”").arg(member));
  }
}

// org.freedesktop.NetworkManager

void NetworkManagerSimulator::handleManager(const QDBusMessage &message) {
  const QString member = message.member();
  if (member == QStringLiteral("GetDevices") || member == QStringLiteral("GetAllDevices")) {
    reply(message, {objectPathList(deviceOrder)});
  } else if (member == QStringLiteral("ActivateConnection")) {
    activate(message);
  } else if (member == QStringLiteral("DeactivateConnection") && message.arguments().size() == 1) {
    const QString path = message.arguments().at(0).value<QDBusObjectPath>().path();
    if (!activeConnections.contains(path)) {
      replyError(message, QStringLiteral("org.freedesktop.NetworkManager.ConnectionNotActive"),
                 QStringLiteral("The connection was not active."));
      return;
    }
    reply(message);
    deactivate(path, kReasonUserRequested);
  } else {
    replyError(message, kErrorUnknownMethod, QStringLiteral("No such method “%1”").arg(member));
  }
}

void NetworkManagerSimulator::activeConnectionsChanged() {
  emitPropertiesChanged(NM_DBUS_PATH, NM_DBUS_INTERFACE,
                        {{QStringLiteral("ActiveConnections"), objectPathList(activeOrder)}});
}

void NetworkManagerSimulator::activate(const QDBusMessage &message) {
  const QVariantList args = message.arguments();
  if (args.size() != 3) {
    replyError(message, kErrorInvalidArgs, QStringLiteral("ActivateConnection takes three object paths"));
    return;
  }
  const QString connection = args.at(0).value<QDBusObjectPath>().path();
  QString device = args.at(1).value<QDBusObjectPath>().path();
  if (!connections.contains(connection)) {
    replyError(message, QStringLiteral("org.freedesktop.NetworkManager.UnknownConnection"),
               QStringLiteral("Connection '%1' is not available").arg(connection));
    return;
  }
  const Connection &settings = connections[connection].settings;
  const QString type = settingValue(settings, QStringLiteral("connection"), QStringLiteral("type"));
  const unsigned int device_type = deviceTypeFor(type);
  if (emptyPath(device)) {
    device = firstDevice(device_type);
  }
  if (!devices.contains(device) || devices[device].type != device_type) {
    replyError(message, QStringLiteral("org.freedesktop.NetworkManager.UnknownDevice"),
               QStringLiteral("No suitable device found for this connection"));
    return;
  }

  if (!emptyPath(devices[device].activeConnection)) {
    deactivate(devices[device].activeConnection, kReasonNone);
  }
  const QString active = nextPath(QStringLiteral("ActiveConnection"));
  activeConnections[active] = {connection,
                               device,
                               kRoot,
                               kRoot,
                               type,
                               settingValue(settings, QStringLiteral("connection"), QStringLiteral("id")),
                               settingValue(settings, QStringLiteral("connection"), QStringLiteral("uuid")),
                               1};
  activeOrder << active;
  devices[device].activeConnection = active;
  reply(message, {QVariant::fromValue(QDBusObjectPath(active))});
  activeConnectionsChanged();
  QTimer::singleShot(0, this, [this, active] { runActivation(active); });
}

void NetworkManagerSimulator::runActivation(const QString &active_path) {
  if (!activeConnections.contains(active_path)) {
    return;
  }
  const SimActiveConnection active = activeConnections[active_path];
  const Connection settings = connections.value(active.connection).settings;
  setDeviceState(active.device, kStatePrepare, kReasonNone);
  const QByteArray ssid = settings.value(kWifiType).value(QStringLiteral("ssid")).toByteArray();
  const bool serves_hotspot = settingValue(settings, kWifiType, QStringLiteral("mode")) == QStringLiteral("ap");
  const QString ap_path =
      active.type == kWifiType && !serves_hotspot ? findAccessPoint(active.device, ssid) : QString();
  if (!ap_path.isEmpty()) {
    // The daemon takes the access point as the active one while it prepares.
    setActiveAccessPointOf(active.device, ap_path);
  }
  setDeviceState(active.device, kStateConfig, kReasonNone);
  if (settings.contains(kWifiSecurity)) {
    // Every secured activation asks for its saved secrets on the way, as the daemon does.
    setDeviceState(active.device, kStateNeedAuth, kReasonNone);
    setDeviceState(active.device, kStatePrepare, kReasonNone);
    setDeviceState(active.device, kStateConfig, kReasonNone);
  }

  if (active.type != kWifiType) {
    completeActivation(active_path, kRoot, QStringLiteral("10.64.0.%1").arg(counters[QStringLiteral("IP4Config")] + 2));
    return;
  }

  if (serves_hotspot) {
    // The daemon lists its own hotspot as an access point of zero strength and drops what it
    // had scanned.
    SimAccessPoint hotspot;
    hotspot.ssid = ssid;
    hotspot.strength = 0;
    hotspot.flags = settings.contains(kWifiSecurity) ? 0x1 : 0;
    hotspot.wpaFlags = settings.contains(kWifiSecurity) ? 0x1cc : 0;
    hotspot.rsnFlags = hotspot.wpaFlags;
    hotspot.ownHotspot = true;
    const QString path = nextPath(QStringLiteral("AccessPoint"));
    accessPoints[path] = hotspot;
    apOrder << path;
    devices[active.device].scannedDropped = true;
    const IpConfig address_data =
        qdbus_cast<IpConfig>(settings.value(QStringLiteral("ipv4")).value(QStringLiteral("address-data")));
    const QString address = address_data.isEmpty() ? QStringLiteral("10.42.0.1")
                                                   : address_data.first().value(QStringLiteral("address")).toString();
    completeActivation(active_path, path, address);
    return;
  }

  if (ap_path.isEmpty()) {
    failActivation(active_path, kStateFailed, kReasonSsidNotFound);
    return;
  }
  const SimAccessPoint ap = accessPoints[ap_path];
  if (isSecured(ap) && settingValue(settings, kWifiSecurity, QStringLiteral("psk")) != ap.password) {
    // The supplicant gives up: the access point is let go, then the attempt fails.
    setDeviceState(active.device, kStateNeedAuth, kReasonSupplicantDisconnect);
    setActiveAccessPointOf(active.device, kRoot);
    failActivation(active_path, kStateFailed, kReasonNoSecrets);
    return;
  }
  completeActivation(active_path, ap_path,
                     QStringLiteral("192.168.1.%1").arg(counters[QStringLiteral("IP4Config")] + 100));
}

void NetworkManagerSimulator::completeActivation(const QString &active_path, const QString &access_point,
                                                 const QString &address) {
  SimActiveConnection &active = activeConnections[active_path];
  const QString config = nextPath(QStringLiteral("IP4Config"));
  ip4Configs[config] = {address, 24, QString()};
  active.ip4Config = config;
  active.specificObject = access_point;
  active.state = 2;
  const QString device = active.device;
  if (accessPoints.contains(access_point)) {
    accessPoints[access_point].hidden = false;  // a joined network's name becomes known
  }
  if (devices[device].type == kDeviceWifi) {
    setActiveAccessPointOf(device, access_point);
  }
  setDeviceState(device, kStateIpConfig, kReasonNone);
  setDeviceState(device, kStateActivated, kReasonNone);
}

void NetworkManagerSimulator::failActivation(const QString &active_path, unsigned int state, unsigned int reason) {
  const QString device = activeConnections.value(active_path).device;
  setDeviceState(device, state, reason);
  deactivate(active_path, kReasonNone);
}

void NetworkManagerSimulator::deactivate(QString active_path, unsigned int reason) {
  const SimActiveConnection active = activeConnections.take(active_path);
  activeOrder.removeAll(active_path);
  ip4Configs.remove(active.ip4Config);
  if (accessPoints.value(active.specificObject).ownHotspot) {
    accessPoints.remove(active.specificObject);
    apOrder.removeAll(active.specificObject);
    devices[active.device].scannedDropped = false;
  }
  if (devices.contains(active.device)) {
    SimDevice &device = devices[active.device];
    device.activeConnection = kRoot;
    if (device.type == kDeviceWifi && !emptyPath(device.activeAccessPoint)) {
      setActiveAccessPointOf(active.device, kRoot);
    }
    if (device.state != kStateDisconnected) {
      setDeviceState(active.device, kStateDisconnected, reason);
    }
  }
  activeConnectionsChanged();
}

void NetworkManagerSimulator::setDeviceState(const QString &device, unsigned int new_state, unsigned int reason) {
  if (!devices.contains(device)) {
    return;
  }
  const unsigned int old_state = devices[device].state;
  devices[device].state = new_state;
  emitSignal(device, NM_DBUS_INTERFACE_DEVICE, QStringLiteral("StateChanged"), {new_state, old_state, reason});
  emitPropertiesChanged(device, NM_DBUS_INTERFACE_DEVICE, {{QStringLiteral("State"), new_state}});
}

void NetworkManagerSimulator::setActiveAccessPointOf(const QString &device, const QString &access_point) {
  devices[device].activeAccessPoint = access_point;
  emitPropertiesChanged(device, NM_DBUS_INTERFACE_DEVICE_WIRELESS,
                        {{QStringLiteral("ActiveAccessPoint"), QVariant::fromValue(objectPath(access_point))}});
}

QString NetworkManagerSimulator::findAccessPoint(const QString &device, const QByteArray &ssid) const {
  Q_UNUSED(device);
  QString best;
  for (const QString &path : apOrder) {
    const SimAccessPoint &ap = accessPoints[path];
    if (!ap.ownHotspot && ap.ssid == ssid && (best.isEmpty() || ap.strength > accessPoints[best].strength)) {
      best = path;
    }
  }
  return best;
}

// org.freedesktop.NetworkManager.Settings and Settings.Connection

QString NetworkManagerSimulator::addConnection(Connection settings) {
  normalize(&settings);
  const QString path = nextPath(QStringLiteral("Settings"));
  connections[path] = {settings, false};
  return path;
}

void NetworkManagerSimulator::handleSettings(const QDBusMessage &message) {
  const QString member = message.member();
  if (member == QStringLiteral("ListConnections")) {
    reply(message, {objectPathList(connections.keys())});
  } else if ((member == QStringLiteral("AddConnection") || member == QStringLiteral("AddConnectionUnsaved")) &&
             message.arguments().size() == 1) {
    const Connection settings = readConnection(message.arguments().at(0));
    const QString type = settingValue(settings, QStringLiteral("connection"), QStringLiteral("type"));
    if (type.isEmpty() ||
        (type == kWifiType && settings.value(kWifiType).value(QStringLiteral("ssid")).toByteArray().isEmpty())) {
      replyError(message, QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection.InvalidProperty"),
                 QStringLiteral("connection.type or 802-11-wireless.ssid missing"));
      return;
    }
    if (settings.value(kWifiSecurity).contains(QStringLiteral("psk")) &&
        !validPsk(settingValue(settings, kWifiSecurity, QStringLiteral("psk")))) {
      replyError(message, QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection.InvalidProperty"),
                 QStringLiteral("802-11-wireless-security.psk: property is invalid"));
      return;
    }
    const QString path = addConnection(settings);
    connections[path].unsaved = member == QStringLiteral("AddConnectionUnsaved");
    // A bare object path, not a variant, like the daemon.
    reply(message, {QVariant::fromValue(QDBusObjectPath(path))});
    emitSignal(NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS, QStringLiteral("NewConnection"),
               {QVariant::fromValue(QDBusObjectPath(path))});
  } else {
    replyError(message, kErrorUnknownMethod, QStringLiteral("No such method “%1”").arg(member));
  }
}

void NetworkManagerSimulator::removeConnection(const QString &path) {
  for (auto it = activeConnections.cbegin(); it != activeConnections.cend(); ++it) {
    if (it->connection == path) {
      deactivate(it.key(), kReasonUserRequested);
      break;
    }
  }
  connections.remove(path);
  emitSignal(path, NM_DBUS_INTERFACE_SETTINGS_CONNECTION, QStringLiteral("Removed"), {});
  emitSignal(NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS, QStringLiteral("ConnectionRemoved"),
             {QVariant::fromValue(QDBusObjectPath(path))});
}

void NetworkManagerSimulator::handleConnection(const QDBusMessage &message) {
  const QString path = message.path();
  const QString member = message.member();
  const QVariantList args = message.arguments();
  SimSavedConnection &saved = connections[path];
  if (member == QStringLiteral("GetSettings")) {
    reply(message, {QVariant::fromValue(withoutSecrets(saved.settings))});
  } else if (member == QStringLiteral("GetSecrets") && args.size() == 1) {
    const QString section = args.at(0).toString();
    if (!saved.settings.contains(section)) {
      replyError(message, QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection.SettingNotFound"),
                 QStringLiteral("Connection didn't have requested setting '%1'.").arg(section));
      return;
    }
    const Connection secrets = secretsOf(saved.settings, section);
    if (secrets.value(section).isEmpty()) {
      replyError(message, QStringLiteral("org.freedesktop.NetworkManager.AgentManager.NoSecrets"),
                 QStringLiteral("No agents were available for this request."));
      return;
    }
    reply(message, {QVariant::fromValue(secrets)});
    emitSignal(path, NM_DBUS_INTERFACE_SETTINGS_CONNECTION, QStringLiteral("Updated"), {});
  } else if ((member == QStringLiteral("Update") || member == QStringLiteral("UpdateUnsaved")) && args.size() == 1) {
    Connection updated = keepSecrets(readConnection(args.at(0)), saved.settings);
    normalize(&updated);
    saved.settings = updated;
    saved.unsaved = member == QStringLiteral("UpdateUnsaved");
    reply(message);
    emitSignal(path, NM_DBUS_INTERFACE_SETTINGS_CONNECTION, QStringLiteral("Updated"), {});
  } else if (member == QStringLiteral("Delete")) {
    reply(message);
    removeConnection(path);
  } else {
    replyError(message, kErrorUnknownMethod, QStringLiteral("No such method “%1”").arg(member));
  }
}

// Devices

void NetworkManagerSimulator::handleDevice(const QDBusMessage &message) {
  const QString path = message.path();
  const QString member = message.member();
  const bool wifi = devices[path].type == kDeviceWifi;
  if (wifi && (member == QStringLiteral("GetAllAccessPoints") || member == QStringLiteral("GetAccessPoints"))) {
    QVariantMap props;
    properties(path, NM_DBUS_INTERFACE_DEVICE_WIRELESS, &props);
    reply(message, {props.value(QStringLiteral("AccessPoints"))});
  } else if (wifi && member == QStringLiteral("RequestScan")) {
    reply(message);
    scheduleScan(path);
  } else {
    replyError(message, kErrorUnknownMethod, QStringLiteral("No such method “%1”").arg(member));
  }
}

void NetworkManagerSimulator::scheduleScan(const QString &device) {
  if (scanDelayMs < 0 || devices[device].scanPending) {
    return;
  }
  devices[device].scanPending = true;
  QTimer::singleShot(scanDelayMs, this, [this] { finishScan(); });
}

// Control operations

QString NetworkManagerSimulator::addAccessPoint(const SimAccessPoint &ap) {
  const QString path = nextPath(QStringLiteral("AccessPoint"));
  accessPoints[path] = ap;
  apOrder << path;
  for (const QString &device : deviceOrder) {
    if (devices[device].type == kDeviceWifi) {
      emitSignal(device, NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("AccessPointAdded"),
                 {QVariant::fromValue(QDBusObjectPath(path))});
    }
  }
  return path;
}

bool NetworkManagerSimulator::removeAccessPoint(const QString &path) {
  if (!accessPoints.remove(path)) {
    return false;
  }
  apOrder.removeAll(path);
  for (const QString &device : deviceOrder) {
    if (devices[device].type == kDeviceWifi) {
      emitSignal(device, NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("AccessPointRemoved"),
                 {QVariant::fromValue(QDBusObjectPath(path))});
    }
  }
  return true;
}

QString NetworkManagerSimulator::addDevice(unsigned int type, const QString &interface) {
  const QString path = nextPath(QStringLiteral("Devices"));
  SimDevice device;
  device.type = type;
  device.interface = interface;
  devices[path] = device;
  deviceOrder << path;
  emitSignal(NM_DBUS_PATH, NM_DBUS_INTERFACE, QStringLiteral("DeviceAdded"),
             {QVariant::fromValue(QDBusObjectPath(path))});
  return path;
}

QString NetworkManagerSimulator::addActiveConnection(const QString &type, const QString &address) {
  const QString active = nextPath(QStringLiteral("ActiveConnection"));
  const QString config = nextPath(QStringLiteral("IP4Config"));
  ip4Configs[config] = {address, 24, QString()};
  activeConnections[active] = {
      kRoot, QString(), kRoot, config, type, type, QUuid::createUuid().toString(QUuid::WithoutBraces), 2};
  activeOrder << active;
  activeConnectionsChanged();
  return active;
}

void NetworkManagerSimulator::finishScan() {
  const qint64 now = bootTimeMs();
  for (const QString &path : deviceOrder) {
    SimDevice &device = devices[path];
    if (device.type != kDeviceWifi) {
      continue;
    }
    device.scanPending = false;
    device.scannedDropped = false;
    device.lastScan = now;
    emitPropertiesChanged(path, NM_DBUS_INTERFACE_DEVICE_WIRELESS, {{QStringLiteral("LastScan"), now}});
  }
}

void NetworkManagerSimulator::setFault(const QString &name, const QString &fault) {
  if (fault.isEmpty()) {
    faults.remove(name);
  } else {
    faults[name] = fault;
  }
}

void NetworkManagerSimulator::setActiveAccessPoint(const QString &path) {
  const QString device = firstDevice(kDeviceWifi);
  if (!device.isEmpty()) {
    setActiveAccessPointOf(device, path);
  }
}

void NetworkManagerSimulator::emitStateChanged(unsigned int new_state, unsigned int old_state, unsigned int reason) {
  const QString device = firstDevice(kDeviceWifi);
  if (!device.isEmpty()) {
    emitSignal(device, NM_DBUS_INTERFACE_DEVICE, QStringLiteral("StateChanged"), {new_state, old_state, reason});
  }
}

void NetworkManagerSimulator::emitWifiPropertiesChanged(const QString &interface, const QVariantMap &props) {
  const QString device = firstDevice(kDeviceWifi);
  if (!device.isEmpty()) {
    emitPropertiesChanged(device, interface, props);
  }
}
