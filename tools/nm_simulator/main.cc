// nm_simulator: a stand-in for NetworkManager on a (private) system bus.
//
// It owns "org.freedesktop.NetworkManager" and serves, from memory, the methods,
// properties and signals the Wi-Fi client uses, behaving as the real daemon does:
// AddConnection answers a bare object path and then emits NewConnection; GetSettings
// leaves secrets out; GetSecrets(section) answers every section with only that one's
// secrets, SettingNotFound without the section, NoSecrets when it holds none; Update keeps secrets it is not given;
// Delete emits Removed and ConnectionRemoved; a gsm profile with an "apn", "username" or "password" loses
// "auto-config"; a hotspot's "route-metric" reads back as int64. There is always a loopback device "lo" with an active
// "lo" connection, as with the daemon.
//
// Usage:
//   nm_simulator [--networks FILE] [--no-wifi] [--modem] [--scan-delay MS] [--dhcp-delay MS]
//     --networks FILE   access points to start with (JSON, below)
//     --no-wifi         start without a Wi-Fi device (add one later with AddDevice)
//     --modem           add a modem device "cdc-wdm0" (device type 8)
//     --scan-delay MS   time from RequestScan to the LastScan change; -1: only FinishScan
//                       ends a scan (default 500)
//     --dhcp-delay MS   time an activation waits for its address in state 70, its IPv4
//                       configuration "/" meanwhile, as the daemon's DHCP does (default 0)
// It prints "nm_simulator: ready" on standard output once it owns its bus names, and
// exits on SIGTERM or SIGINT.
//
// Networks file (tools/nm_simulator/sample_networks.json is one): a JSON array of
// objects, each one access point:
//   {"ssid": "Cafe", "strength": 70, "security": "wpa2", "password": "latte-art"}
//   "ssid" (UTF-8 text) or "ssid_hex" (any bytes; "" is a hidden network);
//   "strength" 0-100; "security" one of open, wpa, wpa2, enterprise, wep (default open),
//   or the raw "flags", "wpa_flags", "rsn_flags"; "password": the key the network accepts;
//   "hidden": true for a network that does not broadcast its name (its access point shows
//   an empty SSID; a hidden profile with that name finds it).
//
// Control interface: bus name "org.halcyra.NmSimulator", object "/org/halcyra/NmSimulator",
// interface "org.halcyra.NmSimulator":
//   AddAccessPoint(ay ssid, u strength, u flags, u wpa_flags, u rsn_flags, s password) -> o
//   RemoveAccessPoint(o) -> b
//   AddDevice(u device_type, s interface) -> o        emits DeviceAdded
//   AddActiveConnection(s type, s ipv4_address) -> o  an active connection without access point
//   FinishScan()                                      LastScan changes on every Wi-Fi device
//   SetScanDelay(i ms)
//   TakeAway(s ssid) -> i       the network's access points leave the air: still listed until two
//                               scans have missed them, a join fails as out of range (120/53);
//                               answers how many
//   BringBack(s ssid) -> i      back on the air (as new objects if scans had dropped them)
//   WithholdAddress(s ssid, b withhold) -> i   the network's DHCP stops (or starts again)
//                               answering: a join passes 70 and fails with 120/5
//   SetFault(s name, s fault)   name: a method, or a property read with Get; fault: "stall"
//                               (never answered), "error", "wrongtype" (a reply of another
//                               type), or "" to clear
//   Stall(s method, i ms)       from the next call of `method` on, nothing is answered for
//                               `ms`; then every call held meanwhile is answered in order
//   SetActiveAccessPoint(o)     on the first Wi-Fi device, with its PropertiesChanged
//   SetDeviceState(u state, u reason)                  of the first Wi-Fi device, with its
//                                                      StateChanged and PropertiesChanged
//   EmitPropertiesChanged(s interface, a{sv} props)    on the first Wi-Fi device
//   Calls() -> as               every NetworkManager call received, "Member path args",
//                               secrets shown as "<hidden>"
//   ClearCalls()
//   Sync()                      answered once everything sent before it has been handled
// Activating a Wi-Fi profile finds the strongest named access point of its SSID and makes it
// active while preparing; a secured profile passes state 60 with reason 0 on the way, as the
// daemon's do. A wrong or missing key then gives 60/8, lets the access point go, 120/7 and
// 30/0; an access point taken away gives 120/53, one withholding addresses 70 then 120/5 (each
// then lets the access point go and ends in 30/0); else the device goes through to state 100.
// A hidden profile first makes a placeholder access point (its SSID, no address, strength 0)
// active; the hidden network it finds then joins the list under its name, beside the nameless
// entry, and takes over. A key the daemon would refuse (not 8 to 63 characters or 64 hex
// digits) fails AddConnection with InvalidProperty. An "ap" mode profile (the hotspot) drops the scanned access points
// and lists its own (strength 0) as the active one; the scanned ones come back as new objects
// before it is up. Deleting or
// deactivating an active profile passes state 110 on the way to 30.

#include <csignal>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTextStream>

#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tools/nm_simulator/control.h"
#include "tools/nm_simulator/simulator.h"

