#include "common/printf_format.h"

#include <sys/types.h>

#include <charconv>
#include <cstdio>

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

// Room for a conversion's own text: a character or a number in any of our bases.
using Scratch = char[24];

template <class Integer>
std::string_view integer_text(Integer value, int base, Scratch &scratch) {
  const char *end = std::to_chars(scratch, scratch + sizeof(scratch), value, base).ptr;
  return {scratch, static_cast<size_t>(end - scratch)};
}

// The argument of an integer conversion, taken as the type its length stands for.
template <class Int, class Long, class LongLong, class Size>
std::string_view integer_arg_text(Length length, int base, va_list *args, Scratch &scratch) {
  switch (length) {
    case Length::kLong:
      return integer_text(va_arg(*args, Long), base, scratch);
    case Length::kLongLong:
      return integer_text(va_arg(*args, LongLong), base, scratch);
    case Length::kSize:
      return integer_text(va_arg(*args, Size), base, scratch);
    default:
      return integer_text(va_arg(*args, Int), base, scratch);
  }
}

std::string_view signed_text(Length length, va_list *args, Scratch &scratch) {
  return integer_arg_text<int, long, long long, ssize_t>(length, 10, args, scratch);
}

std::string_view unsigned_text(Length length, int base, va_list *args, Scratch &scratch) {
  return integer_arg_text<unsigned, unsigned long, unsigned long long, size_t>(length, base, args, scratch);
}

// The text of one conversion, the argument it takes consumed; nothing when the conversion is not
// one of ours. A null string is not either: printf has its own text for it.
std::optional<std::string_view> conversion_text(const Conversion &conversion, va_list *args, Scratch &scratch) {
  switch (conversion.type) {
    case '%':
      return "%";
    case 'c':
      scratch[0] = static_cast<char>(va_arg(*args, int));
      return std::string_view(scratch, 1);
    case 's': {
      const char *text = va_arg(*args, const char *);
      return text ? std::optional<std::string_view>(text) : std::nullopt;
    }
    case 'd':
    case 'i':
      return signed_text(conversion.length, args, scratch);
    case 'u':
      return unsigned_text(conversion.length, 10, args, scratch);
    case 'x':
      return unsigned_text(conversion.length, 16, args, scratch);
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<std::string_view> PrintfFormatter::format(const char *fmt, va_list args) {
  // The arguments are walked through a copy, so that vsnprintf can start over from the first.
  va_list walked;
  va_copy(walked, args);
  length_ = 0;
  const bool written = write_common_conversions(fmt, &walked) || write_with_vsnprintf(fmt, args);
  va_end(walked);
  if (!written)
    return std::nullopt;
  buffer_[length_] = '\0';
  return std::string_view(buffer_.data(), length_);
}

// False at the first conversion that is not one of ours.
bool PrintfFormatter::write_common_conversions(const char *fmt, va_list *args) {
  for (const char *p = fmt;;) {
    // Runs between conversions are short: a library search costs more than it saves.
    const char *percent = p;
    while (*percent != '%' && *percent != '\0')
      ++percent;
    append(p, static_cast<size_t>(percent - p));
    if (*percent == '\0')
      return true;
    const Conversion conversion = parse_conversion(percent);
    Scratch scratch;
    const std::optional<std::string_view> text = conversion_text(conversion, args, scratch);
    if (!text)
      return false;
    append(text->data(), text->size());
    p = conversion.end;
  }
}

bool PrintfFormatter::write_with_vsnprintf(const char *fmt, va_list args) {
  va_list retry;
  va_copy(retry, args);
  int length = vsnprintf(buffer_.data(), buffer_.size(), fmt, args);
  if (length >= 0 && static_cast<size_t>(length) >= buffer_.size()) {
    buffer_.resize(static_cast<size_t>(length) + 1);
    if (vsnprintf(buffer_.data(), buffer_.size(), fmt, retry) != length)
      length = -1;
  }
  va_end(retry);
  length_ = length < 0 ? 0 : static_cast<size_t>(length);
  return length >= 0;
}
