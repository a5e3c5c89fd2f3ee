#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// Immutable JSON value whose compact dump matches the format the log collector
// parses: members in byte order of their keys, ", " and ": " separators,
// doubles as %.17g, integers in decimal. Copies share their contents.
// Strings are taken as UTF-8: each byte that is not part of a well-formed
// character is written as U+FFFD (as QString::fromUtf8 reads it), so a dump is
// always valid JSON.
class Json {
public:
  using array = std::vector<Json>;
  using object = std::map<std::string, Json>;

  Json() = default;  // null
  Json(std::nullptr_t) {}
  Json(bool value) : value_(value) {}
  Json(int value) : value_(value) {}
  Json(double value) : value_(value) {}
  Json(const char *value) {
    if (value)
      value_ = std::make_shared<const std::string>(value);
  }
  Json(const std::string &value) : value_(std::make_shared<const std::string>(value)) {}
  Json(std::string &&value) : value_(std::make_shared<const std::string>(std::move(value))) {}
  Json(const array &values) : value_(std::make_shared<const array>(values)) {}
  Json(const object &values) : value_(std::make_shared<const object>(values)) {}
  Json(object &&values) : value_(std::make_shared<const object>(std::move(values))) {}
  // Pointers other than strings would otherwise silently become booleans.
  Json(const void *) = delete;

  std::string dump() const;
  void dump(std::string &out) const;

  // The same forms for writers that lay out a fixed record themselves.
  static void dump_string(std::string_view value, std::string &out);
  static void dump_number(double value, std::string &out);

  // And into room the caller has made: at most this many bytes. They return the end of the text.
  static constexpr size_t max_string_length(size_t value_length) { return 6 * value_length + 2; }
  static constexpr size_t kMaxNumberLength = 32;
  static char *dump_string(std::string_view value, char *out);
  static char *dump_number(double value, char *out);

private:
  std::variant<std::nullptr_t, bool, int, double, std::shared_ptr<const std::string>, std::shared_ptr<const array>,
               std::shared_ptr<const object>>
      value_;
};
