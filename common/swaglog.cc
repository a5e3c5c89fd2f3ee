#include "common/swaglog.h"

#include <zmq.h>

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>
#include <vector>

#include "common/device_model.h"
#include "common/util.h"

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
  ctx["device"] = device_model_name();
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

void append_int(int value, std::string &out) {
  char digits[16];
  out.append(digits, std::to_chars(digits, digits + sizeof(digits), value).ptr);
}

// A text with its JSON string, made again only when a different text comes: log calls pass the same
// file and function names over and over.
class JsonStringOf {
public:
  const std::string &operator()(const char *text) {
    if (raw != text) {
      raw = text;
      json.clear();
      Json::dump_string(raw, json);
    }
    return json;
  }

private:
  std::string raw;
  std::string json = R"("")";  // what the empty text starts cached as
};

// What a thread keeps from one log call to the next, so that once warm a call allocates nothing.
struct ThreadBuffers {
  std::vector<char> message = std::vector<char>(1024);
  std::string record;
  JsonStringOf filename;
  JsonStringOf funcname;
};

// The level byte, then the record in the compact form of its JSON object: keys
// in byte order, so laid out here in that order.
void build_wire_message(ThreadBuffers &buffers, const SwaglogState &s, int levelnum, const char *filename, int lineno,
                        const char *func, const char *msg) {
  using namespace std::string_view_literals;
  std::string &out = buffers.record;
  out.clear();
  out += static_cast<char>(levelnum & 0xff);
  out += R"({"created": )"sv;
  Json::dump_number(wall_time(), out);
  out += R"(, "ctx": )"sv;
  out += s.ctx_s;
  out += R"(, "filename": )"sv;
  out += buffers.filename(filename);
  out += R"(, "funcname": )"sv;
  out += buffers.funcname(func);
  out += R"(, "levelnum": )"sv;
  append_int(levelnum, out);
  out += R"(, "lineno": )"sv;
  append_int(lineno, out);
  out += R"(, "msg": )"sv;
  Json::dump_string(msg, out);
  out += '}';
}

// Formats into `small` when the text fits (no allocation for the usual short
// message), else into `large`. Returns the text, or null when formatting fails.
const char *format_message(std::vector<char> &small, std::vector<char> &large, const char *fmt, va_list args) {
  va_list retry;
  va_copy(retry, args);
  const int len = vsnprintf(small.data(), small.size(), fmt, args);
  const char *text = small.data();
  if (len < 0) {
    text = nullptr;
  } else if (static_cast<size_t>(len) >= small.size()) {
    large.resize(static_cast<size_t>(len) + 1);
    text = vsnprintf(large.data(), large.size(), fmt, retry) == len ? large.data() : nullptr;
  }
  va_end(retry);
  return text;
}

}  // namespace

SwaglogState::SwaglogState() {
  zctx = zmq_ctx_new();
  sock = zmq_socket(zctx, ZMQ_PUSH);
  const int linger_ms = 100;
  zmq_setsockopt(sock, ZMQ_LINGER, &linger_ms, sizeof(linger_ms));
  zmq_connect(sock, Path::swaglog_ipc().c_str());

  print_level = print_level_from_env();
  ctx_j = context_from_env();
  ctx_s = ctx_j.dump();
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
  thread_local ThreadBuffers buffers;
  std::vector<char> large_msg;

  va_list args;
  va_start(args, fmt);
  const char *msg = format_message(buffers.message, large_msg, fmt, args);
  va_end(args);
  if (msg == nullptr || msg[0] == '\0')
    return;

  // The call-site macros always pass both; a hand-made call might not.
  if (!filename)
    filename = "";
  if (!func)
    func = "";
  SwaglogState &s = state();
  build_wire_message(buffers, s, levelnum, filename, lineno, func, msg);
  s.log(levelnum, filename, lineno, func, msg, buffers.record);
}
