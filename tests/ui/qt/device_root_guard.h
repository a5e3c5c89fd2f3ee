#pragma once

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

// Runs this program again, with the same arguments, through the device root fixture at `fixture`,
// unless it already runs inside one. Returns whether it runs inside one: false only when the run
// through the fixture cannot start.
inline bool runInDeviceRoot(const char *fixture, char *argv[]) {
  if (inDeviceRoot()) {
    return true;
  }
  std::string self(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (length <= 0) {
    std::perror("/proc/self/exe");
    return false;
  }
  self.resize(static_cast<size_t>(length));
  std::vector<char *> args{const_cast<char *>(fixture), self.data()};
  for (int i = 1; argv[i] != nullptr; ++i) {
    args.push_back(argv[i]);
  }
  args.push_back(nullptr);
  execv(fixture, args.data());
  std::perror(fixture);
  return false;
}
