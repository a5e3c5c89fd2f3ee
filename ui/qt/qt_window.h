#pragma once

#include <QWidget>

// Sizes, shows and places a top-level widget full-screen on the device's display.
void setMainWindow(QWidget *w);
