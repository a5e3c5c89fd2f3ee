#pragma once

#include <QtTest>

#include "ui/qt/widgets/keyboard.h"

// A finger on the on-screen keys, through Qt's own touch input path.
namespace touch {

inline QTouchDevice *device() {
  static QTouchDevice *dev = QTest::createTouchDevice();
  return dev;
}

inline KeyButton *visibleKey(const QWidget *root, const QString &label) {
  for (KeyButton *key : root->findChildren<KeyButton *>()) {
    if (key->text() == label && key->isVisible()) {
      return key;
    }
  }
  return nullptr;
}

inline void down(QWidget *key, QPoint at) {
  QTest::touchEvent(key->window(), device()).press(0, at, key);
}
inline void move(QWidget *key, QPoint to) {
  QTest::touchEvent(key->window(), device()).move(0, to, key);
}
inline void up(QWidget *key, QPoint at) {
  QTest::touchEvent(key->window(), device()).release(0, at, key);
}

// Taps the key of the page on show; false when no such key is visible.
inline bool tap(const QWidget *root, const QString &label) {
  KeyButton *key = visibleKey(root, label);
  if (key == nullptr) {
    return false;
  }
  const QPoint centre = key->rect().center();
  down(key, centre);
  up(key, centre);
  return true;
}

inline bool tapAll(const QWidget *root, const QStringList &labels) {
  for (const QString &label : labels) {
    if (!tap(root, label)) {
      qWarning("no visible key %s", qPrintable(label));
      return false;
    }
  }
  return true;
}

}  // namespace touch
