#include "common/params.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "common/swaglog.h"
#include "common/util.h"

namespace {

constexpr int kMaxRetries = 100;

// Retries a system call interrupted by a signal, a bounded number of times.
template <typename F>
auto retry_eintr(F call) {
  auto ret = call();
  for (int i = 0; ret == -1 && errno == EINTR && i < kMaxRetries; ++i)
    ret = call();
  return ret;
}

// Anything else would name a file outside the key directory.
bool is_valid_key(const std::string &key) {
  return !key.empty() && key != "." && key != ".." && key.find('/') == std::string::npos &&
         key.find('\0') == std::string::npos;
}

int write_and_flush(int fd, const char *value, size_t size) {
  const ssize_t written = retry_eintr([&] { return ::write(fd, value, size); });
  if (written < 0 || static_cast<size_t>(written) != size)
    return -20;
  return ::fsync(fd);
}

int fsync_dir(const std::string &path) {
  const int fd = retry_eintr([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); });
  if (fd < 0)
    return -1;
  const int result = retry_eintr([&] { return ::fsync(fd); });
  const int close_result = retry_eintr([&] { return ::close(fd); });
  return result < 0 || close_result < 0 ? -1 : 0;
}

// Exclusive advisory lock on the store's lock file for the lifetime of the
// object. Writers carry on without it when it cannot be taken.
class FileLock {
public:
  explicit FileLock(const std::string &path) {
    fd_ = retry_eintr([&] { return ::open(path.c_str(), O_CREAT | O_RDONLY | O_CLOEXEC, 0775); });
    if (fd_ < 0 || retry_eintr([&] { return ::flock(fd_, LOCK_EX); }) < 0) {
      LOGE("Failed to lock file %s, errno=%d", path.c_str(), errno);
    }
  }
  ~FileLock() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  FileLock(const FileLock &) = delete;
  FileLock &operator=(const FileLock &) = delete;

private:
  int fd_ = -1;
};

// Puts the new link in place unless another process has just made a usable key directory: a plain
// rename would replace it, and what that process has written since would vanish with its link.
// Only a missing or dangling link is replaced.
bool place_key_directory_link(const std::string &link_path, const std::string &tmp_dir, const std::string &key_dir) {
  if (::renameat2(AT_FDCWD, link_path.c_str(), AT_FDCWD, key_dir.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno == EEXIST && util::file_exists(key_dir)) {
    ::unlink(link_path.c_str());
    ::rmdir(tmp_dir.c_str());
    return true;
  }
  return ::rename(link_path.c_str(), key_dir.c_str()) == 0 || errno == EEXIST;
}

bool create_key_directory(const std::string &root, const std::string &key_dir) {
  std::string tmp_dir = root + "/.tmp_XXXXXX";
  if (::mkdtemp(tmp_dir.data()) == nullptr)
    return false;

  const std::string link_path = tmp_dir + ".link";
  if (::symlink(tmp_dir.c_str(), link_path.c_str()) < 0)
    return false;
  return place_key_directory_link(link_path, tmp_dir, key_dir);
}

bool ensure_params_path(const std::string &root, const std::string &prefix) {
  if (!util::file_exists(root) && !util::create_directories(root, 0775))
    return false;
  const std::string key_dir = root + prefix;
  return util::file_exists(key_dir) || create_key_directory(root, key_dir);
}

}  // namespace

Params::Params(const std::string &path) {
  params_prefix = "/" + util::getenv("HALCYRA_PREFIX", "d");
  const std::string root = !path.empty() ? path : util::getenv("PARAMS_ROOT", "/data/params");
  if (!ensure_params_path(root, params_prefix)) {
    char buf[4096];
    snprintf(buf, sizeof(buf), "Failed to ensure params path, errno=%d, path=%s, param_prefix=%s", errno, root.c_str(),
             params_prefix.c_str());
    throw std::runtime_error(buf);
  }
  params_path = root;
}

std::string Params::getParamPath(const std::string &key) const {
  std::string path = params_path + params_prefix;
  if (!key.empty())
    path += "/" + key;
  return path;
}

std::string Params::get(const std::string &key) const {
  if (!is_valid_key(key))
    return {};
  return util::read_file(getParamPath(key));
}

bool Params::getBool(const std::string &key) const {
  return get(key) == "1";
}

int Params::put(const std::string &key, const std::string &value) {
  if (!is_valid_key(key))
    return -1;
  return put(key.c_str(), value.data(), value.size());
}

int Params::putBool(const std::string &key, bool value) {
  return put(key, value ? "1" : "0");
}

int Params::put(const char *key, const char *value, size_t value_size) {
  if (key == nullptr || !is_valid_key(key))
    return -1;

  std::string tmp_path = params_path + "/.tmp_value_XXXXXX";
  const int tmp_fd = ::mkostemp(tmp_path.data(), O_CLOEXEC);
  if (tmp_fd < 0)
    return -1;

  int result = write_and_flush(tmp_fd, value, value_size);
  bool renamed = false;
  if (result == 0) {
    // Held only around the rename and the directory flush.
    const FileLock lock(params_path + "/.lock");
    result = ::rename(tmp_path.c_str(), getParamPath(key).c_str());
    renamed = result == 0;
    if (renamed)
      result = fsync_dir(getParamPath());
  }

  ::close(tmp_fd);
  // After a successful rename the value is in place even if the directory flush failed.
  if (result != 0 && !renamed)
    ::unlink(tmp_path.c_str());
  return result;
}

int Params::remove(const std::string &key) {
  if (!is_valid_key(key))
    return -1;

  const FileLock lock(params_path + "/.lock");
  if (::unlink(getParamPath(key).c_str()) != 0)
    return -1;
  return fsync_dir(getParamPath());
}
