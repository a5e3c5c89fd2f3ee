#include "ui/qt/network/wifi_manager.h"

#include <cstdlib>
#include <tuple>

#include <QDBusConnection>
#include <QDBusReply>
#include <QDebug>
#include <QUuid>

#include "common/swaglog.h"
#include "ui/qt/util.h"

namespace {

constexpr unsigned int kDeviceTypeWifi = 2;
constexpr unsigned int kDeviceTypeModem = 8;

constexpr unsigned int kStateNeedAuth = 60;
constexpr unsigned int kStateActivated = 100;
constexpr unsigned int kReasonSupplicantDisconnect = 8;

constexpr unsigned int kApFlagPrivacy = 0x1;
constexpr unsigned int kApFlagWps = 0x2;
constexpr unsigned int kSecKeyMgmt8021X = 0x200;
constexpr unsigned int kSupportsWpa = 0x133;

constexpr int kScanIntervalMs = 5000;
constexpr int kForwardingOffDelayMs = 5000;

const QString kWifiType = QStringLiteral("802-11-wireless");
const QString kWifiSecurity = QStringLiteral("802-11-wireless-security");
const QString kRootPath = QStringLiteral("/");
const QString kInvalidProperty = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection.InvalidProperty");

QString connectionType(const Connection &settings) {
  return settings.value(QStringLiteral("connection")).value(QStringLiteral("type")).toString();
}

QString connectionSsid(const Connection &settings) {
  return ssidText(settings.value(kWifiType).value(QStringLiteral("ssid")).toByteArray());
}

QString newUuid() {
  return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QDBusObjectPath objectPath(const QString &path) {
  return QDBusObjectPath(path.isEmpty() ? kRootPath : path);
}

template <typename T>
T readReply(const QDBusMessage &message) {
  const QDBusReply<T> reply(message);
  return reply.isValid() ? reply.value() : T{};
}

// Reads a D-Bus array out of a property value; anything else gives an empty container.
template <typename T>
T readArray(const QDBusArgument &arg, const QString &signature) {
  T value;
  if (arg.currentSignature() == signature) {
    arg >> value;
  }
  return value;
}

}  // namespace

// The bytes up to the first zero byte, decoded as UTF-8.
QString ssidText(const QByteArray &ssid) {
  const int end = ssid.indexOf('\0');
  return QString::fromUtf8(end < 0 ? ssid : ssid.left(end));
}

bool compare_by_strength(const Network &a, const Network &b) {
  // Bytes compare as unsigned; a proper prefix sorts first.
  const auto bytes = [](const QByteArray &ssid) { return std::string(ssid.constData(), ssid.size()); };
  return std::make_tuple(a.connected, strengthLevel(a.strength), bytes(b.ssid)) >
         std::make_tuple(b.connected, strengthLevel(b.strength), bytes(a.ssid));
}

WifiManager::WifiManager(QObject *parent) : QObject(parent) {
  nm::registerTypes();

  tethering_ssid = QStringLiteral("vireda");
  if (const std::optional<QString> dongle_id = getDongleId()) {
    tethering_ssid += QStringLiteral("-") + dongle_id->left(4);
  }

  adapter = getAdapter(kDeviceTypeWifi);
  if (!adapter.isEmpty()) {
    setup();
  } else {
    QDBusConnection::systemBus().connect(NM_DBUS_SERVICE, NM_DBUS_PATH, NM_DBUS_INTERFACE,
                                         QStringLiteral("DeviceAdded"), this, SLOT(deviceAdded(QDBusObjectPath)));
  }

  QObject::connect(&timer, &QTimer::timeout, this, &WifiManager::requestScan);

  initConnections();
}

void WifiManager::start() {
  timer.start(kScanIntervalMs);
  refreshNetworks();
}

void WifiManager::stop() {
  timer.stop();
}

void WifiManager::requestScan() {
  if (!adapter.isEmpty()) {
    asyncCall(adapter, NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("RequestScan"), QVariantMap());
  }
}

QString WifiManager::getAdapter(unsigned int adapter_type) {
  const auto devices = readReply<QList<QDBusObjectPath>>(
      call<QDBusMessage>(NM_DBUS_PATH, NM_DBUS_INTERFACE, QStringLiteral("GetDevices")));
  for (const QDBusObjectPath &device : devices) {
    if (getAdapterType(device) == adapter_type) {
      return device.path();
    }
  }
  return {};
}

unsigned int WifiManager::getAdapterType(const QDBusObjectPath &path) {
  return call<unsigned int>(path.path(), NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("Get"), NM_DBUS_INTERFACE_DEVICE,
                            QStringLiteral("DeviceType"));
}

void WifiManager::setup() {
  QDBusConnection bus = QDBusConnection::systemBus();
  bus.connect(NM_DBUS_SERVICE, adapter, NM_DBUS_INTERFACE_DEVICE, QStringLiteral("StateChanged"), this,
              SLOT(stateChange(unsigned int, unsigned int, unsigned int)));
  bus.connect(NM_DBUS_SERVICE, adapter, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("PropertiesChanged"), this,
              SLOT(propertyChange(QString, QVariantMap, QStringList)));
  bus.connect(NM_DBUS_SERVICE, NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS, QStringLiteral("ConnectionRemoved"),
              this, SLOT(connectionRemoved(QDBusObjectPath)));
  bus.connect(NM_DBUS_SERVICE, NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS, QStringLiteral("NewConnection"), this,
              SLOT(newConnection(QDBusObjectPath)));

  activeAp = call<QDBusObjectPath>(adapter, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("Get"),
                                   NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("ActiveAccessPoint"))
                 .path();
  requestScan();
}

void WifiManager::deviceAdded(const QDBusObjectPath &path) {
  if (getAdapterType(path) == kDeviceTypeWifi && emptyPath(adapter)) {
    adapter = path.path();
    setup();
  }
}

void WifiManager::propertyChange(const QString &interface, const QVariantMap &props,
                                 const QStringList &invalidated_props) {
  Q_UNUSED(invalidated_props);
  if (interface != NM_DBUS_INTERFACE_DEVICE_WIRELESS) {
    return;
  }
  if (props.contains(QStringLiteral("LastScan"))) {
    refreshNetworks();
  } else if (props.contains(QStringLiteral("ActiveAccessPoint"))) {
    activeAp = props.value(QStringLiteral("ActiveAccessPoint")).value<QDBusObjectPath>().path();
  }
}

void WifiManager::refreshNetworks() {
  if (adapter.isEmpty() || !timer.isActive()) {
    return;
  }
  const QDBusPendingCall pending =
      asyncCall(adapter, NM_DBUS_INTERFACE_DEVICE_WIRELESS, QStringLiteral("GetAllAccessPoints"));
  auto *watcher = new QDBusPendingCallWatcher(pending);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this, &WifiManager::refreshFinished);
}

