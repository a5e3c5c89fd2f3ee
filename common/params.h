#pragma once

#include <cstddef>
#include <string>

// File-per-key store shared with the device's other processes.
class Params {
public:
  // Throws std::runtime_error when the root or key directory cannot be made.
  explicit Params(const std::string &path = {});

  std::string getParamPath(const std::string &key = {}) const;

  std::string get(const std::string &key) const;
  bool getBool(const std::string &key) const;

  int put(const char *key, const char *value, size_t value_size);
  int put(const std::string &key, const std::string &value);
  int putBool(const std::string &key, bool value);
  int remove(const std::string &key);

private:
  std::string params_path;
  std::string params_prefix;
};
