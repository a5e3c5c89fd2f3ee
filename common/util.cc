#include "common/util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace util {

namespace {

// Reads until end of file; kernel virtual files report size 0 yet have content.
bool read_to_end(int fd, std::string &out) {
  char buf[4096];
  while (true) {
    const ssize_t n = ::read(fd, buf, sizeof(buf));
    if (n == 0)
      return true;
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    out.append(buf, n);
  }
}

bool read_exactly(int fd, std::string &out, size_t size) {
  out.resize(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, &out[done], size - done);
    if (n == 0)
      break;  // the file shrank meanwhile: keep what was there
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    done += n;
  }
  out.resize(done);
  return true;
}

}  // namespace

std::string read_file(const std::string &fn) {
  const int fd = ::open(fn.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return {};

  std::string out;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  if (ok) {
    ok = st.st_size > 0 ? read_exactly(fd, out, st.st_size) : read_to_end(fd, out);
  }
  ::close(fd);
  return ok ? out : std::string();
}

std::string readlink(const std::string &path) {
  char buf[4096];
  const ssize_t n = ::readlink(path.c_str(), buf, sizeof(buf) - 1);
  if (n < 0)
    return {};
  return std::string(buf, n);
}

bool file_exists(const std::string &fn) {
  struct stat st;
  return ::stat(fn.c_str(), &st) == 0;
}

namespace {

bool is_directory(const std::string &dir) {
  struct stat st;
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool create_directories_recursive(std::string dir, mode_t mode) {
  while (dir.size() >= 2 && dir.back() == '/')
    dir.pop_back();

  if (::mkdir(dir.c_str(), mode) == 0)
    return true;
  if (errno == EEXIST)
    return is_directory(dir);
  if (errno != ENOENT)
    return false;

  const size_t slash = dir.rfind('/');
  if (slash == std::string::npos || slash == 0)
    return false;
  if (!create_directories_recursive(dir.substr(0, slash), mode))
    return false;

  if (::mkdir(dir.c_str(), mode) == 0)
    return true;
  return errno == EEXIST && is_directory(dir);
}

}  // namespace

bool create_directories(const std::string &dir, mode_t mode) {
  if (dir.empty())
    return false;
  return create_directories_recursive(dir, mode);
}

std::string getenv(const char *key, std::string default_val) {
  const char *value = std::getenv(key);
  return value ? std::string(value) : default_val;
}

float getenv(const char *key, float default_val) {
  const char *value = std::getenv(key);
  return value ? static_cast<float>(std::strtod(value, nullptr)) : default_val;
}

}  // namespace util
