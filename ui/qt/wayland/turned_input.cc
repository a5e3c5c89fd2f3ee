#include "ui/qt/wayland/turned_input.h"

#include <QWindow>

#include "ui/qt/wayland/surface_turn.h"

namespace {

using Private = QWindowSystemInterfacePrivate;

// A screen position of the pointer or a finger on `window`'s surface, as a screen position of the
// point of the window that shows there.
QPointF turnedScreenPos(const QWindow *window, int turn, const QPointF &screen_pos) {
  const QPointF origin = window->mapToGlobal(QPoint(0, 0));
  return surface_turn::toWindow(turn, screen_pos - origin, window->size()) + origin;
}

QPointF turnedLocalPos(const QWindow *window, int turn, const QPointF &local_pos) {
  return surface_turn::toWindow(turn, local_pos, window->size());
}

void turnMouse(Private::MouseEvent *e, int turn) {
  e->localPos = turnedLocalPos(e->window, turn, e->localPos);
  e->globalPos = turnedScreenPos(e->window, turn, e->globalPos);
}

void turnWheel(Private::WheelEvent *e, int turn) {
  e->localPos = turnedLocalPos(e->window, turn, e->localPos);
  e->globalPos = turnedScreenPos(e->window, turn, e->globalPos);
}

}  // namespace

TurnedInput::TurnedInput() {
  Private::installWindowSystemEventHandler(this);
}

// Qt's own destructor takes the handler out again.
TurnedInput::~TurnedInput() = default;

void TurnedInput::turnTouch(Private::TouchEvent *e) {
  for (QTouchEvent::TouchPoint &point : e->points) {
    const auto finger = qMakePair(static_cast<const QTouchDevice *>(e->device), point.id());
    if (point.state() == Qt::TouchPointPressed) {
      touched.insert(finger, e->window);
    }
    const QWindow *window = e->window != nullptr ? e->window.data() : touched.value(finger).data();
    if (const int turn = surface_turn::of(window)) {
      point.setScreenPos(turnedScreenPos(window, turn, point.screenPos()));
    }
    if (point.state() == Qt::TouchPointReleased) {
      touched.remove(finger);
    }
  }
}

bool TurnedInput::sendEvent(Private::WindowSystemEvent *event) {
  switch (event->type) {
    case Private::Mouse: {
      auto *e = static_cast<Private::MouseEvent *>(event);
      if (const int turn = surface_turn::of(e->window)) {
        turnMouse(e, turn);
      }
      break;
    }
    case Private::Wheel: {
      auto *e = static_cast<Private::WheelEvent *>(event);
      if (const int turn = surface_turn::of(e->window)) {
        turnWheel(e, turn);
      }
      break;
    }
    case Private::Touch:
      turnTouch(static_cast<Private::TouchEvent *>(event));
      break;
    case Private::Enter: {
      // Its positions cannot change: the turned copy goes in its place.
      const auto *e = static_cast<const Private::EnterEvent *>(event);
      if (const int turn = surface_turn::of(e->enter)) {
        Private::EnterEvent turned(e->enter, turnedLocalPos(e->enter, turn, e->localPos),
                                   turnedScreenPos(e->enter, turn, e->globalPos));
        turned.flags = e->flags;
        return QWindowSystemEventHandler::sendEvent(&turned);
      }
      break;
    }
    default:
      break;
  }
  return QWindowSystemEventHandler::sendEvent(event);
}
