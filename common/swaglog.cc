#include "common/swaglog.h"

#include <zmq.h>

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string_view>
#include <vector>

#include "common/device_model.h"
#include "common/printf_format.h"
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

// A text with its JSON string, made again only when a different text comes: log calls pass the same
// file and function names over and over. The text is compared, not its address: a caller's buffer
// may hold another name by the next call.
class JsonStringOf {
public:
  std::string_view operator()(const char *text) {
    if (std::strncmp(text, raw.c_str(), raw.size() + 1) != 0) {
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
  // The record's room is made for six times the message (each byte may become a \u escape): a rare
  // long message's room is given back rather than kept for the thread's life.
  void give_back_long_message_room() {
    constexpr size_t kMaxKeptRecordRoom = 64 * 1024;
    if (record.size() > kMaxKeptRecordRoom) {
      record = std::vector<char>();
      message = PrintfFormatter();
    }
  }

  PrintfFormatter message;
  std::vector<char> record;  // as large as the largest record yet, not as this one
  JsonStringOf filename;
  JsonStringOf funcname;
};

// Each member's name with what comes before it, in the byte order of the names.
constexpr std::string_view kCreated = R"({"created": )";
constexpr std::string_view kCtx = R"(, "ctx": )";
constexpr std::string_view kFilename = R"(, "filename": )";
constexpr std::string_view kFuncname = R"(, "funcname": )";
constexpr std::string_view kLevelnum = R"(, "levelnum": )";
constexpr std::string_view kLineno = R"(, "lineno": )";
constexpr std::string_view kMsg = R"(, "msg": )";

constexpr size_t kMaxIntLength = 11;  // -2147483648
// The level byte, the names, the closing brace and the numbers at their longest.
constexpr size_t kMaxFixedLength = 1 + kCreated.size() + kCtx.size() + kFilename.size() + kFuncname.size() +
                                   kLevelnum.size() + kLineno.size() + kMsg.size() + 1 + Json::kMaxNumberLength +
                                   2 * kMaxIntLength;

// Writes one record into room made for it beforehand, so that no piece checks for space.
class RecordWriter {
public:
  explicit RecordWriter(char *start) : end_(start) {}

  void put(char ch) { *end_++ = ch; }
  void put(std::string_view text) {
    std::memcpy(end_, text.data(), text.size());
    end_ += text.size();
  }
  void put_int(int value) { end_ = std::to_chars(end_, end_ + kMaxIntLength, value).ptr; }
  void put_number(double value) { end_ = Json::dump_number(value, end_); }
  void put_json_string(std::string_view text) { end_ = Json::dump_string(text, end_); }

  char *end() const { return end_; }

private:
  char *end_;
};

// The level byte, then the record in the compact form of its JSON object: keys
// in byte order, so laid out here in that order.
std::string_view build_wire_message(ThreadBuffers &buffers, const SwaglogState &s, int levelnum, const char *filename,
                                    int lineno, const char *func, std::string_view msg) {
  const std::string_view filename_json = buffers.filename(filename);
  const std::string_view funcname_json = buffers.funcname(func);
  const size_t max_length = kMaxFixedLength + s.ctx_s.size() + filename_json.size() + funcname_json.size() +
                            Json::max_string_length(msg.size());
  if (buffers.record.size() < max_length)
    buffers.record.resize(max_length);

  RecordWriter out(buffers.record.data());
  out.put(static_cast<char>(levelnum & 0xff));
  out.put(kCreated);
  out.put_number(wall_time());
  out.put(kCtx);
  out.put(s.ctx_s);
  out.put(kFilename);
  out.put(filename_json);
  out.put(kFuncname);
  out.put(funcname_json);
  out.put(kLevelnum);
  out.put_int(levelnum);
  out.put(kLineno);
  out.put_int(lineno);
  out.put(kMsg);
  out.put_json_string(msg);
  out.put('}');
  return {buffers.record.data(), static_cast<size_t>(out.end() - buffers.record.data())};
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
                       std::string_view log_s) {
  std::lock_guard<std::mutex> guard(lock);
  if (levelnum >= print_level) {
    printf("%s: %s\n", filename, msg);
  }
  zmq_send(sock, log_s.data(), log_s.size(), ZMQ_NOBLOCK);
}

void cloudlog_e(int levelnum, const char *filename, int lineno, const char *func, const char *fmt, ...) {
  thread_local ThreadBuffers buffers;

  va_list args;
  va_start(args, fmt);
  const std::optional<std::string_view> text = buffers.message.format(fmt, args);
  va_end(args);
  // The message ends at its first NUL byte, as it always has.
  const char *msg = text ? text->data() : "";
  if (msg[0] == '\0')
    return;

  // The call-site macros always pass both; a hand-made call might not.
  if (!filename)
    filename = "";
  if (!func)
    func = "";
  SwaglogState &s = state();
  const std::string_view record = build_wire_message(buffers, s, levelnum, filename, lineno, func, msg);
  s.log(levelnum, filename, lineno, func, msg, record);
  buffers.give_back_long_message_room();
}
