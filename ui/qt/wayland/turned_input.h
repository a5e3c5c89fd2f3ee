#pragma once

#include <qpa/qwindowsysteminterface_p.h>

#include <QHash>
#include <QPair>
#include <QPointer>
#include <QWindow>

// The compositor gives pointer and touch positions on a window's surface; on a turned window (see
// surface_turn.h) those are not the window's own. This puts every position back into the window's
// coordinates before Qt looks at it, so taps, presses and swipes land on what shows under the
// finger, and everything after (click and double-click detection, touch to mouse, gestures, the
// widgets) sees the window as it is drawn.
class TurnedInput : public QWindowSystemEventHandler {
public:
  TurnedInput();
  ~TurnedInput() override;
  Q_DISABLE_COPY(TurnedInput)

  bool sendEvent(QWindowSystemInterfacePrivate::WindowSystemEvent *event) override;

private:
  void turnTouch(QWindowSystemInterfacePrivate::TouchEvent *e);

  // The window each finger went down on: a finger's last event may come without one (Qt's Wayland
  // plugin sends the release after the last finger with none).
  QHash<QPair<const QTouchDevice *, int>, QPointer<QWindow>> touched;
};
