#pragma once

#include <QtWaylandClient/private/qwaylandshellintegration_p.h>

struct xdg_wm_base;
struct zwp_fullscreen_shell_v1;

// The shell integration the program uses on Wayland: its windows are full-screen and their buffers
// turned (surface_turn.h), and every size it exchanges with the compositor is the turned
// surface's. It speaks the standard window shell (xdg-shell) where the compositor offers it, as
// its kiosk and desktop shells do, and otherwise the full-screen shell.
class PanelShell : public QtWaylandClient::QWaylandShellIntegration {
public:
  // The name Qt finds it by (QT_WAYLAND_SHELL_INTEGRATION).
  static constexpr const char *kName = "panel-shell";

  PanelShell() = default;
  ~PanelShell() override;
  Q_DISABLE_COPY(PanelShell)

  bool initialize(QtWaylandClient::QWaylandDisplay *display) override;
  QtWaylandClient::QWaylandShellSurface *createShellSurface(QtWaylandClient::QWaylandWindow *window) override;

private:
  xdg_wm_base *wm_base = nullptr;
  zwp_fullscreen_shell_v1 *fullscreen_shell = nullptr;
};
