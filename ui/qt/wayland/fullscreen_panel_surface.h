#pragma once

#include <QtWaylandClient/private/qwaylandshellsurface_p.h>

struct wl_subsurface;
struct zwp_fullscreen_shell_v1;

// A window under the full-screen shell, which shows one surface on the whole output, as its
// turned surface is, and configures nothing. The main window is that surface; a dialog is shown
// over it as a sub-surface of its parent's, the same size at the same place, so the window below
// stays shown, keeps drawing, and is there again as it was once the dialog goes.
class FullscreenPanelSurface : public QtWaylandClient::QWaylandShellSurface {
  Q_OBJECT

public:
  FullscreenPanelSurface(zwp_fullscreen_shell_v1 *fullscreen_shell, QtWaylandClient::QWaylandWindow *window);
  ~FullscreenPanelSurface() override;

private:
  void present(zwp_fullscreen_shell_v1 *fullscreen_shell);
  void showOver(QtWaylandClient::QWaylandWindow *parent);

  QtWaylandClient::QWaylandWindow *platform_window;
  wl_subsurface *over_parent = nullptr;
};
