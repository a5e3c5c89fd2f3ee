// screen_ask SOCKET FIELD...: asks the screen probe of a running program one question (see
// probe.h) and prints the answer without its leading "ok". Exits 0 on "ok", 1 on "no", and 2 when
// the probe cannot be reached or does not understand. Plain POSIX, so a script's many calls stay cheap.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int fail(const char *what) {
  std::fprintf(stderr, "screen_ask: %s: %s\n", what, std::strerror(errno));
  return 2;
}

}  // namespace

int main(int argc, char *argv[]) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: screen_ask SOCKET FIELD...\n");
    return 2;
  }
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (std::strlen(argv[1]) >= sizeof(address.sun_path)) {
    std::fprintf(stderr, "screen_ask: socket path too long\n");
    return 2;
  }
  std::strcpy(address.sun_path, argv[1]);

  std::string request;
  for (int i = 2; i < argc; ++i) {
    request += (i > 2 ? "\t" : "") + std::string(argv[i]);
  }
  request += '\n';

  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return fail("socket");
  }
  if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
    return fail(argv[1]);
  }
  if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
    return fail("write");
  }
  std::string reply;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof(buf))) > 0;) {
    reply.append(buf, n);
  }
  close(fd);

  if (reply.compare(0, 2, "ok") == 0) {
    const size_t skip = reply.size() > 2 && (reply[2] == ' ' || reply[2] == '\n') ? 3 : 2;
    std::fputs(reply.c_str() + skip, stdout);
    return 0;
  }
  if (reply.compare(0, 2, "no") == 0) {
    return 1;
  }
  std::fprintf(stderr, "screen_ask: %s", reply.empty() ? "no answer\n" : reply.c_str());
  return 2;
}
