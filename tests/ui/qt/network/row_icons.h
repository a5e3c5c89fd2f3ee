#pragma once

#include <QString>

// The pictures a Wi-Fi row shows, named by what they mean and given as the asset each is drawn from.
namespace row_icons {

inline const QString low = QStringLiteral("/offroad/icon_wifi_strength_low.svg");
inline const QString medium = QStringLiteral("/offroad/icon_wifi_strength_medium.svg");
inline const QString high = QStringLiteral("/offroad/icon_wifi_strength_high.svg");
inline const QString full = QStringLiteral("/offroad/icon_wifi_strength_full.svg");
inline const QString lock = QStringLiteral("offroad/icon_lock_closed.svg");
inline const QString checkmark = QStringLiteral("offroad/icon_checkmark.svg");
inline const QString slash = QStringLiteral("img_circled_slash.svg");

}  // namespace row_icons
