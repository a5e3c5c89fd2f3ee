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
// Whether SIGINT or SIGTERM asked the program to stop since this was last asked: for code that
// runs when the event loop, which otherwise takes that request, no longer does.
bool takeQuitRequest();

// Device information.
QString getVersion();
QString getUserAgent();
std::optional<QString> getDongleId();

class InterFont : public QFont {
public:
  explicit InterFont(int pixel_size, QFont::Weight weight = QFont::Normal);
};
