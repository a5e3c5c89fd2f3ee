#include "common/json.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace {

// The bytes that a string cannot hold as they are: control characters, the quote and the backslash,
// and the lead byte of the line and paragraph separators.
constexpr std::array<bool, 256> kNeedsEscape = [] {
  std::array<bool, 256> table{};
  for (int ch = 0; ch <= 0x1f; ++ch)
    table[ch] = true;
  table['"'] = table['\\'] = table[0xe2] = true;
  return table;
}();

bool needs_escape(char ch) {
  return kNeedsEscape[static_cast<unsigned char>(ch)];
}

// The line and paragraph separators end lines in JavaScript.
bool is_js_line_break(std::string_view value, size_t i) {
  return i + 2 < value.size() && static_cast<unsigned char>(value[i + 1]) == 0x80 &&
         (static_cast<unsigned char>(value[i + 2]) == 0xa8 || static_cast<unsigned char>(value[i + 2]) == 0xa9);
}

void dump_escaped(std::string_view value, size_t &i, std::string &out) {
  const unsigned char ch = value[i];
  switch (ch) {
    case '\\':
      out += "\\\\";
      break;
    case '"':
      out += "\\\"";
      break;
    case '\b':
      out += "\\b";
      break;
    case '\f':
      out += "\\f";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    case 0xe2:
      if (is_js_line_break(value, i)) {
        out += static_cast<unsigned char>(value[i + 2]) == 0xa8 ? "\\u2028" : "\\u2029";
        i += 2;
      } else {
        out += static_cast<char>(ch);
      }
      break;
    default: {
      char buf[8];
      snprintf(buf, sizeof(buf), "\\u%04x", ch);
      out += buf;
    }
  }
}

}  // namespace

// Text is mostly bytes that need no escape: they are copied a run at a time.
void Json::dump_string(std::string_view value, std::string &out) {
  out += '"';
  size_t i = 0;
  while (i < value.size()) {
    const size_t run_end = std::find_if(value.begin() + i, value.end(), needs_escape) - value.begin();
    out.append(value, i, run_end - i);
    if (run_end == value.size())
      break;
    i = run_end;
    dump_escaped(value, i, out);
    ++i;
  }
  out += '"';
}

void Json::dump_number(double value, std::string &out) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  // Same text as printf's %.17g, without the locale and formatting overhead.
  char buf[32];
  const auto result = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::general, 17);
  out.append(buf, result.ptr);
}

namespace {

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
                 [&](double value) { dump_number(value, out); },
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
