#pragma once

#include <sys/types.h>

#include <string>

// Forgiving wrappers around file-system and environment access: failures give
// empty text, false or the caller's default, never an error.
namespace util {

std::string read_file(const std::string &fn);
std::string readlink(const std::string &path);
bool file_exists(const std::string &fn);
bool create_directories(const std::string &dir, mode_t mode);

std::string getenv(const char *key, std::string default_val = "");
float getenv(const char *key, float default_val);

}  // namespace util
