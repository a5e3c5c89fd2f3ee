#pragma once

#include <cstdio>
#include <string>

// Self-checking values for the store's concurrency tests: a header naming the
// writer, sequence number and payload length, then the payload, one repeated
// byte that depends on the sequence number. A torn or mixed value fails check.
namespace hammer {

inline std::string make_value(int writer, long seq) {
  const size_t len = 1 + (seq * 7919) % 70000;  // from one byte to beyond several pages
  const char fill = static_cast<char>('a' + seq % 26);
  return "w" + std::to_string(writer) + "-" + std::to_string(seq) + "-" + std::to_string(len) + ":" +
         std::string(len, fill);
}

inline bool is_whole(const std::string &value) {
  const size_t colon = value.find(':');
  if (value.empty() || value[0] != 'w' || colon == std::string::npos)
    return false;
  int writer = 0;
  long seq = 0;
  size_t len = 0;
  if (sscanf(value.c_str(), "w%d-%ld-%zu:", &writer, &seq, &len) != 3)
    return false;
  return value == make_value(writer, seq) && value.size() == colon + 1 + len;
}

}  // namespace hammer