void WifiManager::refreshFinished(QDBusPendingCallWatcher *watcher) {
  ipv4_address = getIp4Address();
  seenNetworks.clear();

  const QDBusReply<QList<QDBusObjectPath>> access_points = watcher->reply();
  if (!access_points.isValid()) {
    qCritical() << "Failed to refresh";
    watcher->deleteLater();
    return;
  }

  const QList<QDBusObjectPath> paths = access_points.value();
  const QVector<QDBusMessage> replies =
      nm::callEach(paths, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("GetAll"), {NM_DBUS_INTERFACE_ACCESS_POINT});
  for (int i = 0; i < paths.size(); ++i) {
    const QDBusObjectPath &path = paths[i];
    const QDBusReply<QVariantMap> reply = replies[i];
    if (!reply.isValid()) {
      qCritical() << "Failed to retrieve properties for path:" << path.path();
      continue;
    }
    const QVariantMap properties = reply.value();
    const QByteArray ssid = properties.value(QStringLiteral("Ssid")).toByteArray();
    if (ssid.isEmpty()) {
      continue;
    }

    const QString key = ssidText(ssid);
    if (isOwnHotspot(path.path(), key)) {
      continue;
    }
    auto network = seenNetworks.find(key);
    if (network == seenNetworks.end()) {
      network = seenNetworks.insert(key, {ssid, 0, ConnectedType::DISCONNECTED, getSecurityType(properties)});
    }
    if (path.path() == activeAp) {
      network->connected = connecting_to_network == key ? ConnectedType::CONNECTING : ConnectedType::CONNECTED;
    }
    network->strength = std::max(network->strength, properties.value(QStringLiteral("Strength")).toUInt());
  }

  emit refreshSignal();
  watcher->deleteLater();
}

