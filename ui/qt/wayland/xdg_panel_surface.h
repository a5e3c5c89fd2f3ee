#pragma once

#include <QtWaylandClient/private/qwaylandshellsurface_p.h>

#include <QRegion>
#include <QSize>

struct wl_array;
struct xdg_surface;
struct xdg_toplevel;
struct xdg_wm_base;

// A top-level window under the standard window shell, telling the compositor its geometry and size
// limits as its turned surface has them, and taking the sizes it is configured with back into the
// window's. The compositor checks what a full-screen window commits against the output it fills:
// a portrait output and a landscape window agree only once both speak of the same surface.
class XdgPanelSurface : public QtWaylandClient::QWaylandShellSurface {
  Q_OBJECT

public:
  XdgPanelSurface(xdg_wm_base *wm_base, QtWaylandClient::QWaylandWindow *window);
  ~XdgPanelSurface() override;

  void setTitle(const QString &title) override;
  void setAppId(const QString &app_id) override;
  bool isExposed() const override;
  bool handleExpose(const QRegion &region) override;
  void applyConfigure() override;
  void requestWindowStates(Qt::WindowStates states) override;
  void propagateSizeHints() override;
  void setWindowGeometry(const QRect &rect) override;

private:
  static void configured(void *data, xdg_surface *surface, uint32_t serial);
  static void toplevelConfigured(void *data, xdg_toplevel *toplevel, int32_t width, int32_t height, wl_array *states);
  static void closed(void *data, xdg_toplevel *toplevel);
  static void boundsGiven(void *data, xdg_toplevel *toplevel, int32_t width, int32_t height);

  int turn() const;
  void applyStates(Qt::WindowStates states);
  void sendSizeHints();

  QtWaylandClient::QWaylandWindow *platform_window;
  xdg_surface *surface;
  xdg_toplevel *toplevel;

  struct Configure {
    QSize surface_size;
    Qt::WindowStates states;
  };
  Configure pending, applied;
  uint32_t pending_serial = 0, applied_serial = 0;
  bool configured_once = false;
  // An expose before the first configure waits for it: nothing may be drawn before.
  QRegion held_expose;
};
