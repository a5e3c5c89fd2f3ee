#pragma once

#include <optional>

#include <QPoint>
#include <QString>
#include <QWidget>
#include <QWidgetList>

// Finds what a user can see and tap on the screens, by the text it shows. Shared by the tests,
// the preview tool, the galleries and the probe that answers the screenshot scripts.
namespace screen {

// The text a button or label draws (a doubled "&" shows one); empty for other widgets.
QString shownText(const QWidget *w);

// Where a user can act now: the open modal dialog, else every visible window.
QWidgetList activeWindows();

// The k-th (from 1) visible widget showing `text`, in the open dialog if there is one.
QWidget *find(const QString &text, int k = 1);
QWidget *findIn(const QWidget *root, const QString &text, int k = 1);

// Every text shown where a user can act, in the order find() walks them.
QStringList shownTexts();

// The switch of the setting row whose title is `title`.
QWidget *rowSwitch(const QWidget *title);

// Scrolls every list that holds `w` until `w` shows, as a user would before tapping it.
void bringIntoView(QWidget *w);

// A point of `w`, in its own coordinates, where a tap lands on it rather than on whatever covers
// it; none when no part of it can be reached.
std::optional<QPoint> tapPoint(const QWidget *w);

// To type `c` on the on-screen keyboard under `root`: the key to tap next. That is the key of `c`
// itself (`types` true) or else a page key; taking page keys in turn shows every page once.
// No key when no keyboard shows.
struct KeyStep {
  QWidget *key = nullptr;
  bool types = false;
};
KeyStep nextKey(const QWidget *root, QChar c);

// How many page keys it can take to reach any character.
constexpr int kMaxPageHops = 4;

}  // namespace screen
