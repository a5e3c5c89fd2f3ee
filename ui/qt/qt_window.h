#pragma once

#include <QWidget>

// Sizes, shows and places a top-level widget full-screen on the device's display.
void setMainWindow(QWidget *w);

// Sends what has been drawn to the display server now. On Wayland requests otherwise leave only when
// the event loop is about to wait, so a frame would wait for any work queued behind it.
void flushDisplay();
