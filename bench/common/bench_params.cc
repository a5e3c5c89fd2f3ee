// Params::put and Params::get against the bare system calls they must make, run
// side by side in alternating rounds on the same file system.
// Usage: bench_params [DIR] (default: a fresh directory under /tmp).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "common/params.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_for(int iterations, const std::function<void(int)> &op) {
  const auto start = Clock::now();
  for (int i = 0; i < iterations; ++i)
    op(i);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The minimum a crash-safe replace needs: write, flush, rename, flush directory.
void raw_put(const std::string &dir, const std::string &tmp, const std::string &key, const std::string &value) {
  const int fd = ::open(tmp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0 || ::write(fd, value.data(), value.size()) != ssize_t(value.size()) || ::fsync(fd) != 0)
    abort();
  ::close(fd);
  if (::rename(tmp.c_str(), key.c_str()) != 0)
    abort();
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_CLOEXEC);
  if (dfd < 0 || ::fsync(dfd) != 0)
    abort();
  ::close(dfd);
}

std::string raw_get(const std::string &path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    abort();
  char buf[256];
  std::string out;
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof(buf))) > 0)
    out.append(buf, n);
  ::close(fd);
  return out;
}

struct Pair {
  double subject = 0;
  double baseline = 0;
};

Pair compare(int rounds, int iterations, const std::function<void(int)> &subject,
             const std::function<void(int)> &baseline) {
  Pair total;
  for (int r = 0; r < rounds; ++r) {
    // Alternate which goes first so neither always runs on a warmer cache.
    const double b1 = r % 2 ? seconds_for(iterations, baseline) : 0;
    const double s = seconds_for(iterations, subject);
    const double b2 = r % 2 ? 0 : seconds_for(iterations, baseline);
    total.subject += s;
    total.baseline += b1 + b2;
  }
  total.subject /= double(rounds) * iterations;
  total.baseline /= double(rounds) * iterations;
  return total;
}

void report(const char *name, const Pair &p) {
  printf("%-12s %10.2f us/op   baseline %10.2f us/op   ratio %.3f\n", name, p.subject * 1e6, p.baseline * 1e6,
         p.subject / p.baseline);
}

}  // namespace

int main(int argc, char *argv[]) {
  std::string dir;
  if (argc > 1) {
    dir = argv[1];
  } else {
    char tmpl[] = "/tmp/bench_params.XXXXXX";
    if (!::mkdtemp(tmpl))
      return 1;
    dir = tmpl;
  }
  Params params(dir + "/store");
  const std::string raw_dir = dir + "/raw";
  ::mkdir(raw_dir.c_str(), 0755);
  const std::string value(64, 'v');  // a typical setting

  const Pair put = compare(
      10, 50, [&](int) { params.put("Key", value); },
      [&](int) { raw_put(raw_dir, raw_dir + "/.tmp", raw_dir + "/Key", value); });
  report("put", put);

  size_t sink = 0;
  const Pair get = compare(
      10, 20000, [&](int) { sink += params.get("Key").size(); },
      [&](int) { sink += raw_get(raw_dir + "/Key").size(); });
  report("get", get);

  if (argc <= 1)
    std::system(("rm -rf " + dir).c_str());
  return sink == 0;
}
