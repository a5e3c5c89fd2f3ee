// Child process for the store's concurrency tests, using the store as the
// device's other programs do.
//   write ROOT WRITER COUNT     put COUNT self-checking values (0: until killed) on keys K0..K3
//   read ROOT STOPFILE SECONDS  read K0..K3 until STOPFILE exists; prints "reads=N torn=M"
//   open ROOT FIFO WRITER       once FIFO is opened for writing, open the store and put key W<WRITER>
// Exit status 0 when every value read was whole.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/params.h"
#include "tests/common/hammer_value.h"

namespace {

const int kKeys = 4;

std::string key_name(long k) {
  return "K" + std::to_string(k % kKeys);
}

int write_values(const std::string &root, int writer, long count) {
  Params params(root);
  for (long seq = 0; count == 0 || seq < count; ++seq) {
    // Distinct sequence numbers across writers keep every value unique.
    const long unique_seq = seq * 1000 + writer;
    if (params.put(key_name(seq), hammer::make_value(writer, unique_seq)) != 0) {
      fprintf(stderr, "put failed\n");
      return 1;
    }
  }
  return 0;
}

int read_values(const std::string &root, const std::string &stop_file, int seconds) {
  Params params(root);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  bool seen[kKeys] = {};
  long reads = 0, torn = 0;
  struct stat st;
  while (::stat(stop_file.c_str(), &st) != 0 && std::chrono::steady_clock::now() < deadline) {
    for (int k = 0; k < kKeys; ++k) {
      const std::string value = params.get(key_name(k));
      // Once written, a key never reads as missing again.
      if (value.empty() ? seen[k] : !hammer::is_whole(value))
        ++torn;
      seen[k] = seen[k] || !value.empty();
      ++reads;
    }
  }
  printf("reads=%ld torn=%ld\n", reads, torn);
  return torn == 0 ? 0 : 1;
}

// Many of these wait on one FIFO and are let go together, to open a store that does not exist yet
// at the same moment.
int open_and_put(const std::string &root, const std::string &fifo, int writer) {
  const int fd = ::open(fifo.c_str(), O_RDONLY);
  if (fd < 0)
    return 2;
  ::close(fd);
  Params params(root);
  return params.put("W" + std::to_string(writer), std::to_string(writer)) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char *argv[]) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "write" && argc == 5)
    return write_values(argv[2], std::atoi(argv[3]), std::atol(argv[4]));
  if (mode == "read" && argc == 5)
    return read_values(argv[2], argv[3], std::atoi(argv[4]));
  if (mode == "open" && argc == 5)
    return open_and_put(argv[2], argv[3], std::atoi(argv[4]));
  fprintf(stderr,
          "usage: params_hammer write ROOT WRITER COUNT | read ROOT STOPFILE SECONDS | open ROOT FIFO WRITER\n");
  return 2;
}
