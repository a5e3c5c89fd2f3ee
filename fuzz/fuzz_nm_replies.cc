// What NetworkManager sends, malformed or wrongly typed: a stand-in on a private system bus answers
// every call of the manager, mostly as NetworkManager would with details chosen by the input
// (names, SSID bytes, strengths, flags), otherwise with errors, empty replies or values of any
// D-Bus type, and sends it signals with such arguments. The manager
// must come through construction, a refresh, the hotspot and cellular calls, with a table whose
// keys are its networks' SSID texts; and every typed reader of the D-Bus layer must give a value
// or the empty one.
#include <fuzzer/FuzzedDataProvider.h>

#include <atomic>
#include <memory>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutex>
#include <QThread>
#include <QTimer>

#include "fuzz/fuzz_support.h"
#include "ui/qt/network/nm_dbus.h"
#include "ui/qt/network/wifi_manager.h"

namespace {

// Object paths must be well formed to be sent at all; these are the kinds the manager follows.
QDBusObjectPath pathFrom(FuzzedDataProvider &in) {
  static const char *const kinds[] = {"Devices", "AccessPoint", "Settings", "ActiveConnection", "IP4Config"};
  if (in.ConsumeBool()) {
    return QDBusObjectPath(QStringLiteral("/"));
  }
  return QDBusObjectPath(QStringLiteral("/org/freedesktop/NetworkManager/%1/%2")
                             .arg(QLatin1String(in.PickValueInArray(kinds)))
                             .arg(in.ConsumeIntegralInRange<int>(0, 3)));
}

QString textFrom(FuzzedDataProvider &in) {
  return QString::fromStdString(in.ConsumeRandomLengthString(24));
}

QVariant valueFrom(FuzzedDataProvider &in, int depth);

QVariantMap mapFrom(FuzzedDataProvider &in, int depth) {
  QVariantMap map;
  for (int n = in.ConsumeIntegralInRange<int>(0, 4); n > 0; --n) {
    map.insert(textFrom(in), valueFrom(in, depth + 1));
  }
  return map;
}

// One value of a D-Bus type chosen by the input; containers only a few levels deep.
QVariant valueFrom(FuzzedDataProvider &in, int depth) {
  switch (in.ConsumeIntegralInRange<int>(0, depth >= 3 ? 8 : 13)) {
    case 0:
      return in.ConsumeBool();
    case 1:
      return QVariant::fromValue(in.ConsumeIntegral<uchar>());
    case 2:
      return in.ConsumeIntegral<int>();
    case 3:
      return in.ConsumeIntegral<uint>();
    case 4:
      return in.ConsumeIntegral<qlonglong>();
    case 5:
      return in.ConsumeFloatingPoint<double>();
    case 6:
      return textFrom(in);
    case 7:
      return QVariant::fromValue(pathFrom(in));
    case 8:
      return QByteArray::fromStdString(in.ConsumeRandomLengthString(40));
    case 9:
      return QVariant::fromValue(QDBusVariant(valueFrom(in, depth + 1)));
    case 10:
      return mapFrom(in, depth);
    case 11: {
      QList<QDBusObjectPath> paths;
      for (int n = in.ConsumeIntegralInRange<int>(0, 4); n > 0; --n) {
        paths << pathFrom(in);
      }
      return QVariant::fromValue(paths);
    }
    case 12: {
      Connection settings;
      for (int n = in.ConsumeIntegralInRange<int>(0, 3); n > 0; --n) {
        settings.insert(textFrom(in), mapFrom(in, depth + 1));
      }
      return QVariant::fromValue(settings);
    }
    default:
      return QStringList{textFrom(in), textFrom(in)};
  }
}

QList<QDBusObjectPath> pathsFrom(FuzzedDataProvider &in) {
  QList<QDBusObjectPath> paths;
  for (int n = in.ConsumeIntegralInRange<int>(0, 4); n > 0; --n) {
    paths << pathFrom(in);
  }
  return paths;
}

QVariant variant(const QVariant &value) {
  return QVariant::fromValue(QDBusVariant(value));
}

// A saved connection as NetworkManager describes one, its names and secrets from the input.
Connection settingsFrom(FuzzedDataProvider &in) {
  const bool wifi = in.ConsumeBool();
  Connection settings;
  settings[QStringLiteral("connection")] = {
      {QStringLiteral("type"), wifi ? QStringLiteral("802-11-wireless") : QStringLiteral("gsm")},
      {QStringLiteral("id"), textFrom(in)}};
  if (wifi) {
    settings[QStringLiteral("802-11-wireless")] = {
        {QStringLiteral("ssid"), QByteArray::fromStdString(in.ConsumeRandomLengthString(40))}};
    settings[QStringLiteral("802-11-wireless-security")] = {{QStringLiteral("psk"), textFrom(in)}};
  } else {
    settings[QStringLiteral("gsm")] = mapFrom(in, 1);
  }
  return settings;
}

// A property as NetworkManager sends it: of its documented type, with the input's value.
QVariant propertyFrom(const QString &name, FuzzedDataProvider &in) {
  if (name == QLatin1String("DeviceType") || name.endsWith(QLatin1String("Flags"))) {
    return in.ConsumeBool() ? 2u : in.ConsumeIntegral<uint>();
  }
  if (name == QLatin1String("Ssid")) {
    return QByteArray::fromStdString(in.ConsumeRandomLengthString(40));
  }
  if (name == QLatin1String("Strength")) {
    return QVariant::fromValue(in.ConsumeIntegral<uchar>());
  }
  if (name == QLatin1String("ActiveConnections")) {
    return QVariant::fromValue(pathsFrom(in));
  }
  if (name == QLatin1String("Type")) {
    return in.ConsumeBool() ? QStringLiteral("802-11-wireless") : textFrom(in);
  }
  if (name == QLatin1String("AddressData")) {
    IpConfig addresses;
    addresses << QVariantMap{{QStringLiteral("address"), textFrom(in)}, {QStringLiteral("prefix"), 24u}};
    return QVariant::fromValue(addresses);
  }
  return QVariant::fromValue(pathFrom(in));  // ActiveAccessPoint, Ip4Config, SpecificObject...
}

// The reply NetworkManager itself would give, the details chosen by the input.
QVariantList wellFormedReply(const QDBusMessage &call, FuzzedDataProvider &in) {
  const QString member = call.member();
  if (member == QLatin1String("Get")) {
    return {variant(propertyFrom(call.arguments().value(1).toString(), in))};
  }
  if (member == QLatin1String("GetAll")) {
    QVariantMap properties;
    for (const char *name : {"Ssid", "Strength", "Flags", "WpaFlags", "RsnFlags"}) {
      properties.insert(QLatin1String(name), propertyFrom(QLatin1String(name), in));
    }
    return {properties};
  }
  if (member.startsWith(QLatin1String("Get")) && member.endsWith(QLatin1String("s"))) {
    if (member == QLatin1String("GetSettings") || member == QLatin1String("GetSecrets")) {
      return {QVariant::fromValue(settingsFrom(in))};
    }
    return {QVariant::fromValue(pathsFrom(in))};  // GetDevices, GetAllAccessPoints
  }
  if (member == QLatin1String("ListConnections")) {
    return {QVariant::fromValue(pathsFrom(in))};
  }
  if (member == QLatin1String("AddConnection") || member == QLatin1String("ActivateConnection")) {
    return {QVariant::fromValue(pathFrom(in))};
  }
  return {};
}

// Owns NetworkManager's name on the private bus and answers each call with the next reply the
// input describes; once the input is used up, with an error.
class FakeNetworkManager : public QDBusVirtualObject {
public:
  void setScript(std::vector<uint8_t> bytes) {
    QMutexLocker lock(&mutex);
    script = std::move(bytes);
    input = std::make_unique<FuzzedDataProvider>(script.data(), script.size());
    paths.clear();
  }

