#include "ui/qt/network/wifi_manager.h"

#include <cstdlib>
#include <string_view>
#include <tuple>
#include <utility>

#include <QDebug>
#include <QUuid>

#include "common/swaglog.h"
#include "ui/qt/util.h"

namespace {

// The security flags a network this system can join may advertise: WEP ciphers or a pre-shared key.
constexpr unsigned int kSupportsWpa = NM::ApSecurity::PairWep40 | NM::ApSecurity::PairWep104 |
                                      NM::ApSecurity::GroupWep40 | NM::ApSecurity::GroupWep104 |
                                      NM::ApSecurity::KeyMgmtPsk;

constexpr int kScanIntervalMs = 5000;
constexpr int kForwardingOffDelayMs = 5000;

namespace Key = NM::Key;
namespace Section = NM::Section;

// A Wi-Fi profile's "type" is the name of its Wi-Fi section.
const QString &kWifiType = Section::Wireless;
const QString kRootPath = QStringLiteral("/");

QString connectionType(const Connection &settings) {
  return settings.value(Section::Connection).value(Key::Type).toString();
}

QString connectionSsid(const Connection &settings) {
  return ssidText(settings.value(Section::Wireless).value(Key::Ssid).toByteArray());
}

QString newUuid() {
  return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QDBusObjectPath objectPath(const QString &path) {
  return QDBusObjectPath(path.isEmpty() ? kRootPath : path);
}

// A join ends unjoined when the daemon fails it, or when the device can no longer be used: the
// supplicant going away takes it to "unavailable" (reason 10) without passing "failed".
bool endsAttempt(NM::DeviceState state) {
  return state == NM::DeviceState::Failed || state == NM::DeviceState::Unavailable ||
         state == NM::DeviceState::Unmanaged;
}

}  // namespace

// The bytes up to the first zero byte, decoded as UTF-8.
QString ssidText(const QByteArray &ssid) {
  const int end = ssid.indexOf('\0');
  return QString::fromUtf8(end < 0 ? ssid : ssid.left(end));
}

bool compare_by_strength(const Network &a, const Network &b) {
  // Bytes compare as unsigned; a proper prefix sorts first.
  const auto bytes = [](const QByteArray &ssid) { return std::string_view(ssid.constData(), ssid.size()); };
  return std::make_tuple(a.connected, strengthLevel(a.strength), bytes(b.ssid)) >
         std::make_tuple(b.connected, strengthLevel(b.strength), bytes(a.ssid));
}

WifiManager::WifiManager(QObject *parent) : QObject(parent) {
  nm::registerTypes();

  tethering_ssid = QStringLiteral("vireda");
  if (const std::optional<QString> dongle_id = getDongleId()) {
    tethering_ssid += QStringLiteral("-") + dongle_id->left(4);
  }

  QObject::connect(&nm_signals, &NmSignals::stateChanged, this, &WifiManager::stateChange);
  QObject::connect(&nm_signals, &NmSignals::propertiesChanged, this, &WifiManager::propertyChange);
  QObject::connect(&nm_signals, &NmSignals::deviceAdded, this, &WifiManager::deviceAdded);
  QObject::connect(&nm_signals, &NmSignals::connectionRemoved, this, &WifiManager::connectionRemoved);
  QObject::connect(&nm_signals, &NmSignals::newConnection, this, &WifiManager::newConnection);

  adapter = getAdapter(NM::DeviceType::Wifi);
  if (!adapter.isEmpty()) {
    setup();
  } else {
    nm_signals.watchDeviceAdded();
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
    nm::requestScan(adapter);
  }
}

QString WifiManager::getAdapter(NM::DeviceType adapter_type) {
  for (const QDBusObjectPath &device : nm::devices()) {
    if (getAdapterType(device) == adapter_type) {
      return device.path();
    }
  }
  return {};
}

NM::DeviceType WifiManager::getAdapterType(const QDBusObjectPath &path) {
  return nm::deviceType(path);
}

void WifiManager::setup() {
  nm_signals.watchDevice(adapter);
  nm_signals.watchSavedConnections();
  activeAp = nm::activeAccessPoint(adapter);
  requestScan();
}

void WifiManager::deviceAdded(const QDBusObjectPath &path) {
  if (getAdapterType(path) == NM::DeviceType::Wifi && emptyPath(adapter)) {
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
  if (props.contains(NM::Property::LastScan)) {
    refreshNetworks();
  } else if (props.contains(NM::Property::ActiveAccessPoint)) {
    activeAp = props.value(NM::Property::ActiveAccessPoint).value<QDBusObjectPath>().path();
  }
}

void WifiManager::refreshNetworks() {
  if (adapter.isEmpty() || !timer.isActive()) {
    return;
  }
  auto *watcher = new QDBusPendingCallWatcher(nm::getAllAccessPoints(adapter));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this, &WifiManager::refreshFinished);
}

void WifiManager::refreshFinished(QDBusPendingCallWatcher *watcher) {
  ipv4_address = getIp4Address();
  seenNetworks.clear();

  const std::optional<QList<QDBusObjectPath>> paths = nm::accessPoints(*watcher);
  if (!paths) {
    qCritical() << "Failed to refresh";
    watcher->deleteLater();
    return;
  }

  const QVector<std::optional<QVariantMap>> all_properties = nm::accessPointProperties(*paths);
  for (int i = 0; i < paths->size(); ++i) {
    const QDBusObjectPath &path = paths->at(i);
    if (!all_properties[i]) {
      qCritical() << "Failed to retrieve properties for path:" << path.path();
      continue;
    }
    const QVariantMap &properties = *all_properties[i];
    const QByteArray ssid = properties.value(NM::Property::Ssid).toByteArray();
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
    network->strength = std::max(network->strength, properties.value(NM::Property::Strength).toUInt());
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
  const unsigned int sflag = properties.value(NM::Property::Flags).toUInt();
  const unsigned int wpaflag = properties.value(NM::Property::WpaFlags).toUInt();
  const unsigned int rsnflag = properties.value(NM::Property::RsnFlags).toUInt();
  const unsigned int wpa_props = wpaflag | rsnflag;

  if (sflag == 0) {
    return SecurityType::OPEN;
  }
  if ((sflag & NM::ApFlag::Wps) && !(wpa_props & kSupportsWpa)) {
    return SecurityType::OPEN;
  }
  if (!(wpa_props & NM::ApSecurity::KeyMgmt8021X) && (sflag & NM::ApFlag::Privacy) && (wpa_props & kSupportsWpa)) {
    return SecurityType::WPA;
  }
  LOGW("Unsupported network! sflag: %d, wpaflag: %d, rsnflag: %d", sflag, wpaflag, rsnflag);
  return SecurityType::UNSUPPORTED;
}

QByteArray WifiManager::get_property(const QString &network_path, const QString &property) {
  return nm::property<QByteArray>(network_path, NM_DBUS_INTERFACE_ACCESS_POINT, property);
}

// Saved connections

void WifiManager::initConnections() {
  for (const QDBusObjectPath &path : nm::listConnections()) {
    const Connection settings = getConnectionSettings(path);
    if (connectionType(settings) == kWifiType) {
      knownConnections[path] = connectionSsid(settings);
    } else if (settings.value(Section::Connection).value(Key::Id).toString() == QStringLiteral("lte")) {
      lteConnectionPath = path;
    }
  }
}

Connection WifiManager::getConnectionSettings(const QDBusObjectPath &path) {
  return nm::settings(path);
}

void WifiManager::newConnection(const QDBusObjectPath &path) {
  const Connection settings = getConnectionSettings(path);
  if (settings.isEmpty()) {
    // A busy daemon can miss the bound; dropping the read would leave the network just saved
    // never activated and without its Forget button, so it is asked again without blocking.
    readSettingsLater(path);
    return;
  }
  addKnownConnection(path, settings);
}

void WifiManager::readSettingsLater(const QDBusObjectPath &path) {
  auto *watcher = new QDBusPendingCallWatcher(nm::settingsAsync(path), this);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, path](QDBusPendingCallWatcher *read) {
    const std::optional<Connection> settings = nm::settings(*read);
    if (settings) {
      addKnownConnection(path, *settings);
    }
    read->deleteLater();
  });
}

