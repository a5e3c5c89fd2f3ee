#include "ui/qt/wayland/xdg_panel_surface.h"

#include <QtWaylandClient/private/qwaylanddisplay_p.h>
#include <QtWaylandClient/private/qwaylandscreen_p.h>
#include <QtWaylandClient/private/qwaylandwindow_p.h>

#include <QtGui/private/qwindow_p.h>
#include <QWindow>

#include "ui/qt/wayland/surface_turn.h"
#include "xdg-shell-client-protocol.h"

using QtWaylandClient::QWaylandWindow;

namespace {

Qt::WindowStates statesOf(const wl_array *states) {
  Qt::WindowStates result = Qt::WindowNoState;
  const auto *state = static_cast<const uint32_t *>(states->data);
  for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i) {
    switch (state[i]) {
      case XDG_TOPLEVEL_STATE_ACTIVATED:
        result |= Qt::WindowActive;
        break;
      case XDG_TOPLEVEL_STATE_MAXIMIZED:
        result |= Qt::WindowMaximized;
        break;
      case XDG_TOPLEVEL_STATE_FULLSCREEN:
        result |= Qt::WindowFullScreen;
        break;
      default:
        break;
    }
  }
  return result;
}

// Qt's "no limit" is sent as the protocol's 0.
int sizeLimit(int length) {
  return length >= QWINDOWSIZE_MAX ? 0 : qMax(0, length);
}

}  // namespace

XdgPanelSurface::XdgPanelSurface(xdg_wm_base *wm_base, QWaylandWindow *window)
    : QWaylandShellSurface(window),
      platform_window(window),
      surface(xdg_wm_base_get_xdg_surface(wm_base, window->wlSurface())),
      toplevel(xdg_surface_get_toplevel(surface)) {
  static const xdg_surface_listener surface_listener = {configured};
  static const xdg_toplevel_listener toplevel_listener = {toplevelConfigured, closed, boundsGiven};
  xdg_surface_add_listener(surface, &surface_listener, this);
  xdg_toplevel_add_listener(toplevel, &toplevel_listener, this);
  // A dialog stays with the window it belongs to.
  if (QWaylandWindow *parent = window->transientParent()) {
    if (auto *parent_surface = qobject_cast<XdgPanelSurface *>(parent->shellSurface())) {
      xdg_toplevel_set_parent(toplevel, parent_surface->toplevel);
    }
  }
  requestWindowStates(window->window()->windowStates());
  // Some compositors size the window by its first commit.
  sendSizeHints();
}

XdgPanelSurface::~XdgPanelSurface() {
  auto *display = platform_window->display();
  if ((applied.states & Qt::WindowActive) && !display->isKeyboardAvailable()) {
    display->handleWindowDeactivated(platform_window);
  }
  xdg_toplevel_destroy(toplevel);
  xdg_surface_destroy(surface);
}

int XdgPanelSurface::turn() const {
  return surface_turn::of(platform_window->window());
}

void XdgPanelSurface::setTitle(const QString &title) {
  xdg_toplevel_set_title(toplevel, title.toUtf8().constData());
}

void XdgPanelSurface::setAppId(const QString &app_id) {
  xdg_toplevel_set_app_id(toplevel, app_id.toUtf8().constData());
}

bool XdgPanelSurface::isExposed() const {
  return configured_once || pending_serial != 0;
}

bool XdgPanelSurface::handleExpose(const QRegion &region) {
  if (!isExposed() && !region.isEmpty()) {
    held_expose = region;
    return true;
  }
  return false;
}

void XdgPanelSurface::configured(void *data, xdg_surface *, uint32_t serial) {
  auto *self = static_cast<XdgPanelSurface *>(data);
  self->pending_serial = serial;
  if (!self->configured_once) {
    // The first configure is the window's expose: applied at once.
    self->applyConfigure();
    self->held_expose = QRegion(QRect(QPoint(), self->platform_window->geometry().size()));
  } else {
    // Later ones resize: Qt applies them when it is not drawing.
    self->platform_window->applyConfigureWhenPossible();
  }
  if (!self->held_expose.isEmpty()) {
    self->platform_window->handleExpose(self->held_expose);
    self->held_expose = QRegion();
  }
}

