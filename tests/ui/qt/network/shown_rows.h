#pragma once

#include <algorithm>

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QStringList>

#include "ui/qt/network/networking.h"

// The Wi-Fi rows as the user sees them: the visible ones, top to bottom, once the layouts have placed
// them. Rows follow their networks, so the order in which they were made says nothing.
inline QList<WifiItem *> shownRows(const QWidget &root) {
  // Layouts hand their sizes down one level per pass.
  for (int pass = 0; pass < 10; ++pass) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  }
  QList<WifiItem *> rows;
  for (WifiItem *row : root.findChildren<WifiItem *>()) {
    if (row->isVisible()) {
      rows << row;
    }
  }
  std::stable_sort(rows.begin(), rows.end(), [](const WifiItem *a, const WifiItem *b) { return a->y() < b->y(); });
  return rows;
}

inline QString shownName(const WifiItem *row) {
  return row->findChild<QLabel *>(QStringLiteral("ssidLabel"))->text();
}

inline QStringList shownNames(const QWidget &root) {
  QStringList names;
  for (const WifiItem *row : shownRows(root)) {
    names << shownName(row);
  }
  return names;
}
