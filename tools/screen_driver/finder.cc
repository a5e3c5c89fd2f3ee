#include "tools/screen_driver/finder.h"

#include <functional>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>

namespace screen {

namespace {

// The on-screen keyboard's keys (ui/qt/widgets/keyboard.h), known by class name: the probe runs
// inside programs whose classes it does not link.
const char kKeyClass[] = "KeyButton";

// A button label marks its shortcut letter with "&" and shows "&&" as one "&".
QString withoutMnemonic(const QString &label) {
  QString shown;
  for (int i = 0; i < label.size(); ++i) {
    if (label[i] == QLatin1Char('&') && ++i == label.size()) {
      break;
    }
    shown += label[i];
  }
  return shown;
}

// Candidates in the order a reader meets them: the root, then its children as they were made.
QWidgetList visibleWidgets(const QWidget *root) {
  QWidgetList all{const_cast<QWidget *>(root)};
  all += root->findChildren<QWidget *>();
  QWidgetList shown;
  for (QWidget *w : all) {
    if (w->isVisible()) {
      shown << w;
    }
  }
  return shown;
}

// Each page key leads to the next page in the cycle lower case, upper case, digits, symbols.
const QStringList kPageCycle = {QStringLiteral("↑"), QStringLiteral("#+="), QStringLiteral("ABC"),
                                QStringLiteral("123")};

QWidget *visibleKey(const QWidget *root, const std::function<bool(const QString &)> &label_fits) {
  for (QWidget *w : visibleWidgets(root)) {
    if (w->inherits(kKeyClass) && label_fits(static_cast<QAbstractButton *>(w)->text())) {
      return w;
    }
  }
  return nullptr;
}

QWidget *findInAll(const QWidgetList &roots, const QString &text, int k) {
  int seen = 0;
  for (const QWidget *root : roots) {
    for (QWidget *w : visibleWidgets(root)) {
      if (shownText(w) == text && ++seen == k) {
        return w;
      }
    }
  }
  return nullptr;
}

bool reaches(const QWidget *w, const QPoint &at) {
  QWidget *window = w->window();
  const QPoint in_window = w->mapTo(window, at);
  if (!window->rect().contains(in_window)) {
    return false;
  }
  QWidget *hit = window->childAt(in_window);
  return hit == nullptr ? w == window : hit == w || w->isAncestorOf(hit);
}

}  // namespace

QString shownText(const QWidget *w) {
  if (const auto *button = qobject_cast<const QAbstractButton *>(w)) {
    return withoutMnemonic(button->text());
  }
  if (const auto *label = qobject_cast<const QLabel *>(w)) {
    return label->text();
  }
  return QString();
}

QWidgetList activeWindows() {
  if (QWidget *modal = QApplication::activeModalWidget()) {
    return {modal};
  }
  QWidgetList windows;
  for (QWidget *w : QApplication::topLevelWidgets()) {
    if (w->isVisible()) {
      windows << w;
    }
  }
  return windows;
}

QWidget *findIn(const QWidget *root, const QString &text, int k) {
  return findInAll({const_cast<QWidget *>(root)}, text, k);
}

QWidget *find(const QString &text, int k) {
  return findInAll(activeWindows(), text, k);
}

QStringList shownTexts() {
  QStringList texts;
  for (const QWidget *window : activeWindows()) {
    for (const QWidget *w : visibleWidgets(window)) {
      const QString text = shownText(w);
      if (!text.trimmed().isEmpty()) {
        texts << text;
      }
    }
  }
  return texts;
}

// The row's title and its action are push buttons; its switch is the one button that is not.
QWidget *rowSwitch(const QWidget *title) {
  const QWidget *row = title ? title->parentWidget() : nullptr;
  for (QAbstractButton *b : row ? row->findChildren<QAbstractButton *>() : QList<QAbstractButton *>()) {
    if (!qobject_cast<QPushButton *>(b)) {
      return b;
    }
  }
  return nullptr;
}

void bringIntoView(QWidget *w) {
  for (QWidget *p = w->parentWidget(); p != nullptr; p = p->parentWidget()) {
    if (auto *area = qobject_cast<QScrollArea *>(p)) {
      area->ensureWidgetVisible(w);
    }
  }
}

std::optional<QPoint> tapPoint(const QWidget *w) {
  const QRect r = w->rect();
  const QPoint centre = r.center();
  // Outwards from the centre, first up and down, then left and right.
  for (int d = 0; d <= r.height() / 2; ++d) {
    for (const QPoint &at : {centre - QPoint(0, d), centre + QPoint(0, d)}) {
      if (reaches(w, at)) {
        return at;
      }
    }
  }
  for (int d = 1; d <= r.width() / 2; ++d) {
    for (const QPoint &at : {centre - QPoint(d, 0), centre + QPoint(d, 0)}) {
      if (reaches(w, at)) {
        return at;
      }
    }
  }
  return std::nullopt;
}

KeyStep nextKey(const QWidget *root, QChar c) {
  // The space bar's label is two spaces and the ampersand key's "&&"; each types one.
  if (QWidget *key = visibleKey(root, [c](const QString &label) { return label == c || label == QString(2, c); })) {
    return {key, true};
  }
  for (const QString &page : kPageCycle) {
    if (QWidget *key = visibleKey(root, [&page](const QString &label) { return label == page; })) {
      return {key, false};
    }
  }
  return {};
}

}  // namespace screen
