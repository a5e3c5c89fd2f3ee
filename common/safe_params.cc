#include "common/safe_params.h"

#include <exception>

#include "common/swaglog.h"

SafeParams::SafeParams(const std::string &path) {
  try {
    params.emplace(path);
  } catch (const std::exception &e) {
    LOGE("Failed to open params: %s", e.what());
  }
}

std::string SafeParams::get(const std::string &key) const {
  return params ? params->get(key) : std::string();
}

bool SafeParams::getBool(const std::string &key) const {
  return params && params->getBool(key);
}

int SafeParams::put(const std::string &key, const std::string &value) {
  return params ? params->put(key, value) : -1;
}

int SafeParams::putBool(const std::string &key, bool value) {
  return params ? params->putBool(key, value) : -1;
}

int SafeParams::remove(const std::string &key) {
  return params ? params->remove(key) : -1;
}