void WifiManager::addKnownConnection(const QDBusObjectPath &path, const Connection &settings) {
  if (connectionType(settings) != kWifiType) {
    return;
  }
  const QString ssid = connectionSsid(settings);
  knownConnections[path] = ssid;
  if (ssid != tethering_ssid) {
    activateWifiConnection(ssid);
  } else if (std::exchange(hotspot_awaits_profile, false)) {
    activateHotspot();
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

// The user's Forget also ends a join of the network in progress: the daemon drops it without a
// failure (110/38), and a later failure would otherwise be told under its name.
void WifiManager::forgetConnection(const QString &ssid) {
  if (!connecting_to_network.isEmpty() && ssid == connecting_to_network) {
    dropAttempt(ssid);
  }
  deleteSavedConnection(ssid);
}

void WifiManager::deleteSavedConnection(const QString &ssid) {
  const QDBusObjectPath path = getConnectionPath(ssid);
  if (!path.path().isEmpty()) {
    nm::deleteConnection(path);
  }
}

void WifiManager::setCurrentConnecting(const QString &ssid) {
  if (ssid != connecting_to_network) {
    attempt_key_refused = false;
  }
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
  return nm::activateConnection(path, objectPath(adapter));
}

void WifiManager::connect(const Network &n, bool is_hidden, const QString &password, const QString &username) {
  Q_UNUSED(username);
  const QString ssid = ssidText(n.ssid);
  // A new key is a new attempt, even on the network whose key was just refused.
  attempt_key_refused = false;
  setCurrentConnecting(ssid);
  deleteSavedConnection(ssid);

  Connection connection;
  connection[Section::Connection][Key::Type] = kWifiType;
  connection[Section::Connection][Key::Uuid] = newUuid();
  connection[Section::Connection][Key::Id] = QStringLiteral("halcyra connection ") + QString::fromUtf8(n.ssid);
  connection[Section::Connection][Key::AutoconnectRetries] = 0;

  connection[Section::Wireless][Key::Ssid] = n.ssid;
  connection[Section::Wireless][Key::Hidden] = is_hidden;
  connection[Section::Wireless][Key::Mode] = QStringLiteral("infrastructure");

  if (n.security_type == SecurityType::WPA) {
    connection[Section::WirelessSecurity][Key::KeyMgmt] = QStringLiteral("wpa-psk");
    connection[Section::WirelessSecurity][Key::AuthAlg] = QStringLiteral("open");
    connection[Section::WirelessSecurity][Key::Psk] = password;
  }

  connection[Section::Ipv4][Key::Method] = QStringLiteral("auto");
  connection[Section::Ipv4][Key::DnsPriority] = 600;
  connection[Section::Ipv6][Key::Method] = QStringLiteral("ignore");

  const nm::AddedConnection added = nm::addConnection(connection);
  // A time-out proves nothing (the daemon may still save it); a refusal ends the attempt.
  if (!added.refused_setting.isEmpty()) {
    endRefusedAttempt(ssid, added.refused_setting == Section::WirelessSecurity + QLatin1Char('.') + Key::Psk);
  }
}

// Nothing was saved, so nothing will activate: the row must not stay on "CONNECTING...". A
// refused key is reported like a wrong one, from the event loop as the daemon's report would
// come, so the user is asked again.
void WifiManager::endRefusedAttempt(const QString &ssid, bool key_refused) {
  dropAttempt(ssid);
  if (key_refused) {
    QTimer::singleShot(0, this, [this, ssid] { emit wrongPassword(ssid); });
  }
}

void WifiManager::stateChange(unsigned int new_state, unsigned int previous_state, unsigned int change_reason) {
  Q_UNUSED(previous_state);
  const auto state = NM::DeviceState(new_state);
  const auto reason = NM::Reason(change_reason);
  if (state == NM::DeviceState::NeedAuth && reason == NM::Reason::SupplicantDisconnect) {
    if (!connecting_to_network.isEmpty()) {
      attempt_key_refused = true;
      deleteSavedConnection(connecting_to_network);
      emit wrongPassword(connecting_to_network);
    }
  } else if (state == NM::DeviceState::Activated) {
    connecting_to_network.clear();
    refreshNetworks();
  } else if (endsAttempt(state)) {
    endFailedAttempt(reason);
  }
}

// Only the user's own joins are reported: the daemon's own attempts (none in progress here) fail
// and retry by themselves, and the hotspot's failures are the advanced page's to show. A wrong key
// (reported as such, and failing with no secrets after it) has its own question.
void WifiManager::endFailedAttempt(NM::Reason reason) {
  if (connecting_to_network.isEmpty() || connecting_to_network == tethering_ssid || attempt_key_refused ||
      reason == NM::Reason::NoSecrets) {
    return;
  }
  const QString ssid = connecting_to_network;
  dropAttempt(ssid);
  emit connectionFailed(ssid, uint(reason));
}

// The attempt is over unjoined: its row stops showing it at once.
void WifiManager::dropAttempt(const QString &ssid) {
  connecting_to_network.clear();
  const auto network = seenNetworks.find(ssid);
  if (network != seenNetworks.end()) {
    network->connected = ConnectedType::DISCONNECTED;
  }
  emit refreshSignal();
  refreshNetworks();
}

QVector<QDBusObjectPath> WifiManager::getActiveConnections() {
  return nm::activeConnections();
}

void WifiManager::deactivateConnection(const QDBusObjectPath &path) {
  nm::deactivateConnection(path);
}

void WifiManager::deactivateConnectionBySsid(const QString &ssid) {
  for (const QDBusObjectPath &active : getActiveConnections()) {
    const QDBusObjectPath access_point = nm::specificObject(active);
    if (emptyPath(access_point.path())) {
      continue;
    }
    if (ssidText(get_property(access_point.path(), NM::Property::Ssid)) == ssid) {
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
  return ssidText(get_property(activeAp, NM::Property::Ssid)) == tethering_ssid;
}

void WifiManager::setTetheringEnabled(bool enabled) {
  if (!enabled) {
    hotspot_awaits_profile = false;
    deactivateConnectionBySsid(tethering_ssid);
    return;
  }
  if (!isKnownConnection(tethering_ssid)) {
    addTetheringConnection();
  }
  // A busy daemon may save the new profile after the bound: it is started once announced.
  hotspot_awaits_profile = !activateHotspot();
}

bool WifiManager::activateHotspot() {
  const std::optional<QDBusPendingCall> pending = activateWifiConnection(tethering_ssid);
  if (!pending) {
    return false;
  }
  auto *watcher = new QDBusPendingCallWatcher(*pending);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this, &WifiManager::tetheringActivated);
  return true;
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
  connection[Section::Connection][Key::Id] = QStringLiteral("Hotspot");
  connection[Section::Connection][Key::Uuid] = newUuid();
  connection[Section::Connection][Key::Type] = kWifiType;
  connection[Section::Connection][Key::InterfaceName] = QStringLiteral("wlan0");
  connection[Section::Connection][Key::Autoconnect] = false;

  connection[Section::Wireless][Key::Band] = QStringLiteral("bg");
  connection[Section::Wireless][Key::Mode] = QStringLiteral("ap");
  connection[Section::Wireless][Key::Ssid] = tethering_ssid.toUtf8();

  connection[Section::WirelessSecurity][Key::Group] = QStringList{QStringLiteral("ccmp")};
  connection[Section::WirelessSecurity][Key::KeyMgmt] = QStringLiteral("wpa-psk");
  connection[Section::WirelessSecurity][Key::Pairwise] = QStringList{QStringLiteral("ccmp")};
  connection[Section::WirelessSecurity][Key::Proto] = QStringList{QStringLiteral("rsn")};
  connection[Section::WirelessSecurity][Key::Psk] = defaultTetheringPassword;

  const QString address = QStringLiteral("192.168.43.1");
  const IpConfig address_data{{{Key::Address, address}, {Key::Prefix, 24u}}};
  connection[Section::Ipv4][Key::Method] = QStringLiteral("shared");
  connection[Section::Ipv4][Key::AddressData] = QVariant::fromValue(address_data);
  connection[Section::Ipv4][Key::Gateway] = address;
  connection[Section::Ipv4][Key::RouteMetric] = 1100;
  connection[Section::Ipv6][Key::Method] = QStringLiteral("ignore");

  // The path is read at once, so the caller can use the connection before NewConnection comes.
  const QDBusObjectPath path = nm::addConnection(connection).path;
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
  const Connection secrets = nm::secrets(path, Section::WirelessSecurity);
  return secrets.value(Section::WirelessSecurity).value(Key::Psk).toString();
}

void WifiManager::changeTetheringPassword(const QString &newPassword) {
  const QDBusObjectPath path = getConnectionPath(tethering_ssid);
  if (path.path().isEmpty()) {
    return;
  }
  Connection settings = getConnectionSettings(path);
  settings[Section::WirelessSecurity][Key::Psk] = newPassword;
  nm::update(path, settings);
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
  QVariantMap &gsm = settings[Section::Gsm];
  QVariantMap &connection = settings[Section::Connection];
  bool changed = false;

  const bool auto_config = apn.isEmpty();
  if (gsm.value(Key::AutoConfig).toBool() != auto_config && (!auto_config || gsmAutoConfigKept(gsm))) {
    qWarning() << "Changing gsm.auto-config to" << auto_config;
    gsm[Key::AutoConfig] = auto_config;
    changed = true;
  }

  // NetworkManager drops auto-config whenever an "apn" key is present, even an empty one,
  // so automatic means no key at all.
  const bool apn_differs = auto_config ? gsm.contains(Key::Apn) : gsm.value(Key::Apn).toString() != apn;
  if (apn_differs) {
    qWarning() << "Changing gsm.apn to" << apn;
    if (auto_config) {
      gsm.remove(Key::Apn);
    } else {
      gsm[Key::Apn] = apn;
    }
    changed = true;
  }

  const bool home_only = !roaming;
  if (gsm.value(Key::HomeOnly).toBool() != home_only) {
    qWarning() << "Changing gsm.home-only to" << home_only;
    gsm[Key::HomeOnly] = home_only;
    changed = true;
  }

  const int metered_value = metered ? 0 : 2;
  if (connection.value(Key::Metered).toInt() != metered_value) {
    qWarning() << "Changing connection.metered to" << metered_value;
    connection[Key::Metered] = metered_value;
    changed = true;
  }

  if (changed) {
    nm::updateUnsaved(lteConnectionPath, settings);
    deactivateConnection(lteConnectionPath);
    activateModemConnection(lteConnectionPath);
  }
}

// NetworkManager drops "auto-config" from a profile with a user name or a password;
// asking for it there would count as a change, and restart the link, at every call. The
// user name shows in the settings; the password is a secret, read only when it decides.
bool WifiManager::gsmAutoConfigKept(const QVariantMap &gsm) const {
  return !gsm.contains(Key::Username) && !nm::storedSecrets(lteConnectionPath, Section::Gsm).contains(Key::Password);
}

void WifiManager::activateModemConnection(const QDBusObjectPath &path) {
  const QString modem = getAdapter(NM::DeviceType::Modem);
  if (!modem.isEmpty()) {
    nm::activateConnection(path, QDBusObjectPath(modem));
  }
}

QString WifiManager::getIp4Address() {
  for (const QDBusObjectPath &active : getActiveConnections()) {
    if (nm::activeConnectionType(active) != kWifiType) {
      continue;
    }
    const IpConfig addresses = nm::addressData(nm::ip4Config(active));
    if (!addresses.isEmpty()) {
      return addresses.first().value(Key::Address).toString();
    }
  }
  return {};
}