// While tethering, the daemon lists the device's own hotspot as its active access point. It is
// not a network to join: shown, it would claim a connection the device does not have.
bool WifiManager::isOwnHotspot(const QString &access_point, const QString &ssid) const {
  return access_point == activeAp && ssid == tethering_ssid;
}

SecurityType WifiManager::getSecurityType(const QVariantMap &properties) {
  const unsigned int sflag = properties.value(QStringLiteral("Flags")).toUInt();
  const unsigned int wpaflag = properties.value(QStringLiteral("WpaFlags")).toUInt();
  const unsigned int rsnflag = properties.value(QStringLiteral("RsnFlags")).toUInt();
  const unsigned int wpa_props = wpaflag | rsnflag;

  if (sflag == 0) {
    return SecurityType::OPEN;
  }
  if ((sflag & kApFlagWps) && !(wpa_props & kSupportsWpa)) {
    return SecurityType::OPEN;
  }
  if (!(wpa_props & kSecKeyMgmt8021X) && (sflag & kApFlagPrivacy) && (wpa_props & kSupportsWpa)) {
    return SecurityType::WPA;
  }
  LOGW("Unsupported network! sflag: %d, wpaflag: %d, rsnflag: %d", sflag, wpaflag, rsnflag);
  return SecurityType::UNSUPPORTED;
}

QByteArray WifiManager::get_property(const QString &network_path, const QString &property) {
  return call<QByteArray>(network_path, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("Get"),
                          NM_DBUS_INTERFACE_ACCESS_POINT, property);
}

// Saved connections

void WifiManager::initConnections() {
  const auto paths = readReply<QList<QDBusObjectPath>>(
      call<QDBusMessage>(NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS, QStringLiteral("ListConnections")));
  for (const QDBusObjectPath &path : paths) {
    const Connection settings = getConnectionSettings(path);
    if (connectionType(settings) == kWifiType) {
      knownConnections[path] = connectionSsid(settings);
    } else if (settings.value(QStringLiteral("connection")).value(QStringLiteral("id")).toString() ==
               QStringLiteral("lte")) {
      lteConnectionPath = path;
    }
  }
}

Connection WifiManager::getConnectionSettings(const QDBusObjectPath &path) {
  return readReply<Connection>(
      call<QDBusMessage>(path.path(), NM_DBUS_INTERFACE_SETTINGS_CONNECTION, QStringLiteral("GetSettings")));
}

void WifiManager::newConnection(const QDBusObjectPath &path) {
  const Connection settings = getConnectionSettings(path);
  if (settings.isEmpty()) {
    // A busy daemon can miss the bound; losing the read would lose the network just saved, so
    // it is asked again without blocking.
    auto *watcher = new QDBusPendingCallWatcher(
        asyncCall(path.path(), NM_DBUS_INTERFACE_SETTINGS_CONNECTION, QStringLiteral("GetSettings")), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, path](QDBusPendingCallWatcher *w) {
      const QDBusReply<Connection> reply = *w;
      if (reply.isValid()) {
        addKnownConnection(path, reply.value());
      }
      w->deleteLater();
    });
    return;
  }
  addKnownConnection(path, settings);
}