namespace {

const QString kControlService = QStringLiteral("org.halcyra.NmSimulator");
const QString kControlPath = QStringLiteral("/org/halcyra/NmSimulator");

const QMap<QString, NM::AccessPointSecurity> kSecurityPresets = {
    {QStringLiteral("open"), NM::Security::Open},    {QStringLiteral("wpa"), NM::Security::WpaPsk},
    {QStringLiteral("wpa2"), NM::Security::Wpa2Psk}, {QStringLiteral("enterprise"), NM::Security::Enterprise},
    {QStringLiteral("wep"), NM::Security::Wep},
};

bool readAccessPoint(const QJsonObject &entry, SimAccessPoint *ap) {
  const QString security = entry.value(QStringLiteral("security")).toString(QStringLiteral("open"));
  if (!kSecurityPresets.contains(security)) {
    return false;
  }
  const NM::AccessPointSecurity preset = kSecurityPresets.value(security);
  ap->ssid = entry.contains(QStringLiteral("ssid_hex"))
                 ? QByteArray::fromHex(entry.value(QStringLiteral("ssid_hex")).toString().toLatin1())
                 : entry.value(QStringLiteral("ssid")).toString().toUtf8();
  ap->strength = static_cast<unsigned char>(qBound(0, entry.value(QStringLiteral("strength")).toInt(50), 100));
  ap->flags = entry.value(QStringLiteral("flags")).toVariant().toUInt();
  ap->flags = entry.contains(QStringLiteral("flags")) ? ap->flags : preset.flags;
  ap->wpaFlags = entry.contains(QStringLiteral("wpa_flags"))
                     ? entry.value(QStringLiteral("wpa_flags")).toVariant().toUInt()
                     : preset.wpa_flags;
  ap->rsnFlags = entry.contains(QStringLiteral("rsn_flags"))
                     ? entry.value(QStringLiteral("rsn_flags")).toVariant().toUInt()
                     : preset.rsn_flags;
  ap->password = entry.value(QStringLiteral("password")).toString();
  ap->hidden = entry.value(QStringLiteral("hidden")).toBool();
  return true;
}

bool loadNetworks(const QString &file_name, NetworkManagerSimulator *simulator) {
  QFile file(file_name);
  if (!file.open(QIODevice::ReadOnly)) {
    return false;
  }
  const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
  if (!doc.isArray()) {
    return false;
  }
  for (const QJsonValue &value : doc.array()) {
    SimAccessPoint ap;
    if (!readAccessPoint(value.toObject(), &ap)) {
      return false;
    }
    simulator->addAccessPoint(ap);
  }
  return true;
}

// SIGTERM/SIGINT end the event loop through a socket pair.
int signal_fds[2];

void onSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(signal_fds[0], &byte, 1);
}

}  // namespace

int main(int argc, char *argv[]) {
  // A test or script that dies without stopping us must not leave us serving.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  QCoreApplication app(argc, argv);
  QTextStream err(stderr);

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("NetworkManager simulator on the system bus"));
  parser.addHelpOption();
  const QCommandLineOption networks_option(QStringLiteral("networks"), QStringLiteral("Access points (JSON)."),
                                           QStringLiteral("file"));
  const QCommandLineOption no_wifi_option(QStringLiteral("no-wifi"), QStringLiteral("Start without a Wi-Fi device."));
  const QCommandLineOption modem_option(QStringLiteral("modem"), QStringLiteral("Add a modem device."));
  const QCommandLineOption scan_delay_option(QStringLiteral("scan-delay"),
                                             QStringLiteral("Milliseconds until a scan ends; -1: manual."),
                                             QStringLiteral("ms"), QStringLiteral("500"));
  const QCommandLineOption dhcp_delay_option(QStringLiteral("dhcp-delay"),
                                             QStringLiteral("Milliseconds an activation waits for its address."),
                                             QStringLiteral("ms"), QStringLiteral("0"));
  parser.addOptions({networks_option, no_wifi_option, modem_option, scan_delay_option, dhcp_delay_option});
  parser.process(app);

  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) {
    err << "nm_simulator: no system bus: " << bus.lastError().message() << "\n";
    return 1;
  }

  NetworkManagerSimulator simulator(bus);
  simulator.setScanDelay(parser.value(scan_delay_option).toInt());
  simulator.setDhcpDelay(parser.value(dhcp_delay_option).toInt());
  if (!parser.isSet(no_wifi_option)) {
    simulator.addDevice(NM::DeviceType::Wifi, QStringLiteral("wlan0"));
  }
  if (parser.isSet(modem_option)) {
    simulator.addDevice(NM::DeviceType::Modem, QStringLiteral("cdc-wdm0"));
  }
  if (parser.isSet(networks_option) && !loadNetworks(parser.value(networks_option), &simulator)) {
    err << "nm_simulator: cannot read networks from " << parser.value(networks_option) << "\n";
    return 1;
  }

  SimulatorControl control(&simulator);
  if (!bus.registerVirtualObject(NM_DBUS_PATH, &simulator, QDBusConnection::SubPath) ||
      !bus.registerObject(kControlPath, &control, QDBusConnection::ExportAllSlots) ||
      !bus.registerService(NM_DBUS_SERVICE) || !bus.registerService(kControlService)) {
    err << "nm_simulator: cannot register on the bus: " << bus.lastError().message() << "\n";
    return 1;
  }

  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signal_fds) != 0) {
    return 1;
  }
  QSocketNotifier notifier(signal_fds[1], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
  std::signal(SIGTERM, onSignal);
  std::signal(SIGINT, onSignal);

  QTextStream(stdout) << "nm_simulator: ready" << Qt::endl;
  return app.exec();
}
