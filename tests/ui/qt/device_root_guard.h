#pragma once

#include <fstream>
#include <sstream>
#include <string>

// True when /persist and /data are tmpfs mounts, as tests/fixtures/device_root.sh makes
// them in its private mount namespace: only then may the fixed device paths be written.
inline bool inDeviceRoot() {
  std::ifstream mounts("/proc/self/mounts");
  bool persist = false, data = false;
  for (std::string line; std::getline(mounts, line);) {
    std::istringstream fields(line);
    std::string source, target, type;
    fields >> source >> target >> type;
    if (type == "tmpfs") {
      persist |= target == "/persist";
      data |= target == "/data";
    }
  }
  return persist && data;
}
