#pragma once

#include <QString>

// One copy of the program owns the update at a time: the one that holds this lock, from its start
// on. The updater it starts inherits the lock, so the lock stays taken while an update runs even
// when the program itself has gone (its screen lost, or the program ended). The kernel lets go of
// it when its last holder ends, and it lives in /run: no lock is left behind by a crash or a
// power loss.
class UpdateLock {
public:
  static constexpr const char *kPath = "/run/lock/halcyra-updater.lock";

  explicit UpdateLock(const QString &path = QString::fromLatin1(kPath));
  ~UpdateLock();
  Q_DISABLE_COPY(UpdateLock)

  // Takes the lock unless another copy holds it; true when this copy holds it. Where no lock
  // can be made at all (no /run/lock), the update is not held back for it.
  bool take();

private:
  QString path;
  int fd = -1;
  bool held = false;
};
