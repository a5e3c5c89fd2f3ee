// Loads the screen probe into an unchanged program when the environment asks for it:
//   QT_PLUGIN_PATH=<build>/tools/screen_driver/plugins QT_QPA_GENERIC_PLUGINS=screen_probe:<socket>
#include <QGenericPlugin>

#include "tools/screen_driver/probe.h"

class ScreenProbePlugin : public QGenericPlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "probe_plugin.json")

public:
  // Qt owns what this returns and deletes it with the application.
  QObject *create(const QString &key, const QString &socket_path) override {
    return key == QLatin1String("screen_probe") && !socket_path.isEmpty() ? new ScreenProbe(socket_path) : nullptr;
  }
};

#include "probe_plugin.moc"