void WifiManager::addKnownConnection(const QDBusObjectPath &path, const Connection &settings) {
  if (connectionType(settings) != kWifiType) {
    return;
  }
  const QString ssid = connectionSsid(settings);
  knownConnections[path] = ssid;
  if (ssid != tethering_ssid) {
    activateWifiConnection(ssid);
  }
}

void WifiManager::connectionRemoved(const QDBusObjectPath &path) {
  knownConnections.remove(path);
}

QDBusObjectPath WifiManager::getConnectionPath(const QString &ssid) {
  for (auto it = knownConnections.cbegin(); it != knownConnections.cend(); ++it) {
    if (it.value() == ssid) {
      return it.key();
    }
  }
  return QDBusObjectPath();
}

bool WifiManager::isKnownConnection(const QString &ssid) {
  return !getConnectionPath(ssid).path().isEmpty();
}

void WifiManager::forgetConnection(const QString &ssid) {
  const QDBusObjectPath path = getConnectionPath(ssid);
  if (!path.path().isEmpty()) {
    call<QDBusMessage>(path.path(), NM_DBUS_INTERFACE_SETTINGS_CONNECTION, QStringLiteral("Delete"));
  }
}

void WifiManager::setCurrentConnecting(const QString &ssid) {
  connecting_to_network = ssid;
  for (auto it = seenNetworks.begin(); it != seenNetworks.end(); ++it) {
    it->connected = it.key() == ssid ? ConnectedType::CONNECTING : ConnectedType::DISCONNECTED;
  }
  emit refreshSignal();
}

std::optional<QDBusPendingCall> WifiManager::activateWifiConnection(const QString &ssid) {
  const QDBusObjectPath path = getConnectionPath(ssid);
  if (path.path().isEmpty()) {
    return std::nullopt;
  }
  setCurrentConnecting(ssid);
  // Without a known Wi-Fi device "/" lets NetworkManager choose one.
  return asyncCall(NM_DBUS_PATH, NM_DBUS_INTERFACE, QStringLiteral("ActivateConnection"), path, objectPath(adapter),
                   QDBusObjectPath(kRootPath));
}

void WifiManager::connect(const Network &n, bool is_hidden, const QString &password, const QString &username) {
  Q_UNUSED(username);
  const QString ssid = ssidText(n.ssid);
  setCurrentConnecting(ssid);
  forgetConnection(ssid);

  Connection connection;
  connection[QStringLiteral("connection")][QStringLiteral("type")] = kWifiType;
  connection[QStringLiteral("connection")][QStringLiteral("uuid")] = newUuid();
  connection[QStringLiteral("connection")][QStringLiteral("id")] =
      QStringLiteral("halcyra connection ") + QString::fromUtf8(n.ssid);
  connection[QStringLiteral("connection")][QStringLiteral("autoconnect-retries")] = 0;

  connection[kWifiType][QStringLiteral("ssid")] = n.ssid;
  connection[kWifiType][QStringLiteral("hidden")] = is_hidden;
  connection[kWifiType][QStringLiteral("mode")] = QStringLiteral("infrastructure");

  if (n.security_type == SecurityType::WPA) {
    connection[kWifiSecurity][QStringLiteral("key-mgmt")] = QStringLiteral("wpa-psk");
    connection[kWifiSecurity][QStringLiteral("auth-alg")] = QStringLiteral("open");
    connection[kWifiSecurity][QStringLiteral("psk")] = password;
  }

  connection[QStringLiteral("ipv4")][QStringLiteral("method")] = QStringLiteral("auto");
  connection[QStringLiteral("ipv4")][QStringLiteral("dns-priority")] = 600;
  connection[QStringLiteral("ipv6")][QStringLiteral("method")] = QStringLiteral("ignore");

  const QDBusMessage added =
      nm::callBlockingKeepingError(NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS, QStringLiteral("AddConnection"),
                                   nm::toVariants(QVariant::fromValue(connection)));
  // A time-out proves nothing (the daemon may still save it); a refusal ends the attempt.
  if (added.errorName() == kInvalidProperty) {
    endRefusedAttempt(ssid, added.errorMessage().contains(QStringLiteral("psk")));
  }
}