  // The objects the manager has asked about, where its signals come from.
  QStringList calledPaths() const {
    QMutexLocker lock(&mutex);
    return paths;
  }

  std::atomic<int> calls{0};

  bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override {
    QMutexLocker lock(&mutex);
    ++calls;
    if (!paths.contains(message.path())) {
      paths << message.path();
    }
    connection.send(replyTo(message));
    return true;
  }

  QString introspect(const QString &) const override { return {}; }

private:
  QDBusMessage replyTo(const QDBusMessage &message) {
    if (!input || input->remaining_bytes() == 0) {
      return message.createErrorReply(QStringLiteral("org.freedesktop.NetworkManager.Failed"), QStringLiteral("no"));
    }
    // Mostly what NetworkManager would say, so the manager gets far; otherwise anything.
    switch (input->ConsumeIntegralInRange<int>(0, 7)) {
      case 0:
        return message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"), textFrom(*input));
      case 1:
        return message.createReply();
      case 2:
        return message.createReply(variant(valueFrom(*input, 0)));
      case 3:
        return message.createReply(valueFrom(*input, 0));
      default:
        return message.createReply(wellFormedReply(message, *input));
    }
  }

  mutable QMutex mutex;
  std::vector<uint8_t> script;
  std::unique_ptr<FuzzedDataProvider> input;
  QStringList paths;
};

FakeNetworkManager *fake = nullptr;
QDBusConnection *peer = nullptr;

// Signals of NetworkManager with arguments of the input's choosing, from the objects called so far.
void sendSignals(FuzzedDataProvider &in) {
  const QStringList paths = fake->calledPaths();
  for (int n = in.ConsumeIntegralInRange<int>(0, 3); n > 0 && !paths.isEmpty(); --n) {
    const QString path = paths.value(in.ConsumeIntegralInRange<int>(0, paths.size() - 1));
    QDBusMessage signal;
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
      case 0:
        signal = QDBusMessage::createSignal(path, NM_DBUS_INTERFACE_PROPERTIES, QStringLiteral("PropertiesChanged"));
        signal << NM_DBUS_INTERFACE_DEVICE_WIRELESS << mapFrom(in, 0) << QStringList();
        break;
      case 1:
        signal = QDBusMessage::createSignal(path, NM_DBUS_INTERFACE_DEVICE, QStringLiteral("StateChanged"));
        signal << in.ConsumeIntegral<uint>() << in.ConsumeIntegral<uint>() << in.ConsumeIntegral<uint>();
        break;
      case 2:
        signal = QDBusMessage::createSignal(
            NM_DBUS_PATH_SETTINGS, NM_DBUS_INTERFACE_SETTINGS,
            in.ConsumeBool() ? QStringLiteral("NewConnection") : QStringLiteral("ConnectionRemoved"));
        signal << QVariant::fromValue(pathFrom(in));
        break;
      default:
        signal = QDBusMessage::createSignal(NM_DBUS_PATH, NM_DBUS_INTERFACE, QStringLiteral("DeviceAdded"));
        signal << QVariant::fromValue(pathFrom(in));
    }
    peer->send(signal);
  }
}

