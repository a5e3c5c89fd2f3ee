#pragma once

#include <optional>

#include <QFont>
#include <QString>

// Root of the compiled-in resource bundle.
const QString ASSET_PATH = ":/";

// Process start-up preparation (called before the application object exists).
void initApp(int argc, char *argv[]);
void setQtSurfaceFormat();
void sigTermHandler(int sig);

// Device information.
QString getVersion();
QString getUserAgent();
std::optional<QString> getDongleId();

class InterFont : public QFont {
public:
  explicit InterFont(int pixel_size, QFont::Weight weight = QFont::Normal);
};