// Nothing was saved, so nothing will activate: the row must not stay on "CONNECTING...", and a
// refused key is reported like a wrong one, so the user is asked again.
void WifiManager::endRefusedAttempt(const QString &ssid, bool key_refused) {
  connecting_to_network.clear();
  if (seenNetworks.contains(ssid)) {
    seenNetworks[ssid].connected = ConnectedType::DISCONNECTED;
  }
  emit refreshSignal();
  refreshNetworks();
  if (key_refused) {
    emit wrongPassword(ssid);
  }
}

void WifiManager::stateChange(unsigned int new_state, unsigned int previous_state, unsigned int change_reason) {
  Q_UNUSED(previous_state);
  if (new_state == kStateNeedAuth && change_reason == kReasonSupplicantDisconnect) {
    if (!connecting_to_network.isEmpty()) {
      forgetConnection(connecting_to_network);
      emit wrongPassword(connecting_to_network);
    }
  } else if (new_state == kStateActivated) {
    connecting_to_network.clear();
    refreshNetworks();
  }
}

QVector<QDBusObjectPath> WifiManager::getActiveConnections() {
  const QDBusArgument value = call<QDBusArgument>(NM_DBUS_PATH, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("Get"),
                                                  NM_DBUS_INTERFACE, QStringLiteral("ActiveConnections"));
  return readArray<QVector<QDBusObjectPath>>(value, QStringLiteral("ao"));
}

void WifiManager::deactivateConnection(const QDBusObjectPath &path) {
  asyncCall(NM_DBUS_PATH, NM_DBUS_INTERFACE, QStringLiteral("DeactivateConnection"), path);
}

void WifiManager::deactivateConnectionBySsid(const QString &ssid) {
  for (const QDBusObjectPath &active : getActiveConnections()) {
    const QDBusObjectPath access_point =
        call<QDBusObjectPath>(active.path(), NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("Get"),
                              NM_DBUS_INTERFACE_ACTIVE_CONNECTION, QStringLiteral("SpecificObject"));
    if (emptyPath(access_point.path())) {
      continue;
    }
    if (ssidText(get_property(access_point.path(), QStringLiteral("Ssid"))) == ssid) {
      deactivateConnection(active);
      return;
    }
  }
}

// Hotspot

bool WifiManager::isTetheringEnabled() {
  if (emptyPath(activeAp)) {
    return false;
  }
  return ssidText(get_property(activeAp, QStringLiteral("Ssid"))) == tethering_ssid;
}

void WifiManager::setTetheringEnabled(bool enabled) {
  if (!enabled) {
    deactivateConnectionBySsid(tethering_ssid);
    return;
  }
  if (!isKnownConnection(tethering_ssid)) {
    addTetheringConnection();
  }
  const std::optional<QDBusPendingCall> pending = activateWifiConnection(tethering_ssid);
  if (!pending) {
    return;
  }
  auto *watcher = new QDBusPendingCallWatcher(*pending);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this, &WifiManager::tetheringActivated);
}

void WifiManager::tetheringActivated(QDBusPendingCallWatcher *call) {
  if (!ipv4_forward) {
    QTimer::singleShot(kForwardingOffDelayMs, this, [] {
      qWarning() << "net.ipv4.ip_forward = 0";
      std::ignore = std::system("sudo sysctl net.ipv4.ip_forward=0");
    });
  }
  call->deleteLater();
}

