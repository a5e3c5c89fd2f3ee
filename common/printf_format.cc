#include "common/printf_format.h"

#include <sys/types.h>

#include <charconv>
#include <cstdio>
#include <cstring>

namespace {

enum class Length { kInt, kLong, kLongLong, kSize };

// One conversion as written here, or `type` 0 when it is not one of ours.
struct Conversion {
  Length length = Length::kInt;
  char type = 0;
  const char *end = nullptr;  // just past the conversion
};

Conversion parse_conversion(const char *percent) {
  Conversion conversion;
  const char *p = percent + 1;
  if (*p == 'l') {
    conversion.length = p[1] == 'l' ? Length::kLongLong : Length::kLong;
    p += conversion.length == Length::kLongLong ? 2 : 1;
  } else if (*p == 'z') {
    conversion.length = Length::kSize;
    ++p;
  }
  const bool any_length = *p == 'd' || *p == 'i' || *p == 'u' || *p == 'x';
  // %lc and %ls are wide characters.
  const bool plain_only = *p == 's' || *p == 'c' || *p == '%';
  if (any_length || (plain_only && conversion.length == Length::kInt))
    conversion.type = *p;
  conversion.end = p + 1;
  return conversion;
}

long long signed_arg(Length length, va_list *args) {
  switch (length) {
    case Length::kLong:
      return va_arg(*args, long);
    case Length::kLongLong:
      return va_arg(*args, long long);
    case Length::kSize:
      return va_arg(*args, ssize_t);
    default:
      return va_arg(*args, int);
  }
}

unsigned long long unsigned_arg(Length length, va_list *args) {
  switch (length) {
    case Length::kLong:
      return va_arg(*args, unsigned long);
    case Length::kLongLong:
      return va_arg(*args, unsigned long long);
    case Length::kSize:
      return va_arg(*args, size_t);
    default:
      return va_arg(*args, unsigned int);
  }
}

template <class Integer>
void append_integer(std::string &out, Integer value, int base = 10) {
  char digits[24];
  const char *end = std::to_chars(digits, digits + sizeof(digits), value, base).ptr;
  out.append(digits, static_cast<size_t>(end - digits));
}

// False when the conversion is not one of ours; printf prints "(null)" for a null string.
bool append_conversion(std::string &out, const Conversion &conversion, va_list *args) {
  switch (conversion.type) {
    case '%':
      out += '%';
      return true;
    case 'c':
      out += static_cast<char>(va_arg(*args, int));
      return true;
    case 's': {
      const char *text = va_arg(*args, const char *);
      if (text == nullptr)
        return false;
      out.append(text);
      return true;
    }
    case 'd':
    case 'i':
      append_integer(out, signed_arg(conversion.length, args));
      return true;
    case 'u':
      append_integer(out, unsigned_arg(conversion.length, args));
      return true;
    case 'x':
      append_integer(out, unsigned_arg(conversion.length, args), 16);
      return true;
    default:
      return false;
  }
}

// False at the first conversion that is not one of ours, with `out` written up to there.
bool append_common_conversions(std::string &out, const char *fmt, va_list *args) {
  for (const char *p = fmt;;) {
    const char *percent = std::strchr(p, '%');
    if (percent == nullptr) {
      out.append(p);
      return true;
    }
    out.append(p, static_cast<size_t>(percent - p));
    const Conversion conversion = parse_conversion(percent);
    if (!append_conversion(out, conversion, args))
      return false;
    p = conversion.end;
  }
}

bool append_vsnprintf(std::string &out, const char *fmt, va_list args) {
  va_list retry;
  va_copy(retry, args);
  const size_t start = out.size();
  char small[256];
  int length = vsnprintf(small, sizeof(small), fmt, args);
  if (length >= 0 && static_cast<size_t>(length) < sizeof(small)) {
    out.append(small, static_cast<size_t>(length));
  } else if (length >= 0) {
    out.resize(start + static_cast<size_t>(length) + 1);
    if (vsnprintf(&out[start], static_cast<size_t>(length) + 1, fmt, retry) != length)
      length = -1;
    out.resize(length < 0 ? start : start + static_cast<size_t>(length));
  }
  va_end(retry);
  return length >= 0;
}

}  // namespace

bool append_printf(std::string &out, const char *fmt, va_list args) {
  // The arguments are walked through a copy, so that vsnprintf can start over from the first.
  va_list walked;
  va_copy(walked, args);
  const size_t start = out.size();
  const bool done = append_common_conversions(out, fmt, &walked);
  va_end(walked);
  if (done)
    return true;
  out.resize(start);
  return append_vsnprintf(out, fmt, args);
}
