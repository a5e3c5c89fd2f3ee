#include "ui/qt/qt_window.h"

#include <wayland-client-protocol.h>

#include <cmath>

#include <qpa/qplatformnativeinterface.h>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <QtPlugin>

#include "common/util.h"
#include "ui/qt/require.h"
#include "ui/qt/wayland/surface_turn.h"
#include "ui/qt/wayland/turned_input.h"

// The shell integration that speaks of the turned surface (ui/qt/wayland/panel_shell.h).
Q_IMPORT_PLUGIN(PanelShellPlugin)

namespace {

constexpr int kDisplayWidth = 2160;
constexpr int kDisplayHeight = 1080;

// Off the device (offscreen, xcb) there is no Wayland surface to rotate and no EGL display to require.
bool onWayland() {
  return QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

void *nativeResource(const char *name, QWidget *w) {
  return QGuiApplication::platformNativeInterface()->nativeResourceForWindow(name, w->windowHandle());
}

// The device's panel is a portrait one mounted on its side: the landscape window shows upright only
// with its buffers turned by 270 degrees. A landscape output (a rotated output, a desktop screen)
// shows it upright as it is, where a turned window would not even fit.
bool needsTurn(const QWidget *w) {
  const QScreen *screen = w->screen();
  return screen == nullptr || screen->size().height() > screen->size().width();
}

// Everything that speaks of the surface (its shell's sizes, input positions) must know of the turn
// before the window is first shown.
void markTurned(QWidget *w) {
  static TurnedInput input;
  surface_turn::mark(w, surface_turn::k270);
}

void turnSurface(QWidget *w) {
  auto *surface = static_cast<wl_surface *>(nativeResource("surface", w));
  if (surface == nullptr) {
    return;
  }
  wl_surface_set_buffer_transform(surface, surface_turn::k270);
  wl_surface_commit(surface);
}

// Without EGL nothing can be drawn on the device.
void requireEglDisplay(QWidget *w) {
  const void *egl = nativeResource("egldisplay", w);
  REQUIRE(egl != nullptr);
}

}  // namespace

void setMainWindow(QWidget *w) {
  const double scale = util::getenv("SCALE", 1.0f);
  w->setFixedSize(static_cast<int>(std::lround(kDisplayWidth * scale)),
                  static_cast<int>(std::lround(kDisplayHeight * scale)));
  const bool wayland = onWayland();
  const bool turned = wayland && needsTurn(w);
  if (turned) {
    markTurned(w);
  }
  w->show();
  if (turned) {
    turnSurface(w);
  }

  w->setWindowState(Qt::WindowFullScreen);
  w->setVisible(true);

  if (wayland) {
    requireEglDisplay(w);
  }
}

void flushDisplay() {
  if (!onWayland()) {
    return;
  }
  auto *display = static_cast<wl_display *>(
      QGuiApplication::platformNativeInterface()->nativeResourceForIntegration(QByteArrayLiteral("wl_display")));
  if (display != nullptr) {
    wl_display_flush(display);
  }
}
