#include "ui/qt/wayland/panel_shell.h"

#include <QtWaylandClient/private/qwaylanddisplay_p.h>
#include <QtWaylandClient/private/qwaylandshellintegrationplugin_p.h>

#include "fullscreen-shell-unstable-v1-client-protocol.h"
#include "ui/qt/wayland/fullscreen_panel_surface.h"
#include "ui/qt/wayland/xdg_panel_surface.h"
#include "xdg-shell-client-protocol.h"

using QtWaylandClient::QWaylandDisplay;
using QtWaylandClient::QWaylandShellSurface;
using QtWaylandClient::QWaylandWindow;

namespace {

void answerPing(void *, xdg_wm_base *wm_base, uint32_t serial) {
  xdg_wm_base_pong(wm_base, serial);
}

const xdg_wm_base_listener kWmBaseListener = {answerPing};

// The first version has all the program asks of either shell.
template <typename T>
T *bind(QWaylandDisplay *display, const wl_interface *interface) {
  for (const QWaylandDisplay::RegistryGlobal &global : display->globals()) {
    if (global.interface == QLatin1String(interface->name)) {
      return static_cast<T *>(wl_registry_bind(display->wl_registry(), global.id, interface, 1));
    }
  }
  return nullptr;
}

}  // namespace

PanelShell::~PanelShell() {
  if (wm_base != nullptr) {
    xdg_wm_base_destroy(wm_base);
  }
  if (fullscreen_shell != nullptr) {
    zwp_fullscreen_shell_v1_release(fullscreen_shell);
  }
}

bool PanelShell::initialize(QWaylandDisplay *display) {
  wm_base = bind<xdg_wm_base>(display, &xdg_wm_base_interface);
  if (wm_base != nullptr) {
    xdg_wm_base_add_listener(wm_base, &kWmBaseListener, this);
  } else {
    fullscreen_shell = bind<zwp_fullscreen_shell_v1>(display, &zwp_fullscreen_shell_v1_interface);
  }
  if (wm_base == nullptr && fullscreen_shell == nullptr) {
    return false;
  }
  return QWaylandShellIntegration::initialize(display);
}

QWaylandShellSurface *PanelShell::createShellSurface(QWaylandWindow *window) {
  if (wm_base != nullptr) {
    return new XdgPanelSurface(wm_base, window);
  }
  return new FullscreenPanelSurface(fullscreen_shell, window);
}

// Compiled into the program and found by Qt among its static plugins.
class PanelShellPlugin : public QtWaylandClient::QWaylandShellIntegrationPlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QWaylandShellIntegrationFactoryInterface_iid FILE "panel_shell.json")

public:
  QtWaylandClient::QWaylandShellIntegration *create(const QString &key, const QStringList &) override {
    return key == QLatin1String(PanelShell::kName) ? new PanelShell : nullptr;
  }
};

#include "panel_shell.moc"
