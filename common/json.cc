#include "common/json.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

// The bytes that stop a run of plain text: control characters, the quote and the backslash, and
// every byte of a multibyte character, which is checked before it is kept.
constexpr std::array<bool, 256> kStopsRun = [] {
  std::array<bool, 256> table{};
  for (int ch = 0; ch < 256; ++ch)
    table[ch] = ch <= 0x1f || ch == '"' || ch == '\\' || ch >= 0x80;
  return table;
}();

// Where the run of plain text that starts at `from` ends.
size_t next_stop(std::string_view value, size_t from) {
  const auto stops_run = [](char ch) { return kStopsRun[static_cast<unsigned char>(ch)]; };
  return std::find_if(value.begin() + from, value.end(), stops_run) - value.begin();
}

// Length of the well-formed UTF-8 sequence at value[i] (Unicode's table of well-formed byte
// sequences: no overlong forms, no surrogates, nothing above U+10FFFF), or 0 when there is none.
size_t utf8_sequence_length(std::string_view value, size_t i) {
  const auto byte = [&](size_t k) { return i + k < value.size() ? static_cast<unsigned char>(value[i + k]) : 0; };
  const auto continuation = [&](size_t k) { return (byte(k) & 0xc0) == 0x80; };
  const unsigned char lead = byte(0);
  if (lead >= 0xc2 && lead <= 0xdf)
    return continuation(1) ? 2 : 0;
  if (lead >= 0xe0 && lead <= 0xef) {
    const unsigned char low = lead == 0xe0 ? 0xa0 : 0x80;
    const unsigned char high = lead == 0xed ? 0x9f : 0xbf;
    return byte(1) >= low && byte(1) <= high && continuation(2) ? 3 : 0;
  }
  if (lead >= 0xf0 && lead <= 0xf4) {
    const unsigned char low = lead == 0xf0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xf4 ? 0x8f : 0xbf;
    return byte(1) >= low && byte(1) <= high && continuation(2) && continuation(3) ? 4 : 0;
  }
  return 0;
}

// The line and paragraph separators end lines in JavaScript.
bool is_js_line_break(std::string_view sequence) {
  return sequence == "\xe2\x80\xa8" || sequence == "\xe2\x80\xa9";
}

char *copy(std::string_view text, char *out) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// Writes the byte at value[i] and above 0x7f: the JavaScript line breaks escaped, and U+FFFD for
// a byte that starts no well-formed character, as QString::fromUtf8 reads it. Invalid UTF-8 would
// make the record no JSON at all, and the collector would drop it.
char *dump_multibyte(std::string_view value, size_t &i, char *out) {
  const size_t length = utf8_sequence_length(value, i);
  if (length == 0)
    return copy("\xef\xbf\xbd", out);
  const std::string_view sequence = value.substr(i, length);
  i += length - 1;
  if (is_js_line_break(sequence))
    return copy(sequence[2] == '\xa8' ? "\\u2028" : "\\u2029", out);
  return copy(sequence, out);
}

char *dump_control(unsigned char ch, char *out) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  out = copy("\\u00", out);
  *out++ = kHexDigits[ch >> 4];
  *out++ = kHexDigits[ch & 0xf];
  return out;
}

char *dump_escaped(std::string_view value, size_t &i, char *out) {
  const unsigned char ch = value[i];
  switch (ch) {
    case '\\':
      return copy("\\\\", out);
    case '"':
      return copy("\\\"", out);
    case '\b':
      return copy("\\b", out);
    case '\f':
      return copy("\\f", out);
    case '\n':
      return copy("\\n", out);
    case '\r':
      return copy("\\r", out);
    case '\t':
      return copy("\\t", out);
    default:
      return ch >= 0x80 ? dump_multibyte(value, i, out) : dump_control(ch, out);
  }
}

}  // namespace

// Text is mostly plain bytes: they are copied a run at a time.
char *Json::dump_string(std::string_view value, char *out) {
  *out++ = '"';
  size_t run_start = 0;
  size_t i = next_stop(value, 0);
  while (i < value.size()) {
    // Well-formed characters stay in the run, all but the JavaScript line breaks.
    const size_t length = utf8_sequence_length(value, i);
    if (length > 0 && !is_js_line_break(value.substr(i, length))) {
      i = next_stop(value, i + length);
      continue;
    }
    out = copy(value.substr(run_start, i - run_start), out);
    out = dump_escaped(value, i, out);
    run_start = i + 1;
    i = next_stop(value, run_start);
  }
  out = copy(value.substr(run_start), out);
  *out++ = '"';
  return out;
}

