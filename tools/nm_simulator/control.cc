#include "tools/nm_simulator/control.h"

#include "tools/nm_simulator/simulator.h"

SimulatorControl::SimulatorControl(NetworkManagerSimulator *simulator, QObject *parent)
    : QObject(parent), simulator(simulator) {}

QDBusObjectPath SimulatorControl::AddAccessPoint(const QByteArray &ssid, uint strength, uint flags, uint wpa_flags,
                                                 uint rsn_flags, const QString &password) {
  SimAccessPoint ap;
  ap.ssid = ssid;
  ap.strength = static_cast<unsigned char>(qMin(strength, 100u));
  ap.flags = flags;
  ap.wpaFlags = wpa_flags;
  ap.rsnFlags = rsn_flags;
  ap.password = password;
  return QDBusObjectPath(simulator->addAccessPoint(ap));
}

bool SimulatorControl::RemoveAccessPoint(const QDBusObjectPath &path) {
  return simulator->removeAccessPoint(path.path());
}

QDBusObjectPath SimulatorControl::AddDevice(uint type, const QString &interface) {
  return QDBusObjectPath(simulator->addDevice(NM::DeviceType(type), interface));
}

QDBusObjectPath SimulatorControl::AddActiveConnection(const QString &type, const QString &address) {
  return QDBusObjectPath(simulator->addActiveConnection(type, address));
}

void SimulatorControl::FinishScan() {
  simulator->finishScan();
}

void SimulatorControl::SetScanDelay(int ms) {
  simulator->setScanDelay(ms);
}

int SimulatorControl::TakeAway(const QString &ssid) {
  return simulator->takeAway(ssid.toUtf8());
}

int SimulatorControl::BringBack(const QString &ssid) {
  return simulator->bringBack(ssid.toUtf8());
}

int SimulatorControl::WithholdAddress(const QString &ssid, bool withhold) {
  return simulator->withholdAddress(ssid.toUtf8(), withhold);
}

void SimulatorControl::SetFault(const QString &name, const QString &fault) {
  simulator->setFault(name, fault);
}

void SimulatorControl::Stall(const QString &from_method, int ms) {
  simulator->stallFrom(from_method, ms);
}

void SimulatorControl::SetActiveAccessPoint(const QDBusObjectPath &path) {
  simulator->setActiveAccessPoint(path.path());
}

void SimulatorControl::SetDeviceState(uint state, uint reason) {
  simulator->setWifiDeviceState(NM::DeviceState(state), NM::Reason(reason));
}

void SimulatorControl::EmitPropertiesChanged(const QString &interface, const QVariantMap &props) {
  simulator->emitWifiPropertiesChanged(interface, props);
}

QStringList SimulatorControl::Calls() const {
  return simulator->calls();
}

void SimulatorControl::ClearCalls() {
  simulator->clearCalls();
}

// Everything sent before it has been handled by the time it is answered: calls are
// handled in the order they arrive.
void SimulatorControl::Sync() const {}