// Lets the manager's asynchronous work run until nothing has reached the stand-in for a while, or
// until `done` is set.
void settle(const bool &done = false) {
  int seen = -1;
  QElapsedTimer quiet;
  while (!done) {
    if (fake->calls != seen) {
      seen = fake->calls;
      quiet.restart();
    } else if (quiet.elapsed() > 5) {
      return;
    }
    QEventLoop loop;
    QTimer::singleShot(2, &loop, &QEventLoop::quit);
    loop.exec();
  }
}

// Every typed reader once more, on an object the input names; and whatever the settings look
// like, a copy for the log has every secret hidden.
void readThroughEveryReader(FuzzedDataProvider &in) {
  const QDBusObjectPath object = pathFrom(in);
  const QString section = in.ConsumeBool() ? QStringLiteral("802-11-wireless-security") : textFrom(in);
  nm::devices();
  nm::deviceType(object);
  nm::activeConnections();
  nm::activeAccessPoint(object.path());
  nm::specificObject(object);
  nm::activeConnectionType(object);
  nm::addressData(nm::ip4Config(object));
  nm::listConnections();
  nm::secrets(object, section);
  nm::storedSecrets(object, section);
  nm::addConnection({});
  QDBusPendingCall scan = nm::getAllAccessPoints(object.path());
  scan.waitForFinished();
  if (const auto access_points = nm::accessPoints(scan)) {
    nm::accessPointProperties(*access_points);
  }

  const Connection settings = nm::settings(object);
  const Connection hidden = nm::withSecretsHidden(settings);
  for (auto section_it = settings.cbegin(); section_it != settings.cend(); ++section_it) {
    for (auto it = section_it->cbegin(); it != section_it->cend(); ++it) {
      const QVariant shown = hidden.value(section_it.key()).value(it.key());
      fuzz::check(nm::isSecretKey(it.key()) ? shown == QStringLiteral("<hidden>") : shown == it.value(),
                  QStringLiteral("secret hidden: ") + it.key());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::application(true);
  nm::registerTypes();
  // Answers while the manager waits in a blocking call; it runs until the process ends.
  auto *nm_thread = new QThread;
  nm_thread->start();
  fake = new FakeNetworkManager;
  fake->moveToThread(nm_thread);
  peer = new QDBusConnection(QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("fake-nm")));
  if (!peer->registerService(NM_DBUS_SERVICE) ||
      !peer->registerVirtualObject(NM_DBUS_PATH, fake, QDBusConnection::SubPath)) {
    fprintf(stderr, "cannot stand in for NetworkManager on the private bus\n");
    abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::vector<uint8_t> signal_bytes = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 64));
  fake->setScript(input.ConsumeRemainingBytes<uint8_t>());
  {
    WifiManager wifi(nullptr);
    bool refreshed = false;
    QObject::connect(&wifi, &WifiManager::refreshSignal, [&refreshed] { refreshed = true; });
    wifi.start();
    FuzzedDataProvider signal_input(signal_bytes.data(), signal_bytes.size());
    sendSignals(signal_input);
    settle(refreshed);
    wifi.isTetheringEnabled();
    wifi.getTetheringPassword();
    wifi.updateGsmSettings(true, QStringLiteral("internet.example"), false);
    for (auto it = wifi.seenNetworks.cbegin(); it != wifi.seenNetworks.cend(); ++it) {
      fuzz::check(it.key() == ssidText(it->ssid), QStringLiteral("table key is the SSID text"));
    }
    wifi.stop();
    readThroughEveryReader(signal_input);
    // The manager lives as long as the program: nothing of it may still be waiting for a reply.
    settle();
  }
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return 0;
}
