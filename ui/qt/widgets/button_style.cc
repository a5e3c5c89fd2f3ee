#include "ui/qt/widgets/button_style.h"

namespace {

// `look` for the buttons, then `held` for the same buttons while pressed.
QString rules(const QStringList &selectors, const QString &look, const QString &held) {
  QStringList pressed;
  for (const QString &selector : selectors) {
    pressed << selector + QStringLiteral(":pressed");
  }
  return QStringLiteral("%1 { %2 }\n%3 { %4 }\n")
      .arg(selectors.join(QStringLiteral(", ")), look, pressed.join(QStringLiteral(", ")), held);
}

}  // namespace

QString largeButtonStyle(const QStringList &selectors) {
  return rules(selectors,
               QStringLiteral("height: 160px; font-size: 55px; font-weight: 400; border-radius: 10px; "
                              "background-color: #333333;"),
               QStringLiteral("background-color: #444444;"));
}

QString actionButtonStyle(const QStringList &selectors) {
  return rules(selectors, QStringLiteral("background-color: #465BEA;"), QStringLiteral("background-color: #3049F4;"));
}

QString panelButtonStyle(const QStringList &selectors) {
  return rules(selectors, QStringLiteral("background-color: #393939;"), QStringLiteral("background-color: #4a4a4a;"));
}
