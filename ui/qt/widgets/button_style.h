#pragma once

#include <QString>
#include <QStringList>

// Button looks the screens share, as style sheet rules for the buttons that `selectors` name, so
// that each look is written once.

// The large dark button of the update pages and of the dialogs' answers.
QString largeButtonStyle(const QStringList &selectors);

// The blue of the one action a screen is there for: Install, a dialog's confirmation.
QString actionButtonStyle(const QStringList &selectors);

// The grey of a button on a panel: the network panel's Advanced and Back, a setting row's button.
QString panelButtonStyle(const QStringList &selectors);
