#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "tools/screen_driver/finder.h"

// Drives the screens in the same process as a user would: taps what shows a text, types on the
// on-screen keyboard, waits for a text to show. Used by the tests, the preview tool and the galleries.
namespace screen {

// One finger on `w` through Qt's own touch input, at points of `w`.
void fingerDown(QWidget *w, const QPoint &at);
void fingerMove(QWidget *w, const QPoint &to);
void fingerUp(QWidget *w, const QPoint &at);

// Brings `w` into view and taps it where it can be reached: a widget that takes touch with a finger,
// any other with the mouse. False, with a warning, when no part of it can be reached.
bool tap(QWidget *w);

// Taps the k-th widget showing `text`, under `root` or where a user can act now.
bool tapText(const QString &text, int k = 1);
bool tapText(const QWidget *root, const QString &text, int k = 1);

// Taps, in order, the widgets showing each of `texts` under `root`.
bool tapTexts(const QWidget *root, const QStringList &texts);

// Types `text` on the on-screen keyboard under `root` (the open dialog when null), turning its
// pages as needed. False, with a warning, when a character is on no page.
bool type(const QString &text, const QWidget *root = nullptr);

// Waits until a widget shows `text` where a user can act.
bool waitForText(const QString &text, int timeout_ms = 5000);

}  // namespace screen
