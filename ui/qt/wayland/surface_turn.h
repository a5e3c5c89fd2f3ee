#pragma once

#include <wayland-client-protocol.h>

#include <QPointF>
#include <QRect>
#include <QSize>

class QWidget;
class QWindow;

// A window drawn upright whose Wayland buffers the compositor takes as turned (the buffer
// transform of wl_surface.set_buffer_transform). The compositor speaks of the surface: its size,
// the configured size and every input position are the window's turned by that transform.
// Only the four rotations are used.
namespace surface_turn {

constexpr int kNormal = WL_OUTPUT_TRANSFORM_NORMAL;
constexpr int k90 = WL_OUTPUT_TRANSFORM_90;
constexpr int k180 = WL_OUTPUT_TRANSFORM_180;
constexpr int k270 = WL_OUTPUT_TRANSFORM_270;

// Marks a top-level widget as shown turned. Set before it is first shown, so that its shell
// surface speaks of the turned surface from its first request. Kept on the widget: making its
// window early (winId) would make its parent's other children native windows too.
void mark(QWidget *window, int transform);
// The turn a widget's window was marked with, kNormal for any other window (or none).
int of(const QWindow *window);

// A size as the compositor sees it (surface) and back; a quarter turn swaps the sides.
QSize toSurface(int transform, const QSize &window_size);
QSize toWindow(int transform, const QSize &surface_size);
// A rectangle of the window, in the turned surface's coordinates.
QRect toSurface(int transform, const QRect &rect, const QSize &window_size);
// A point of the turned surface (where the compositor says a touch or the pointer is), in the
// window's coordinates: the point of the picture that shows under it.
QPointF toWindow(int transform, const QPointF &surface_point, const QSize &window_size);
// The reverse: where a point of the window shows on the surface.
QPointF toSurface(int transform, const QPointF &window_point, const QSize &window_size);

}  // namespace surface_turn
