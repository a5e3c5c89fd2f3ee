#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

// Formats as vsnprintf does, byte for byte (NUL bytes from %c included), into a buffer kept from
// one call to the next. The conversions log calls use most (%s %d %i %u %x %c %%, plain or with
// an l, ll or z length) are written here; anything else (flags, width, precision, other types)
// goes to vsnprintf whole.
class PrintfFormatter {
public:
  // The text, followed by a NUL byte and valid until the next call; nothing where vsnprintf fails.
  std::optional<std::string_view> format(const char *fmt, va_list args);

private:
  bool write_common_conversions(const char *fmt, va_list *args);
  bool write_with_vsnprintf(const char *fmt, va_list args);

  void append(const char *text, size_t length) {
    std::memcpy(room_for(length), text, length);
    length_ += length;
  }
  // Where `length` more bytes and a NUL byte after them fit.
  char *room_for(size_t length) {
    if (buffer_.size() - length_ <= length)
      buffer_.resize(2 * (length_ + length + 1));
    return buffer_.data() + length_;
  }

  std::vector<char> buffer_ = std::vector<char>(1024);
  size_t length_ = 0;
};
