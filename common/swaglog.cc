#include "common/swaglog.h"

#include <zmq.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "common/util.h"
#include "system/hardware/zorv/hardware.h"

namespace Path {
std::string swaglog_ipc() {
  return "ipc:///tmp/logmessage" + util::getenv("HALCYRA_PREFIX", "");
}
}  // namespace Path

namespace {

int print_level_from_env() {
  const char *value = std::getenv("LOGPRINT");
  if (!value)
    return CLOUDLOG_WARNING;
  const std::string name(value);
  if (name == "debug")
    return CLOUDLOG_DEBUG;
  if (name == "info")
    return CLOUDLOG_INFO;
  return CLOUDLOG_WARNING;
}

Json context_from_env() {
  Json::object ctx;
  const std::pair<const char *, const char *> optional_keys[] = {
      {"dongle_id", "DONGLE_ID"}, {"origin", "GIT_ORIGIN"},     {"branch", "GIT_BRANCH"},
      {"commit", "GIT_COMMIT"},   {"daemon", "MANAGER_DAEMON"},
  };
  for (const auto &[key, variable] : optional_keys) {
    if (const char *value = std::getenv(variable))
      ctx[key] = value;
  }
  ctx["version"] = "0.9.8";
  ctx["dirty"] = std::getenv("CLEAN") == nullptr;
  ctx["device"] = HardwareZorv::get_name();
  return Json(std::move(ctx));
}

SwaglogState &state() {
  // Created on first use (thread-safe), torn down at normal exit.
  static SwaglogState s;
  return s;
}

double wall_time() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

struct FreeDeleter {
  void operator()(char *p) const { free(p); }
};

}  // namespace

SwaglogState::SwaglogState() {
  zctx = zmq_ctx_new();
  sock = zmq_socket(zctx, ZMQ_PUSH);
  const int linger_ms = 100;
  zmq_setsockopt(sock, ZMQ_LINGER, &linger_ms, sizeof(linger_ms));
  zmq_connect(sock, Path::swaglog_ipc().c_str());

  print_level = print_level_from_env();
  ctx_j = context_from_env();
}

SwaglogState::~SwaglogState() {
  zmq_close(sock);
  zmq_ctx_destroy(zctx);
}

void SwaglogState::log(int levelnum, const char *filename, int /*lineno*/, const char * /*func*/, const char *msg,
                       const std::string &log_s) {
  std::lock_guard<std::mutex> guard(lock);
  if (levelnum >= print_level) {
    printf("%s: %s\n", filename, msg);
  }
  zmq_send(sock, log_s.data(), log_s.size(), ZMQ_NOBLOCK);
}

void cloudlog_e(int levelnum, const char *filename, int lineno, const char *func, const char *fmt, ...) {
  char *raw_msg = nullptr;
  va_list args;
  va_start(args, fmt);
  const int len = vasprintf(&raw_msg, fmt, args);
  va_end(args);
  if (len < 0)
    return;
  const std::unique_ptr<char, FreeDeleter> msg(raw_msg);
  if (len == 0)
    return;

  SwaglogState &s = state();
  const Json record = Json::object{
      {"ctx", s.ctx_j},   {"levelnum", levelnum},   {"filename", filename}, {"lineno", lineno},
      {"funcname", func}, {"created", wall_time()}, {"msg", msg.get()},
  };

  std::string log_s(1, static_cast<char>(levelnum & 0xff));
  record.dump(log_s);
  s.log(levelnum, filename, lineno, func, msg.get(), log_s);
}
