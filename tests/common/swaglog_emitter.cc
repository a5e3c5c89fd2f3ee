// Child process for the log sink tests: the sink keeps one state per process,
// so every environment case runs in a process of its own. Commands from argv:
//   log LEVEL TEXT      one record with TEXT as its message
//   at FILE FUNC TEXT   one warning from that call site; "-" for a name passes none
//   callsite            one warning through LOGW; prints FILE:LINE:FUNC of it to stderr
//   setenv NAME VALUE   / unsetenv NAME
//   burst N             N debug records as fast as possible
//   threads T N         T threads each log N warnings "thread t record i"
//   wait                block until a line arrives on stdin
//   sleep               pause half a second (lets a late collector connect)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "common/swaglog.h"

namespace {

void log_from_threads(int thread_count, int records) {
  std::vector<std::thread> threads;
  for (int t = 0; t < thread_count; ++t) {
    threads.emplace_back([t, records] {
      for (int i = 0; i < records; ++i)
        LOGW("thread %d record %d", t, i);
    });
  }
  for (auto &thread : threads)
    thread.join();
}

}  // namespace

int main(int argc, char *argv[]) {
  for (int i = 1; i < argc; ++i) {
    const std::string cmd = argv[i];
    if (cmd == "log" && i + 2 < argc) {
      cloudlog_e(std::atoi(argv[i + 1]), "emitter.cc", 42, "emit", "%s", argv[i + 2]);
      i += 2;
    } else if (cmd == "at" && i + 3 < argc) {
      const auto name = [](const char *arg) { return std::strcmp(arg, "-") == 0 ? nullptr : arg; };
      cloudlog_e(CLOUDLOG_WARNING, name(argv[i + 1]), 7, name(argv[i + 2]), "%s", argv[i + 3]);
      i += 3;
    } else if (cmd == "callsite") {
      // clang-format off
      LOGW("call site %d", 7); fprintf(stderr, "%s:%d:%s\n", __FILE__, __LINE__, __func__);
      // clang-format on
    } else if (cmd == "setenv" && i + 2 < argc) {
      setenv(argv[i + 1], argv[i + 2], 1);
      i += 2;
    } else if (cmd == "unsetenv" && i + 1 < argc) {
      unsetenv(argv[++i]);
    } else if (cmd == "burst" && i + 1 < argc) {
      const int n = std::atoi(argv[++i]);
      for (int k = 0; k < n; ++k)
        LOGD("burst record %d", k);
    } else if (cmd == "threads" && i + 2 < argc) {
      log_from_threads(std::atoi(argv[i + 1]), std::atoi(argv[i + 2]));
      i += 2;
    } else if (cmd == "wait") {
      std::string line;
      std::getline(std::cin, line);
    } else if (cmd == "sleep") {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    } else {
      fprintf(stderr, "emitter: bad command %s\n", cmd.c_str());
      return 2;
    }
  }
  return 0;
}
