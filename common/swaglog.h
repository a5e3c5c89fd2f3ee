#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "common/json.h"

#define CLOUDLOG_DEBUG 10
#define CLOUDLOG_INFO 20
#define CLOUDLOG_WARNING 30
#define CLOUDLOG_ERROR 40

namespace Path {
std::string swaglog_ipc();
}

// Process-wide sink: one push socket to the local log collector and the
// context attached to every record, both set up on the first log call.
class SwaglogState {
public:
  SwaglogState();
  ~SwaglogState();
  SwaglogState(const SwaglogState &) = delete;
  SwaglogState &operator=(const SwaglogState &) = delete;

  void log(int levelnum, const char *filename, int lineno, const char *func, const char *msg, std::string_view log_s);

  std::mutex lock;
  void *zctx = nullptr;
  void *sock = nullptr;
  int print_level = CLOUDLOG_WARNING;
  Json ctx_j;
  std::string ctx_s;  // ctx_j serialised once: it never changes
};

void cloudlog_e(int levelnum, const char *filename, int lineno, const char *func, const char *fmt, ...)
    __attribute__((format(printf, 5, 6)));

// Call sites state only the level, the format and its arguments.
#define cloudlog(lvl, fmt, ...) cloudlog_e(lvl, __FILE__, __LINE__, __func__, fmt, ##__VA_ARGS__)

#define LOGD(fmt, ...) cloudlog(CLOUDLOG_DEBUG, fmt, ##__VA_ARGS__)
#define LOG(fmt, ...) cloudlog(CLOUDLOG_INFO, fmt, ##__VA_ARGS__)
#define LOGW(fmt, ...) cloudlog(CLOUDLOG_WARNING, fmt, ##__VA_ARGS__)
#define LOGE(fmt, ...) cloudlog(CLOUDLOG_ERROR, fmt, ##__VA_ARGS__)
