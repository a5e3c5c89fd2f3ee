#include "ui/qt/util.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QSurfaceFormat>

#include "common/safe_params.h"
#include "common/util.h"
#include "system/hardware/zorv/hardware.h"

namespace {
QString read_param(const char *key) {
  return QString::fromStdString(SafeParams().get(key));
}

// Self-pipe: the signal handler may only write a byte; the event loop reads it and quits.
int quit_pipe[2] = {-1, -1};

void openQuitPipe() {
  if (quit_pipe[0] >= 0) {
    return;
  }
  if (::pipe2(quit_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    quit_pipe[0] = quit_pipe[1] = -1;
  }
}

// Runs at the end of the application object's constructor, once there is an event loop to tell.
void watchQuitPipe() {
  if (quit_pipe[0] < 0) {
    return;
  }
  auto *notifier = new QSocketNotifier(quit_pipe[0], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
    takeQuitRequest();
    QCoreApplication::quit();
  });
}

void installHandler(int sig) {
  struct sigaction sa = {};
  sa.sa_handler = sigTermHandler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(sig, &sa, nullptr);
}

std::string directoryOf(const std::string &path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return {};
  }
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

void initApp(int argc, char *argv[]) {
  (void)argc;
  (void)argv;
  HardwareZorv::set_display_power(true);
  HardwareZorv::set_brightness(65);

  openQuitPipe();
  qAddPreRoutine(watchQuitPipe);
  installHandler(SIGINT);
  installHandler(SIGTERM);

  const std::string app_dir = directoryOf(util::readlink("/proc/self/exe"));
  setenv("QT_DBL_CLICK_DIST", "150", 1);
  // On Wayland the program's own shell integration (ui/qt/wayland/panel_shell.h) places its turned
  // windows; Qt's own follow for a compositor with neither shell it speaks. A choice made in the
  // environment stands.
  setenv("QT_WAYLAND_SHELL_INTEGRATION", "panel-shell;xdg-shell;wl-shell;ivi-shell", 0);
  if (!app_dir.empty()) {
    // On failure the working directory simply stays as it was.
    const int ret = chdir(app_dir.c_str());
    (void)ret;
  }

  setQtSurfaceFormat();
}

void setQtSurfaceFormat() {
  QSurfaceFormat fmt;
  fmt.setRenderableType(QSurfaceFormat::OpenGLES);
  fmt.setSamples(16);
  fmt.setStencilBufferSize(1);
  QSurfaceFormat::setDefaultFormat(fmt);
}

bool takeQuitRequest() {
  char buf[16];
  bool asked = false;
  while (quit_pipe[0] >= 0 && ::read(quit_pipe[0], buf, sizeof(buf)) > 0) {
    asked = true;
  }
  return asked;
}

void sigTermHandler(int sig) {
  const int saved_errno = errno;
  std::signal(sig, SIG_DFL);
  if (quit_pipe[1] >= 0) {
    const char byte = 1;
    const ssize_t ret = ::write(quit_pipe[1], &byte, 1);
    (void)ret;
  }
  errno = saved_errno;
}

InterFont::InterFont(int pixel_size, QFont::Weight weight) : QFont(QStringLiteral("Inter")) {
  setPixelSize(pixel_size);
  setWeight(weight);
}

QString getVersion() {
  static const QString version = read_param("Version");
  return version;
}

QString getUserAgent() {
  return QStringLiteral("halcyra-") + getVersion();
}

std::optional<QString> getDongleId() {
  const QString id = read_param("DongleId");
  if (id.isEmpty() || id == QStringLiteral("UnregisteredDevice"))
    return std::nullopt;
  return id;
}
