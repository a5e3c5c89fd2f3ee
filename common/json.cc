#include "common/json.h"

#include <cmath>
#include <cstdio>

namespace {

void dump_string(const std::string &value, std::string &out) {
  out += '"';
  for (size_t i = 0; i < value.size(); ++i) {
    const char ch = value[i];
    if (ch == '\\') {
      out += "\\\\";
    } else if (ch == '"') {
      out += "\\\"";
    } else if (ch == '\b') {
      out += "\\b";
    } else if (ch == '\f') {
      out += "\\f";
    } else if (ch == '\n') {
      out += "\\n";
    } else if (ch == '\r') {
      out += "\\r";
    } else if (ch == '\t') {
      out += "\\t";
    } else if (static_cast<unsigned char>(ch) <= 0x1f) {
      char buf[8];
      snprintf(buf, sizeof(buf), "\\u%04x", static_cast<unsigned char>(ch));
      out += buf;
    } else if (static_cast<unsigned char>(ch) == 0xe2 && i + 2 < value.size() &&
               static_cast<unsigned char>(value[i + 1]) == 0x80 &&
               (static_cast<unsigned char>(value[i + 2]) == 0xa8 || static_cast<unsigned char>(value[i + 2]) == 0xa9)) {
      // Line and paragraph separators end lines in JavaScript.
      out += static_cast<unsigned char>(value[i + 2]) == 0xa8 ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += ch;
    }
  }
  out += '"';
}

void dump_double(double value, std::string &out) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char buf[32];
  snprintf(buf, sizeof(buf), "%.17g", value);
  out += buf;
}

template <class... Ts>
struct overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
overloaded(Ts...) -> overloaded<Ts...>;

}  // namespace

std::string Json::dump() const {
  std::string out;
  dump(out);
  return out;
}

void Json::dump(std::string &out) const {
  std::visit(overloaded{
                 [&](std::nullptr_t) { out += "null"; },
                 [&](bool value) { out += value ? "true" : "false"; },
                 [&](int value) { out += std::to_string(value); },
                 [&](double value) { dump_double(value, out); },
                 [&](const std::shared_ptr<const std::string> &value) { dump_string(*value, out); },
                 [&](const std::shared_ptr<const array> &values) {
                   out += '[';
                   for (size_t i = 0; i < values->size(); ++i) {
                     if (i > 0)
                       out += ", ";
                     (*values)[i].dump(out);
                   }
                   out += ']';
                 },
                 [&](const std::shared_ptr<const object> &values) {
                   out += '{';
                   bool first = true;
                   for (const auto &[key, value] : *values) {
                     if (!first)
                       out += ", ";
                     first = false;
                     dump_string(key, out);
                     out += ": ";
                     value.dump(out);
                   }
                   out += '}';
                 },
             },
             value_);
}
