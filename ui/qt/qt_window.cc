#include "ui/qt/qt_window.h"

#include <wayland-client-protocol.h>

#include <cmath>

#include <qpa/qplatformnativeinterface.h>
#include <QGuiApplication>
#include <QWindow>

#include "common/util.h"
#include "ui/qt/require.h"

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

// The panel is mounted rotated, so the compositor must take our buffers as turned by 270 degrees.
void rotateSurface(QWidget *w) {
  auto *surface = static_cast<wl_surface *>(nativeResource("surface", w));
  if (surface == nullptr) {
    return;
  }
  wl_surface_set_buffer_transform(surface, WL_OUTPUT_TRANSFORM_270);
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
  w->show();

  const bool wayland = onWayland();
  if (wayland) {
    rotateSurface(w);
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
