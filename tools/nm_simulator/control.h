#pragma once

#include <QByteArray>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class NetworkManagerSimulator;

// The simulator's own D-Bus interface, through which tests and the demo drive it.
class SimulatorControl : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.halcyra.NmSimulator")

public:
  explicit SimulatorControl(NetworkManagerSimulator *simulator, QObject *parent = nullptr);

public slots:
  QDBusObjectPath AddAccessPoint(const QByteArray &ssid, uint strength, uint flags, uint wpa_flags, uint rsn_flags,
                                 const QString &password);
  bool RemoveAccessPoint(const QDBusObjectPath &path);
  QDBusObjectPath AddDevice(uint type, const QString &interface);
  QDBusObjectPath AddActiveConnection(const QString &type, const QString &address);
  void FinishScan();
  void SetScanDelay(int ms);
  int TakeAway(const QString &ssid);
  int BringBack(const QString &ssid);
  int WithholdAddress(const QString &ssid, bool withhold);
  void SetFault(const QString &name, const QString &fault);
  void Stall(const QString &from_method, int ms);
  void SetActiveAccessPoint(const QDBusObjectPath &path);
  void SetDeviceState(uint state, uint reason);
  void EmitPropertiesChanged(const QString &interface, const QVariantMap &props);
  QStringList Calls() const;
  void ClearCalls();
  void Sync() const;

private:
  NetworkManagerSimulator *simulator;
};
