#include "ui/qt/setup/update_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>

#include "common/swaglog.h"

UpdateLock::UpdateLock(const QString &path) : path(path) {}

UpdateLock::~UpdateLock() {
  if (fd >= 0) {
    ::close(fd);
  }
}

bool UpdateLock::take() {
  if (held) {
    return true;
  }
  if (fd < 0) {
    // Left open across exec on purpose: the updater inherits it, and with it the lock.
    fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT, 0666);
    if (fd < 0) {
      LOGW("no update lock at %s: %s", qPrintable(path), strerror(errno));
      held = true;
      return true;
    }
  }
  held = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  return held;
}
