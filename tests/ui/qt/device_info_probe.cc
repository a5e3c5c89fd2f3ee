// Child process for the device information tests: getVersion keeps its first
// answer for the life of the process, so each store state needs a fresh one.
// Prints version=, agent=, dongle= ("none" or the identifier in brackets), ssh=.
#include <cstdio>

#include "system/hardware/zorv/hardware.h"
#include "ui/qt/util.h"

int main() {
  const std::optional<QString> dongle = getDongleId();
  printf("version=%s\nagent=%s\ndongle=%s\nssh=%d\n", getVersion().toUtf8().constData(),
         getUserAgent().toUtf8().constData(), dongle ? ("[" + dongle->toUtf8() + "]").constData() : "none",
         HardwareZorv::get_ssh_enabled() ? 1 : 0);
  return 0;
}
