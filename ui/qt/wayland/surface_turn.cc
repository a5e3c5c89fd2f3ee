#include "ui/qt/wayland/surface_turn.h"

#include <QVariant>
#include <QWidget>
#include <QWindow>

namespace surface_turn {

namespace {

const char *const kProperty = "_surface_turn";

bool quarterTurn(int transform) {
  return transform == k90 || transform == k270;
}

}  // namespace

void mark(QWidget *window, int transform) {
  window->setProperty(kProperty, transform);
}

int of(const QWindow *window) {
  const QWidget *widget = window != nullptr ? QWidget::find(window->winId()) : nullptr;
  const QVariant turn = widget != nullptr ? widget->property(kProperty) : QVariant();
  return turn.isValid() ? turn.toInt() : kNormal;
}

QSize toSurface(int transform, const QSize &window_size) {
  return quarterTurn(transform) ? window_size.transposed() : window_size;
}

QSize toWindow(int transform, const QSize &surface_size) {
  return quarterTurn(transform) ? surface_size.transposed() : surface_size;
}

// The compositor finds the buffer's (the window's) point under a surface point as below: the
// window is w wide and h high.
QPointF toWindow(int transform, const QPointF &p, const QSize &window_size) {
  const qreal w = window_size.width();
  const qreal h = window_size.height();
  switch (transform) {
    case k90:
      return {p.y(), h - p.x()};
    case k180:
      return {w - p.x(), h - p.y()};
    case k270:
      return {w - p.y(), p.x()};
    default:
      return p;
  }
}

QPointF toSurface(int transform, const QPointF &p, const QSize &window_size) {
  const qreal w = window_size.width();
  const qreal h = window_size.height();
  switch (transform) {
    case k90:
      return {h - p.y(), p.x()};
    case k180:
      return {w - p.x(), h - p.y()};
    case k270:
      return {p.y(), w - p.x()};
    default:
      return p;
  }
}

QRect toSurface(int transform, const QRect &rect, const QSize &window_size) {
  const QPointF a = toSurface(transform, QPointF(rect.topLeft()), window_size);
  const QPointF b = toSurface(transform, QPointF(rect.x() + rect.width(), rect.y() + rect.height()), window_size);
  return QRectF(a, b).normalized().toRect();
}

}  // namespace surface_turn