void Json::dump_string(std::string_view value, std::string &out) {
  const size_t start = out.size();
  out.resize(start + max_string_length(value.size()));
  out.resize(static_cast<size_t>(dump_string(value, out.data() + start) - out.data()));
}

namespace {

constexpr std::array<uint64_t, 18> kPowersOf10 = [] {
  std::array<uint64_t, 18> powers{};
  uint64_t power = 1;
  for (uint64_t &p : powers) {
    p = power;
    power *= 10;
  }
  return powers;
}();

// How many decimal digits a whole number of `bit_width` bits (up to 53) has: 1233 / 4096 is so
// close to log10(2) that the guess is that count or one less.
int decimal_digits(uint64_t whole, int bit_width) {
  const int guess = (bit_width * 1233) >> 12;
  return whole >= kPowersOf10[guess] ? guess + 1 : guess;
}

// "00" to "99": writing two digits at a time halves the divisions.
constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// Writes a value below 10^8 as eight digits, leading zeros included.
void write_8_digits(uint32_t value, char *out) {
  for (int i = 6; i >= 0; i -= 2, value /= 100)
    std::memcpy(out + i, &kDigitPairs[2 * (value % 100)], 2);
}

// Writes a value in [10^16, 10^17): the first digit, then two runs of eight that 32-bit arithmetic
// takes.
void write_17_digits(uint64_t value, char *out) {
  const auto first_nine = static_cast<uint32_t>(value / 100000000);
  out[0] = static_cast<char>('0' + first_nine / 100000000);
  write_8_digits(first_nine % 100000000, out + 1);
  write_8_digits(static_cast<uint32_t>(value % 100000000), out + 9);
}

// %.17g of a value in [1, 2^52), e.g. a clock reading, exactly and without the general
// formatter, which costs a log call more than its whole message. Null when the value is out of
// that range or rounds up to one more digit; the caller then formats it in full.
char *fixed_17_digits(double value, char *out) {
  constexpr double kLimit = 4503599627370496.0;  // 2^52: from there on every value is whole
  if (!(value >= 1.0 && value < kLimit))
    return nullptr;
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  const int exponent = static_cast<int>(bits >> 52);  // value in [2^(exponent - 1023), 2^(exponent - 1022))
  const uint64_t mantissa = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  const int shift = 1075 - exponent;  // value = mantissa / 2^shift, 1 <= shift <= 52
  const int integer_digits = decimal_digits(static_cast<uint64_t>(value), exponent - 1022);
  // value * 10^(17 - integer_digits) exactly, rounded half to even as printf rounds.
  const unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * kPowersOf10[17 - integer_digits];
  uint64_t digits = static_cast<uint64_t>(scaled >> shift);
  const unsigned __int128 rest = scaled & ((static_cast<unsigned __int128>(1) << shift) - 1);
  const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
  if (rest > half || (rest == half && (digits & 1) != 0))
    ++digits;
  if (digits >= kPowersOf10[17])
    return nullptr;
  // 17 digits, as value * 10^(17 - integer_digits) >= 10^16. They go one place on; the whole
  // part then moves back over that place, which is left for the point.
  write_17_digits(digits, out + 1);
  for (int i = 0; i < integer_digits; ++i)
    out[i] = out[i + 1];
  out[integer_digits] = '.';
  // %g drops the fraction's trailing zeros, and the point with them.
  char *end = out + 18;
  while (end[-1] == '0')
    --end;
  return end[-1] == '.' ? end - 1 : end;
}

}  // namespace

char *Json::dump_number(double value, char *out) {
  if (!std::isfinite(value))
    return copy("null", out);
  if (char *end = fixed_17_digits(value, out))
    return end;
  // Same text as printf's %.17g, without the locale and formatting overhead.
  return std::to_chars(out, out + kMaxNumberLength, value, std::chars_format::general, 17).ptr;
}

void Json::dump_number(double value, std::string &out) {
  char text[kMaxNumberLength];
  out.append(text, dump_number(value, text));
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
