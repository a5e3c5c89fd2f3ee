#pragma once

#include <cstdarg>
#include <string>

// Appends the text vsnprintf(fmt, args) gives, byte for byte, NUL bytes from %c included. The
// conversions log calls use most (%s %d %i %u %x %c %%, plain or with an l, ll or z length) are
// written here; anything else (flags, width, precision, other types) goes to vsnprintf whole.
// False, with nothing appended, where vsnprintf fails.
bool append_printf(std::string &out, const char *fmt, va_list args);
