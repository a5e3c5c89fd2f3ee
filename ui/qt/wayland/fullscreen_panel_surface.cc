#include "ui/qt/wayland/fullscreen_panel_surface.h"

#include <QtWaylandClient/private/qwaylanddisplay_p.h>
#include <QtWaylandClient/private/qwaylandscreen_p.h>
#include <QtWaylandClient/private/qwaylandwindow_p.h>

#include "fullscreen-shell-unstable-v1-client-protocol.h"

using QtWaylandClient::QWaylandWindow;

FullscreenPanelSurface::FullscreenPanelSurface(zwp_fullscreen_shell_v1 *fullscreen_shell, QWaylandWindow *window)
    : QWaylandShellSurface(window), platform_window(window) {
  QWaylandWindow *parent = window->transientParent();
  if (parent != nullptr && parent->wlSurface() != nullptr) {
    showOver(parent);
  } else {
    present(fullscreen_shell);
  }
  // The shell has no word for an active window, and a touch panel may have no keyboard whose
  // focus tells: the window shown last is the one the user acts on.
  if (!window->display()->isKeyboardAvailable()) {
    window->display()->handleWindowActivated(window);
  }
}

FullscreenPanelSurface::~FullscreenPanelSurface() {
  if (!platform_window->display()->isKeyboardAvailable()) {
    platform_window->display()->handleWindowDeactivated(platform_window);
  }
  if (over_parent != nullptr) {
    wl_subsurface_destroy(over_parent);
  }
}

void FullscreenPanelSurface::present(zwp_fullscreen_shell_v1 *fullscreen_shell) {
  auto *screen = platform_window->waylandScreen();
  zwp_fullscreen_shell_v1_present_surface(fullscreen_shell, platform_window->wlSurface(),
                                          ZWP_FULLSCREEN_SHELL_V1_PRESENT_METHOD_DEFAULT,
                                          screen != nullptr ? screen->output() : nullptr);
}

// Presenting the dialog instead would hide the window below, whose frames the compositor then
// stops acknowledging: Qt would wait for them for good and never draw it again.
void FullscreenPanelSurface::showOver(QWaylandWindow *parent) {
  over_parent = platform_window->display()->createSubSurface(platform_window, parent);
  if (over_parent == nullptr) {
    return;
  }
  wl_subsurface_set_position(over_parent, 0, 0);
  // Its frames show as they come, not only with the parent's.
  wl_subsurface_set_desync(over_parent);
}
