#pragma once

#include <QString>

// NetworkManager's D-Bus interface as this system uses it: the service's names, the numbers
// its properties and signals carry, and the names inside the profiles the system writes.
// The client, the simulator and the tests all take them from here.

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

namespace NM {

// A device's "DeviceType".
enum class DeviceType : unsigned int {
  Unknown = 0,
  Ethernet = 1,
  Wifi = 2,
  Modem = 8,
  Loopback = 32,
};

// A device's "State", and the first two arguments of its "StateChanged".
enum class DeviceState : unsigned int {
  Unknown = 0,
  Unmanaged = 10,
  Unavailable = 20,
  Disconnected = 30,
  Prepare = 40,
  Config = 50,
  NeedAuth = 60,
  IpConfig = 70,
  IpCheck = 80,
  Secondaries = 90,
  Activated = 100,
  Deactivating = 110,
  Failed = 120,
};

// Why a device changed state: the third argument of "StateChanged". A join that fails ends in
// "failed" with its reason (out of range: 53 about 27 s after the start; no DHCP answer: 5 after
// 45 s; a refused key: 60/8 first, then 7), or in "unavailable" with 10 when the supplicant goes.
enum class Reason : unsigned int {
  None = 0,
  Unknown = 1,
  NowUnmanaged = 3,
  ConfigFailed = 4,
  IpConfigUnavailable = 5,
  IpConfigExpired = 6,
  NoSecrets = 7,
  SupplicantDisconnect = 8,
  SupplicantFailed = 10,
  SupplicantTimeout = 11,
  DhcpStartFailed = 15,
  DhcpError = 16,
  DhcpFailed = 17,
  Removed = 36,
  ConnectionRemoved = 38,
  UserRequested = 39,
  SsidNotFound = 53,
  NewActivation = 60,
};

// An active connection's "State".
enum class ActiveState : unsigned int {
  Unknown = 0,
  Activating = 1,
  Activated = 2,
  Deactivating = 3,
  Deactivated = 4,
};

// Bits of an access point's "Flags".
namespace ApFlag {
enum : unsigned int {
  None = 0x0,
  Privacy = 0x1,
  Wps = 0x2,
};
}

// Bits of an access point's "WpaFlags" and "RsnFlags".
namespace ApSecurity {
enum : unsigned int {
  None = 0x0,
  PairWep40 = 0x1,
  PairWep104 = 0x2,
  PairTkip = 0x4,
  PairCcmp = 0x8,
  GroupWep40 = 0x10,
  GroupWep104 = 0x20,
  GroupTkip = 0x40,
  GroupCcmp = 0x80,
  KeyMgmtPsk = 0x100,
  KeyMgmt8021X = 0x200,
};
}

// The three flag properties of an access point together.
struct AccessPointSecurity {
  unsigned int flags, wpa_flags, rsn_flags;
};

// What access points of the usual kinds advertise.
namespace Security {
constexpr AccessPointSecurity Open{ApFlag::None, ApSecurity::None, ApSecurity::None};
constexpr AccessPointSecurity Wep{ApFlag::Privacy, ApSecurity::None, ApSecurity::None};
constexpr AccessPointSecurity WpaPsk{
    ApFlag::Privacy, ApSecurity::PairTkip | ApSecurity::GroupTkip | ApSecurity::KeyMgmtPsk, ApSecurity::None};
constexpr AccessPointSecurity Wpa2Psk{ApFlag::Privacy, ApSecurity::None,
                                      ApSecurity::PairCcmp | ApSecurity::GroupCcmp | ApSecurity::KeyMgmtPsk};
// 802.1X key management only, as a WPA2-Enterprise network advertises it.
constexpr AccessPointSecurity Enterprise{ApFlag::Privacy, ApSecurity::None,
                                         ApSecurity::PairCcmp | ApSecurity::GroupCcmp | ApSecurity::KeyMgmt8021X};
}  // namespace Security

// Names of the errors the daemon answers with, where the client tells them apart.
namespace Error {
// AddConnection or Update with a setting the daemon will not take; the message starts with
// the setting's "section.key".
inline const QString InvalidProperty =
    QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection.InvalidProperty");
inline const QString SettingNotFound =
    QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection.SettingNotFound");
inline const QString NoSecrets = QStringLiteral("org.freedesktop.NetworkManager.AgentManager.NoSecrets");
}  // namespace Error

// Property names.
namespace Property {
inline const QString DeviceType = QStringLiteral("DeviceType");
inline const QString State = QStringLiteral("State");
inline const QString ActiveAccessPoint = QStringLiteral("ActiveAccessPoint");
inline const QString LastScan = QStringLiteral("LastScan");
inline const QString Ssid = QStringLiteral("Ssid");
inline const QString Strength = QStringLiteral("Strength");
inline const QString Flags = QStringLiteral("Flags");
inline const QString WpaFlags = QStringLiteral("WpaFlags");
inline const QString RsnFlags = QStringLiteral("RsnFlags");
inline const QString ActiveConnections = QStringLiteral("ActiveConnections");
inline const QString SpecificObject = QStringLiteral("SpecificObject");
inline const QString Type = QStringLiteral("Type");
inline const QString Ip4Config = QStringLiteral("Ip4Config");
inline const QString AddressData = QStringLiteral("AddressData");
}  // namespace Property

// Setting (section) names of a connection profile; the Wi-Fi section's name is also the
// "type" of a Wi-Fi profile.
namespace Section {
inline const QString Connection = QStringLiteral("connection");
inline const QString Wireless = QStringLiteral("802-11-wireless");
inline const QString WirelessSecurity = QStringLiteral("802-11-wireless-security");
inline const QString Ipv4 = QStringLiteral("ipv4");
inline const QString Ipv6 = QStringLiteral("ipv6");
inline const QString Gsm = QStringLiteral("gsm");
}  // namespace Section

// Keys inside the sections.
namespace Key {
inline const QString Type = QStringLiteral("type");
inline const QString Uuid = QStringLiteral("uuid");
inline const QString Id = QStringLiteral("id");
inline const QString InterfaceName = QStringLiteral("interface-name");
inline const QString Autoconnect = QStringLiteral("autoconnect");
inline const QString AutoconnectRetries = QStringLiteral("autoconnect-retries");
inline const QString Metered = QStringLiteral("metered");
inline const QString Ssid = QStringLiteral("ssid");
inline const QString Hidden = QStringLiteral("hidden");
inline const QString Mode = QStringLiteral("mode");
inline const QString Band = QStringLiteral("band");
inline const QString KeyMgmt = QStringLiteral("key-mgmt");
inline const QString AuthAlg = QStringLiteral("auth-alg");
inline const QString Psk = QStringLiteral("psk");
inline const QString Proto = QStringLiteral("proto");
inline const QString Pairwise = QStringLiteral("pairwise");
inline const QString Group = QStringLiteral("group");
inline const QString Method = QStringLiteral("method");
inline const QString DnsPriority = QStringLiteral("dns-priority");
inline const QString AddressData = QStringLiteral("address-data");
inline const QString Address = QStringLiteral("address");  // in an address-data entry
inline const QString Prefix = QStringLiteral("prefix");    // in an address-data entry
inline const QString Gateway = QStringLiteral("gateway");
inline const QString RouteMetric = QStringLiteral("route-metric");
inline const QString AutoConfig = QStringLiteral("auto-config");
inline const QString Apn = QStringLiteral("apn");
inline const QString HomeOnly = QStringLiteral("home-only");
inline const QString Username = QStringLiteral("username");
inline const QString Password = QStringLiteral("password");
}  // namespace Key

}  // namespace NM
