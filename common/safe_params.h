#pragma once

#include <optional>
#include <string>

#include "common/params.h"

// The parameter store as the program uses it. The program is how a device with a damaged data
// partition gets repaired, so a store that cannot be opened (a file in the way, a read-only or
// full partition) must not stop it: the failure is logged, reads give the empty string, and
// writes and removals fail with -1.
class SafeParams {
public:
  explicit SafeParams(const std::string &path = {});

  std::string get(const std::string &key) const;
  bool getBool(const std::string &key) const;
  int put(const std::string &key, const std::string &value);
  int putBool(const std::string &key, bool value);
  int remove(const std::string &key);

private:
  std::optional<Params> params;
};