void WifiManager::addTetheringConnection() {
  Connection connection;
  connection[QStringLiteral("connection")][QStringLiteral("id")] = QStringLiteral("Hotspot");
  connection[QStringLiteral("connection")][QStringLiteral("uuid")] = newUuid();
  connection[QStringLiteral("connection")][QStringLiteral("type")] = kWifiType;
  connection[QStringLiteral("connection")][QStringLiteral("interface-name")] = QStringLiteral("wlan0");
  connection[QStringLiteral("connection")][QStringLiteral("autoconnect")] = false;

  connection[kWifiType][QStringLiteral("band")] = QStringLiteral("bg");
  connection[kWifiType][QStringLiteral("mode")] = QStringLiteral("ap");
  connection[kWifiType][QStringLiteral("ssid")] = tethering_ssid.toUtf8();

  connection[kWifiSecurity][QStringLiteral("group")] = QStringList{QStringLiteral("ccmp")};
  connection[kWifiSecurity][QStringLiteral("key-mgmt")] = QStringLiteral("wpa-psk");
  connection[kWifiSecurity][QStringLiteral("pairwise")] = QStringList{QStringLiteral("ccmp")};
  connection[kWifiSecurity][QStringLiteral("proto")] = QStringList{QStringLiteral("rsn")};
  connection[kWifiSecurity][QStringLiteral("psk")] = defaultTetheringPassword;

  const QString address = QStringLiteral("192.168.43.1");
  const IpConfig address_data{{{QStringLiteral("address"), address}, {QStringLiteral("prefix"), 24u}}};
  connection[QStringLiteral("ipv4")][QStringLiteral("method")] = QStringLiteral("shared");
  connection[QStringLiteral("ipv4")][QStringLiteral("address-data")] = QVariant::fromValue(address_data);
  connection[QStringLiteral("ipv4")][QStringLiteral("gateway")] = address;
  connection[QStringLiteral("ipv4")][QStringLiteral("route-metric")] = 1100;
  connection[QStringLiteral("ipv6")][QStringLiteral("method")] = QStringLiteral("ignore");

  // The reply is a bare object path, not a variant: read it as such so the caller can use
  // the connection at once.
  const auto path =
      readReply<QDBusObjectPath>(call<QDBusMessage>(NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS,
                                                    QStringLiteral("AddConnection"), QVariant::fromValue(connection)));
  if (!path.path().isEmpty()) {
    knownConnections[path] = tethering_ssid;
  }
}

QString WifiManager::getTetheringPassword() {
  if (!isKnownConnection(tethering_ssid)) {
    addTetheringConnection();
  }
  const QDBusObjectPath path = getConnectionPath(tethering_ssid);
  if (path.path().isEmpty()) {
    return {};
  }
  const auto secrets = readReply<Connection>(call<QDBusMessage>(path.path(), NM_DBUS_INTERFACE_SETTINGS_CONNECTION,
                                                                QStringLiteral("GetSecrets"), kWifiSecurity));
  return secrets.value(kWifiSecurity).value(QStringLiteral("psk")).toString();
}

void WifiManager::changeTetheringPassword(const QString &newPassword) {
  const QDBusObjectPath path = getConnectionPath(tethering_ssid);
  if (path.path().isEmpty()) {
    return;
  }
  Connection settings = getConnectionSettings(path);
  settings[kWifiSecurity][QStringLiteral("psk")] = newPassword;
  call<QDBusMessage>(path.path(), NM_DBUS_INTERFACE_SETTINGS_CONNECTION, QStringLiteral("Update"),
                     QVariant::fromValue(settings));
  if (isTetheringEnabled()) {
    activateWifiConnection(tethering_ssid);
  }
}

// Cellular and IPv4

