#include "tools/nm_simulator/simulator.h"

#include <time.h>

#include <utility>

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QRegularExpression>
#include <QTimer>
#include <QUuid>

namespace {

const QString kRoot = QStringLiteral("/");
namespace Key = NM::Key;
namespace Property = NM::Property;
namespace Section = NM::Section;
const QString &kWifiType = Section::Wireless;
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

// A list of strings of a stored profile; those that came over the bus are still marshalled.
QStringList stringList(const QVariant &value) {
  return value.userType() == qMetaTypeId<QDBusArgument>() ? qdbus_cast<QStringList>(value) : value.toStringList();
}

// The bits of the ciphers a profile lists, or of both when it lists none.
unsigned int cipherBits(const QVariant &listed, unsigned int tkip, unsigned int ccmp) {
  const QStringList ciphers = stringList(listed);
  if (ciphers.isEmpty()) {
    return tkip | ccmp;
  }
  return (ciphers.contains(QStringLiteral("tkip")) ? tkip : 0) | (ciphers.contains(QStringLiteral("ccmp")) ? ccmp : 0);
}

// What the daemon advertises for an access point it makes up from a profile (its own hotspot,
// a hidden network's placeholder): the profile's protocols and ciphers, each generation and
// cipher when it names none.
NM::AccessPointSecurity advertisedSecurity(const Connection &settings) {
  if (!settings.contains(Section::WirelessSecurity)) {
    return NM::Security::Open;
  }
  const QVariantMap security = settings.value(Section::WirelessSecurity);
  const unsigned int bits =
      cipherBits(security.value(Key::Pairwise), NM::ApSecurity::PairTkip, NM::ApSecurity::PairCcmp) |
      cipherBits(security.value(Key::Group), NM::ApSecurity::GroupTkip, NM::ApSecurity::GroupCcmp) |
      NM::ApSecurity::KeyMgmtPsk;
  const QStringList protocols = stringList(security.value(Key::Proto));
  const bool wpa = protocols.isEmpty() || protocols.contains(QStringLiteral("wpa"));
  const bool rsn = protocols.isEmpty() || protocols.contains(QStringLiteral("rsn"));
  return {NM::ApFlag::Privacy, wpa ? bits : NM::ApSecurity::None, rsn ? bits : NM::ApSecurity::None};
}

void setSecurity(SimAccessPoint *ap, const NM::AccessPointSecurity &security) {
  ap->flags = security.flags;
  ap->wpaFlags = security.wpa_flags;
  ap->rsnFlags = security.rsn_flags;
}

// What NetworkManager does to a stored profile.
void normalize(Connection *settings) {
  QVariantMap &connection = (*settings)[Section::Connection];
  if (!connection.contains(Key::Uuid)) {
    connection[Key::Uuid] = QUuid::createUuid().toString(QUuid::WithoutBraces);
  }
  if (settings->contains(Section::Ipv4)) {
    QVariantMap &ipv4 = (*settings)[Section::Ipv4];
    if (ipv4.contains(Key::RouteMetric)) {
      ipv4[Key::RouteMetric] = qint64(ipv4.value(Key::RouteMetric).toLongLong());
    }
  }
  if (settings->contains(Section::Gsm)) {
    // Explicit APN or credentials switch the automatic configuration off.
    QVariantMap &gsm = (*settings)[Section::Gsm];
    if (gsm.contains(Key::Apn) || gsm.contains(Key::Username) || gsm.contains(Key::Password)) {
      gsm.remove(Key::AutoConfig);
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

NM::DeviceType deviceTypeFor(const QString &connection_type) {
  if (connection_type == kWifiType)
    return NM::DeviceType::Wifi;
  if (connection_type == Section::Gsm)
    return NM::DeviceType::Modem;
  if (connection_type == QStringLiteral("802-3-ethernet"))
    return NM::DeviceType::Ethernet;
  if (connection_type == QStringLiteral("loopback"))
    return NM::DeviceType::Loopback;
  return NM::DeviceType::Unknown;
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

QString NetworkManagerSimulator::firstDevice(NM::DeviceType type) const {
  for (const QString &path : deviceOrder) {
    if (devices.value(path).type == type) {
      return path;
    }
  }
  return {};
}

// The daemon always has the loopback device with its connection up.
void NetworkManagerSimulator::addLoopback() {
  const QString device = addDevice(NM::DeviceType::Loopback, QStringLiteral("lo"));
  Connection lo;
  lo[Section::Connection] = {{Key::Id, QStringLiteral("lo")},
                             {Key::Type, QStringLiteral("loopback")},
                             {Key::InterfaceName, QStringLiteral("lo")}};
  const QString connection = addConnection(lo);
  const QString active = nextPath(QStringLiteral("ActiveConnection"));
  const QString config = nextPath(QStringLiteral("IP4Config"));
  ip4Configs[config] = {QStringLiteral("127.0.0.1"), 8, {}};
  activeConnections[active] = {connection,
                               device,
                               kRoot,
                               config,
                               QStringLiteral("loopback"),
                               QStringLiteral("lo"),
                               settingValue(connections[connection].settings, Section::Connection, Key::Uuid),
                               NM::ActiveState::Activated};
  activeOrder << active;
  devices[device].activeConnection = active;
  devices[device].state = NM::DeviceState::Activated;
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
  if (!holdWhileStalled(message)) {
    dispatch(message);
  }
  return true;
}

void NetworkManagerSimulator::dispatch(const QDBusMessage &message) {
  if (applyFault(message)) {
    return;
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
}

bool NetworkManagerSimulator::holdWhileStalled(const QDBusMessage &message) {
  if (!stalled && !stallTrigger.isEmpty() && message.member() == stallTrigger) {
    stalled = true;
    stallTrigger.clear();
    QTimer::singleShot(stallMs, this, &NetworkManagerSimulator::endStall);
  }
  if (stalled) {
    held << message;
  }
  return stalled;
}

void NetworkManagerSimulator::endStall() {
  stalled = false;
  const QList<QDBusMessage> waiting = held;
  held.clear();
  for (const QDBusMessage &message : waiting) {
    dispatch(message);
  }
}

void NetworkManagerSimulator::stallFrom(const QString &method, int ms) {
  stallTrigger = method;
  stallMs = ms;
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
    p[Property::ActiveConnections] = objectPathList(activeOrder);
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
    p[Property::Flags] = 0u;
    p[QStringLiteral("Filename")] = QString();
    return true;
  }
  if (devices.contains(path)) {
    const SimDevice &device = devices[path];
    if (interface == NM_DBUS_INTERFACE_DEVICE) {
      const QString ip4 = activeConnections.value(device.activeConnection).ip4Config;
      p[Property::DeviceType] = uint(device.type);
      p[QStringLiteral("Interface")] = device.interface;
      p[Property::State] = uint(device.state);
      p[QStringLiteral("Managed")] = true;
      p[QStringLiteral("ActiveConnection")] = QVariant::fromValue(objectPath(device.activeConnection));
      p[Property::Ip4Config] = QVariant::fromValue(objectPath(ip4));
      return true;
    }
    if (interface == NM_DBUS_INTERFACE_DEVICE_WIRELESS && device.type == NM::DeviceType::Wifi) {
      p[Property::ActiveAccessPoint] = QVariant::fromValue(objectPath(device.activeAccessPoint));
      p[Property::LastScan] = device.lastScan;
      p[QStringLiteral("AccessPoints")] = objectPathList(apOrder);
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
    p[Property::Ssid] = ap.hidden ? QByteArray() : ap.ssid;
    p[Property::Strength] = QVariant::fromValue<uchar>(ap.strength);
    p[Property::Flags] = ap.flags;
    p[Property::WpaFlags] = ap.wpaFlags;
    p[Property::RsnFlags] = ap.rsnFlags;
    p[QStringLiteral("Frequency")] = ap.placeholder ? 0u : 2437u;
    p[QStringLiteral("HwAddress")] = ap.hwAddress;
    p[QStringLiteral("Mode")] = 2u;  // the daemon reports its own hotspot as infrastructure too
    p[QStringLiteral("MaxBitrate")] = 54000u;
    p[QStringLiteral("LastSeen")] = ap.placeholder ? -1 : int(bootTimeMs() / 1000);
    return true;
  }
  if (activeConnections.contains(path) && interface == NM_DBUS_INTERFACE_ACTIVE_CONNECTION) {
    const SimActiveConnection &active = activeConnections[path];
    p[QStringLiteral("Connection")] = QVariant::fromValue(objectPath(active.connection));
    p[Property::SpecificObject] = QVariant::fromValue(objectPath(active.specificObject));
    p[QStringLiteral("Id")] = active.id;
    p[QStringLiteral("Uuid")] = active.uuid;
    p[Property::Type] = active.type;
    p[QStringLiteral("Devices")] = objectPathList(active.device.isEmpty() ? QStringList() : QStringList{active.device});
    p[Property::State] = uint(active.state);
    p[QStringLiteral("Default")] = false;
    p[QStringLiteral("Vpn")] = false;
    p[Property::Ip4Config] = QVariant::fromValue(objectPath(active.ip4Config));
    return true;
  }
  if (ip4Configs.contains(path) && interface == NM_DBUS_INTERFACE_IP4_CONFIG) {
    const SimIp4Config &config = ip4Configs[path];
    const IpConfig address_data{{{Key::Address, config.address}, {Key::Prefix, config.prefix}}};
    p[Property::AddressData] = QVariant::fromValue(address_data);
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
    deactivate(path, NM::Reason::UserRequested);
  } else {
    replyError(message, kErrorUnknownMethod, QStringLiteral("No such method “%1”").arg(member));
  }
}

void NetworkManagerSimulator::activeConnectionsChanged() {
  emitPropertiesChanged(NM_DBUS_PATH, NM_DBUS_INTERFACE, {{Property::ActiveConnections, objectPathList(activeOrder)}});
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
  const QString type = settingValue(settings, Section::Connection, Key::Type);
  const NM::DeviceType device_type = deviceTypeFor(type);
  if (emptyPath(device)) {
    device = firstDevice(device_type);
  }
  if (!devices.contains(device) || devices[device].type != device_type) {
    replyError(message, QStringLiteral("org.freedesktop.NetworkManager.UnknownDevice"),
               QStringLiteral("No suitable device found for this connection"));
    return;
  }

  if (!emptyPath(devices[device].activeConnection)) {
    deactivate(devices[device].activeConnection, NM::Reason::None);
  }
  const QString active = nextPath(QStringLiteral("ActiveConnection"));
  activeConnections[active] = {connection,
                               device,
                               kRoot,
                               kRoot,
                               type,
                               settingValue(settings, Section::Connection, Key::Id),
                               settingValue(settings, Section::Connection, Key::Uuid),
                               NM::ActiveState::Activating};
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
  setDeviceState(active.device, NM::DeviceState::Prepare, NM::Reason::None);
  if (active.type != kWifiType) {
    setDeviceState(active.device, NM::DeviceState::Config, NM::Reason::None);
    completeActivation(active_path, kRoot, QStringLiteral("10.64.0.%1").arg(counters[QStringLiteral("IP4Config")] + 2));
    return;
  }

  const QByteArray ssid = settings.value(Section::Wireless).value(Key::Ssid).toByteArray();
  const bool serves_hotspot = settingValue(settings, Section::Wireless, Key::Mode) == QStringLiteral("ap");
  QString ap_path = serves_hotspot ? startHotspot(settings) : findAccessPoint(active.device, ssid);
  if (!ap_path.isEmpty()) {
    // The daemon takes the access point as the active one while it prepares.
    setActiveAccessPointOf(active.device, ap_path);
  }
  setDeviceState(active.device, NM::DeviceState::Config, NM::Reason::None);
  if (settings.contains(Section::WirelessSecurity)) {
    // Every secured activation asks for its saved secrets on the way, as the daemon's do.
    setDeviceState(active.device, NM::DeviceState::NeedAuth, NM::Reason::None);
    setDeviceState(active.device, NM::DeviceState::Prepare, NM::Reason::None);
    setDeviceState(active.device, NM::DeviceState::Config, NM::Reason::None);
  }
  if (serves_hotspot) {
    serveHotspot(active_path, settings);
    return;
  }
  if (ap_path.isEmpty() && settings.value(Section::Wireless).value(Key::Hidden).toBool()) {
    ap_path = probeHiddenNetwork(active.device, settings);
  }
  if (ap_path.isEmpty()) {
    failActivation(active_path, NM::DeviceState::Failed, NM::Reason::SsidNotFound);
    return;
  }
  const SimAccessPoint ap = accessPoints[ap_path];
  if (ap.offAir) {
    // The daemon gives up once the supplicant has looked for it in vain (about 27 s in the Wi-Fi
    // machine), then lets the access point go.
    failActivation(active_path, NM::DeviceState::Failed, NM::Reason::SsidNotFound);
    return;
  }
  if (isSecured(ap) && settingValue(settings, Section::WirelessSecurity, Key::Psk) != ap.password) {
    // The supplicant gives up: the access point is let go, then the attempt fails.
    setDeviceState(active.device, NM::DeviceState::NeedAuth, NM::Reason::SupplicantDisconnect);
    setActiveAccessPointOf(active.device, kRoot);
    failActivation(active_path, NM::DeviceState::Failed, NM::Reason::NoSecrets);
    return;
  }
  if (ap.noAddress) {
    // The daemon asks for an address until its DHCP time-out (45 s), then fails.
    setDeviceState(active.device, NM::DeviceState::IpConfig, NM::Reason::None);
    failActivation(active_path, NM::DeviceState::Failed, NM::Reason::IpConfigUnavailable);
    return;
  }
  completeActivation(active_path, ap_path,
                     QStringLiteral("192.168.1.%1").arg(counters[QStringLiteral("IP4Config")] + 100));
}

// A device that turns into a hotspot drops the networks it had scanned, and lists the hotspot
// as an access point of zero strength.
QString NetworkManagerSimulator::startHotspot(const Connection &settings) {
  scannedAside.clear();
  for (const QString &path : QStringList(apOrder)) {
    scannedAside << accessPoints.value(path);
    removeAccessPoint(path);
  }
  SimAccessPoint hotspot;
  hotspot.ssid = settings.value(Section::Wireless).value(Key::Ssid).toByteArray();
  setSecurity(&hotspot, advertisedSecurity(settings));
  hotspot.ownHotspot = true;
  hotspot.hwAddress = QStringLiteral("02:00:00:00:00:01");  // the device's own
  return insertAccessPoint(hotspot);
}

// The networks around come back, as new objects, while the hotspot takes its address.
void NetworkManagerSimulator::serveHotspot(const QString &active_path, const Connection &settings) {
  for (const SimAccessPoint &ap : std::exchange(scannedAside, {})) {
    insertAccessPoint(ap);
  }
  const IpConfig address_data = qdbus_cast<IpConfig>(settings.value(Section::Ipv4).value(Key::AddressData));
  const QString address =
      address_data.isEmpty() ? QStringLiteral("10.42.0.1") : address_data.first().value(Key::Address).toString();
  completeActivation(active_path, devices.value(activeConnections.value(active_path).device).activeAccessPoint,
                     address);
}

// While it looks for a hidden network by name, the daemon lets a placeholder access point of
// the profile stand in as the active one. What the supplicant finds joins the list under the
// name, beside the nameless entry that scans show, and takes the placeholder's place.
QString NetworkManagerSimulator::probeHiddenNetwork(const QString &device, const Connection &settings) {
  SimAccessPoint placeholder;
  placeholder.ssid = settings.value(Section::Wireless).value(Key::Ssid).toByteArray();
  setSecurity(&placeholder, advertisedSecurity(settings));
  placeholder.placeholder = true;
  const QString placeholder_path = insertAccessPoint(placeholder);
  setActiveAccessPointOf(device, placeholder_path);

  QString found;
  for (const QString &path : apOrder) {
    const SimAccessPoint &ap = accessPoints[path];
    if (ap.hidden && ap.ssid == placeholder.ssid) {
      found = path;
      break;
    }
  }
  if (!found.isEmpty()) {
    SimAccessPoint named = accessPoints[found];
    named.hidden = false;
    found = insertAccessPoint(named);
    setActiveAccessPointOf(device, found);
  }
  removeAccessPoint(placeholder_path);
  return found;
}

void NetworkManagerSimulator::completeActivation(const QString &active_path, const QString &access_point,
                                                 const QString &address) {
  SimActiveConnection &active = activeConnections[active_path];
  active.specificObject = access_point;
  const QString device = active.device;
  if (devices[device].type == NM::DeviceType::Wifi) {
    setActiveAccessPointOf(device, access_point);
  }
  setDeviceState(device, NM::DeviceState::IpConfig, NM::Reason::None);
  if (dhcpDelayMs <= 0) {
    finishIpConfig(active_path, address);
    return;
  }
  // Until its lease comes the connection is still activating, with "/" for its IPv4 configuration.
  QTimer::singleShot(dhcpDelayMs, this, [this, active_path, address] { finishIpConfig(active_path, address); });
}

void NetworkManagerSimulator::finishIpConfig(const QString &active_path, const QString &address) {
  if (!activeConnections.contains(active_path)) {
    return;  // deactivated while it waited
  }
  SimActiveConnection &active = activeConnections[active_path];
  const QString config = nextPath(QStringLiteral("IP4Config"));
  ip4Configs[config] = {address, 24, QString()};
  active.ip4Config = config;
  active.state = NM::ActiveState::Activated;
  setDeviceState(active.device, NM::DeviceState::Activated, NM::Reason::None);
}

void NetworkManagerSimulator::failActivation(const QString &active_path, NM::DeviceState state, NM::Reason reason) {
  const QString device = activeConnections.value(active_path).device;
  setDeviceState(device, state, reason);
  // The daemon then leaves the failed state for a disconnected device with no reason.
  deactivate(active_path, NM::Reason::None);
}

void NetworkManagerSimulator::deactivate(QString active_path, NM::Reason reason) {
  const SimActiveConnection active = activeConnections.take(active_path);
  activeOrder.removeAll(active_path);
  ip4Configs.remove(active.ip4Config);
  if (accessPoints.value(active.specificObject).ownHotspot) {
    removeAccessPoint(active.specificObject);
  }
  if (devices.contains(active.device)) {
    SimDevice &device = devices[active.device];
    device.activeConnection = kRoot;
    if (device.type == NM::DeviceType::Wifi && !emptyPath(device.activeAccessPoint)) {
      setActiveAccessPointOf(active.device, kRoot);
    }
    if (device.state == NM::DeviceState::Activated) {
      setDeviceState(active.device, NM::DeviceState::Deactivating, reason);
    }
    if (device.state != NM::DeviceState::Disconnected) {
      setDeviceState(active.device, NM::DeviceState::Disconnected, reason);
    }
  }
  activeConnectionsChanged();
}

void NetworkManagerSimulator::setDeviceState(const QString &device, NM::DeviceState new_state, NM::Reason reason) {
  if (!devices.contains(device)) {
    return;
  }
  const NM::DeviceState old_state = devices[device].state;
  devices[device].state = new_state;
  emitSignal(device, NM_DBUS_INTERFACE_DEVICE, QStringLiteral("StateChanged"),
             {uint(new_state), uint(old_state), uint(reason)});
  emitPropertiesChanged(device, NM_DBUS_INTERFACE_DEVICE, {{Property::State, uint(new_state)}});
}

void NetworkManagerSimulator::setActiveAccessPointOf(const QString &device, const QString &access_point) {
  devices[device].activeAccessPoint = access_point;
  emitPropertiesChanged(device, NM_DBUS_INTERFACE_DEVICE_WIRELESS,
                        {{Property::ActiveAccessPoint, QVariant::fromValue(objectPath(access_point))}});
}

// The strongest listed access point of the name, one on the air before one that is gone (the
// daemon still tries what it lists).
QString NetworkManagerSimulator::findAccessPoint(const QString &device, const QByteArray &ssid) const {
  Q_UNUSED(device);
  QString best;
  const auto better = [](const SimAccessPoint &ap, const SimAccessPoint &than) {
    return std::make_pair(!ap.offAir, ap.strength) > std::make_pair(!than.offAir, than.strength);
  };
  for (const QString &path : apOrder) {
    const SimAccessPoint &ap = accessPoints[path];
    const bool named = !ap.hidden && !ap.ownHotspot && !ap.placeholder;
    if (named && ap.ssid == ssid && (best.isEmpty() || better(ap, accessPoints[best]))) {
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
    const QString type = settingValue(settings, Section::Connection, Key::Type);
    if (type.isEmpty() ||
        (type == kWifiType && settings.value(Section::Wireless).value(Key::Ssid).toByteArray().isEmpty())) {
      replyError(message, NM::Error::InvalidProperty,
                 QStringLiteral("connection.type or 802-11-wireless.ssid missing"));
      return;
    }
    if (settings.value(Section::WirelessSecurity).contains(Key::Psk) &&
        !validPsk(settingValue(settings, Section::WirelessSecurity, Key::Psk))) {
      replyError(message, NM::Error::InvalidProperty,
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
      deactivate(it.key(), NM::Reason::ConnectionRemoved);
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
      replyError(message, NM::Error::SettingNotFound,
                 QStringLiteral("Connection didn't have requested setting '%1'.").arg(section));
      return;
    }
    const Connection secrets = secretsOf(saved.settings, section);
    if (secrets.value(section).isEmpty()) {
      replyError(message, NM::Error::NoSecrets, QStringLiteral("No agents were available for this request."));
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
  const bool wifi = devices[path].type == NM::DeviceType::Wifi;
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

QString NetworkManagerSimulator::addAccessPoint(SimAccessPoint ap) {
  ap.hwAddress = QStringLiteral("02:00:00:00:01:%1")
                     .arg((counters[QStringLiteral("AccessPoint")] + 1) % 256, 2, 16, QLatin1Char('0'));
  return insertAccessPoint(ap);
}

QString NetworkManagerSimulator::insertAccessPoint(const SimAccessPoint &ap) {
  const QString path = nextPath(QStringLiteral("AccessPoint"));
  accessPoints[path] = ap;
  apOrder << path;
  for (const QString &device : deviceOrder) {
    if (devices[device].type == NM::DeviceType::Wifi) {
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
    if (devices[device].type == NM::DeviceType::Wifi) {
      emitSignal(device, NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("AccessPointRemoved"),
                 {QVariant::fromValue(QDBusObjectPath(path))});
    }
  }
  return true;
}

QString NetworkManagerSimulator::addDevice(NM::DeviceType type, const QString &interface) {
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
  activeConnections[active] = {kRoot,
                               QString(),
                               kRoot,
                               config,
                               type,
                               type,
                               QUuid::createUuid().toString(QUuid::WithoutBraces),
                               NM::ActiveState::Activated};
  activeOrder << active;
  activeConnectionsChanged();
  return active;
}

// An access point off the air stays listed until two scans have missed it, as the supplicant
// keeps what it saw.
int NetworkManagerSimulator::takeAway(const QByteArray &ssid) {
  int taken = 0;
  for (const QString &path : apOrder) {
    SimAccessPoint &ap = accessPoints[path];
    if (ap.ssid == ssid && !ap.ownHotspot && !ap.placeholder && !ap.offAir) {
      ap.offAir = true;
      ap.missedScans = 0;
      ++taken;
    }
  }
  return taken;
}

// What scans had stopped listing comes back as new objects.
int NetworkManagerSimulator::bringBack(const QByteArray &ssid) {
  int back = 0;
  for (const QString &path : apOrder) {
    SimAccessPoint &ap = accessPoints[path];
    if (ap.ssid == ssid && ap.offAir) {
      ap.offAir = false;
      ++back;
    }
  }
  for (auto it = offAirUnlisted.begin(); it != offAirUnlisted.end();) {
    if (it->ssid == ssid) {
      it->offAir = false;
      insertAccessPoint(*it);
      it = offAirUnlisted.erase(it);
      ++back;
    } else {
      ++it;
    }
  }
  return back;
}

int NetworkManagerSimulator::withholdAddress(const QByteArray &ssid, bool withhold) {
  int changed = 0;
  for (const QString &path : apOrder) {
    SimAccessPoint &ap = accessPoints[path];
    if (ap.ssid == ssid && !ap.ownHotspot && !ap.placeholder) {
      ap.noAddress = withhold;
      ++changed;
    }
  }
  return changed;
}

void NetworkManagerSimulator::forgetMissedAccessPoints() {
  for (const QString &path : QStringList(apOrder)) {
    SimAccessPoint &ap = accessPoints[path];
    if (ap.offAir && ++ap.missedScans >= 2) {
      offAirUnlisted << ap;
      removeAccessPoint(path);
    }
  }
}

void NetworkManagerSimulator::finishScan() {
  forgetMissedAccessPoints();
  const qint64 now = bootTimeMs();
  for (const QString &path : deviceOrder) {
    SimDevice &device = devices[path];
    if (device.type != NM::DeviceType::Wifi) {
      continue;
    }
    device.scanPending = false;
    device.lastScan = now;
    emitPropertiesChanged(path, NM_DBUS_INTERFACE_DEVICE_WIRELESS, {{Property::LastScan, now}});
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
  const QString device = firstDevice(NM::DeviceType::Wifi);
  if (!device.isEmpty()) {
    setActiveAccessPointOf(device, path);
  }
}

void NetworkManagerSimulator::setWifiDeviceState(NM::DeviceState state, NM::Reason reason) {
  setDeviceState(firstDevice(NM::DeviceType::Wifi), state, reason);
}

void NetworkManagerSimulator::emitWifiPropertiesChanged(const QString &interface, const QVariantMap &props) {
  const QString device = firstDevice(NM::DeviceType::Wifi);
  if (!device.isEmpty()) {
    emitPropertiesChanged(device, interface, props);
  }
}