void XdgPanelSurface::toplevelConfigured(void *data, xdg_toplevel *, int32_t width, int32_t height, wl_array *states) {
  auto *self = static_cast<XdgPanelSurface *>(data);
  self->pending = {QSize(width, height), statesOf(states)};
}

void XdgPanelSurface::closed(void *data, xdg_toplevel *) {
  static_cast<XdgPanelSurface *>(data)->platform_window->window()->close();
}

// Only sent from version 4; bound at version 1.
void XdgPanelSurface::boundsGiven(void *, xdg_toplevel *, int32_t, int32_t) {}

void XdgPanelSurface::applyConfigure() {
  if (pending_serial == applied_serial) {
    return;
  }
  applyStates(pending.states);
  // An empty size leaves the window's size to the program: it keeps its own.
  if (!pending.surface_size.isEmpty()) {
    platform_window->resizeFromApplyConfigure(surface_turn::toWindow(turn(), pending.surface_size));
  }
  sendSizeHints();
  applied = pending;
  applied_serial = pending_serial;
  configured_once = true;
  xdg_surface_ack_configure(surface, applied_serial);
}

// With a keyboard, Qt tells the active window by its focus; without one (a touch panel) the
// compositor's word in the configure is all there is.
void XdgPanelSurface::applyStates(Qt::WindowStates states) {
  auto *display = platform_window->display();
  if (!display->isKeyboardAvailable()) {
    if ((states & Qt::WindowActive) && !(applied.states & Qt::WindowActive)) {
      display->handleWindowActivated(platform_window);
    }
    if (!(states & Qt::WindowActive) && (applied.states & Qt::WindowActive)) {
      display->handleWindowDeactivated(platform_window);
    }
  }
  platform_window->handleWindowStatesChanged(states);
}

void XdgPanelSurface::requestWindowStates(Qt::WindowStates states) {
  const Qt::WindowStates changed = applied.states ^ states;
  if (changed & Qt::WindowMaximized) {
    if (states & Qt::WindowMaximized) {
      xdg_toplevel_set_maximized(toplevel);
    } else {
      xdg_toplevel_unset_maximized(toplevel);
    }
  }
  if (changed & Qt::WindowFullScreen) {
    if (states & Qt::WindowFullScreen) {
      auto *screen = platform_window->waylandScreen();
      xdg_toplevel_set_fullscreen(toplevel, screen != nullptr ? screen->output() : nullptr);
    } else {
      xdg_toplevel_unset_fullscreen(toplevel);
    }
  }
  // The protocol never reports a window minimized, so it is asked for each time.
  if (states & Qt::WindowMinimized) {
    xdg_toplevel_set_minimized(toplevel);
    platform_window->handleWindowStatesChanged(states & ~Qt::WindowMinimized);
  }
}

void XdgPanelSurface::propagateSizeHints() {
  sendSizeHints();
  platform_window->commit();
}

void XdgPanelSurface::sendSizeHints() {
  const QSize min = surface_turn::toSurface(turn(), platform_window->windowMinimumSize());
  const QSize max = surface_turn::toSurface(turn(), platform_window->windowMaximumSize());
  xdg_toplevel_set_min_size(toplevel, sizeLimit(min.width()), sizeLimit(min.height()));
  xdg_toplevel_set_max_size(toplevel, sizeLimit(max.width()), sizeLimit(max.height()));
}

void XdgPanelSurface::setWindowGeometry(const QRect &rect) {
  const QRect turned = surface_turn::toSurface(turn(), rect, platform_window->geometry().size());
  xdg_surface_set_window_geometry(surface, turned.x(), turned.y(), turned.width(), turned.height());
}