void WifiManager::updateGsmSettings(bool roaming, QString apn, bool metered) {
  if (lteConnectionPath.path().isEmpty()) {
    return;
  }
  Connection settings = getConnectionSettings(lteConnectionPath);
  if (settings.isEmpty()) {
    // Sending a near-empty dictionary would wipe the connection.
    return;
  }
  QVariantMap &gsm = settings[QStringLiteral("gsm")];
  QVariantMap &connection = settings[QStringLiteral("connection")];
  bool changed = false;

  const bool auto_config = apn.isEmpty();
  if (gsm.value(QStringLiteral("auto-config")).toBool() != auto_config && (!auto_config || gsmAutoConfigKept(gsm))) {
    qWarning() << "Changing gsm.auto-config to" << auto_config;
    gsm[QStringLiteral("auto-config")] = auto_config;
    changed = true;
  }

  // NetworkManager drops auto-config whenever an "apn" key is present, even an empty one,
  // so automatic means no key at all.
  const bool apn_differs =
      auto_config ? gsm.contains(QStringLiteral("apn")) : gsm.value(QStringLiteral("apn")).toString() != apn;
  if (apn_differs) {
    qWarning() << "Changing gsm.apn to" << apn;
    if (auto_config) {
      gsm.remove(QStringLiteral("apn"));
    } else {
      gsm[QStringLiteral("apn")] = apn;
    }
    changed = true;
  }

  const bool home_only = !roaming;
  if (gsm.value(QStringLiteral("home-only")).toBool() != home_only) {
    qWarning() << "Changing gsm.home-only to" << home_only;
    gsm[QStringLiteral("home-only")] = home_only;
    changed = true;
  }

  const int metered_value = metered ? 0 : 2;
  if (connection.value(QStringLiteral("metered")).toInt() != metered_value) {
    qWarning() << "Changing connection.metered to" << metered_value;
    connection[QStringLiteral("metered")] = metered_value;
    changed = true;
  }

  if (changed) {
    call<QDBusMessage>(lteConnectionPath.path(), NM_DBUS_INTERFACE_SETTINGS_CONNECTION, QStringLiteral("UpdateUnsaved"),
                       QVariant::fromValue(settings));
    deactivateConnection(lteConnectionPath);
    activateModemConnection(lteConnectionPath);
  }
}

// NetworkManager drops "auto-config" from a profile with APN credentials; asking for it
// there would count as a change, and restart the link, at every call. The user name shows
// in the settings; the password is a secret and is not fetched for this.
bool WifiManager::gsmAutoConfigKept(const QVariantMap &gsm) const {
  return !gsm.contains(QStringLiteral("username"));
}

void WifiManager::activateModemConnection(const QDBusObjectPath &path) {
  const QString modem = getAdapter(kDeviceTypeModem);
  if (!modem.isEmpty()) {
    asyncCall(NM_DBUS_PATH, NM_DBUS_INTERFACE, QStringLiteral("ActivateConnection"), path, QDBusObjectPath(modem),
              QDBusObjectPath(kRootPath));
  }
}

QString WifiManager::getIp4Address() {
  for (const QDBusObjectPath &active : getActiveConnections()) {
    const QString type = call<QString>(active.path(), NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("Get"),
                                       NM_DBUS_INTERFACE_ACTIVE_CONNECTION, QStringLiteral("Type"));
    if (type != kWifiType) {
      continue;
    }
    const QDBusObjectPath config =
        call<QDBusObjectPath>(active.path(), NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("Get"),
                              NM_DBUS_INTERFACE_ACTIVE_CONNECTION, QStringLiteral("Ip4Config"));
    const QDBusArgument value = call<QDBusArgument>(config.path(), NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("Get"),
                                                    NM_DBUS_INTERFACE_IP4_CONFIG, QStringLiteral("AddressData"));
    const auto addresses = readArray<IpConfig>(value, QStringLiteral("aa{sv}"));
    if (!addresses.isEmpty()) {
      return addresses.first().value(QStringLiteral("address")).toString();
    }
  }
  return {};
}
