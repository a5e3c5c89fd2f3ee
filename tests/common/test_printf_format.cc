#include <QtTest>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "common/printf_format.h"

namespace {

// vsnprintf's whole text, NUL bytes included, or nothing when it fails.
std::optional<std::string> reference_text(const char *fmt, va_list args) {
  std::vector<char> text(16384);
  const int length = vsnprintf(text.data(), text.size(), fmt, args);
  if (length < 0 || static_cast<size_t>(length) >= text.size())
    return std::nullopt;
  return std::string(text.data(), static_cast<size_t>(length));
}

QString shown(const std::optional<std::string> &text) {
  return text ? QString::fromUtf8(QByteArray::fromStdString(*text).toPercentEncoding(" ")) : QStringLiteral("failed");
}

}  // namespace

// Every text is compared with what the C library's vsnprintf gives for the same format and
// arguments, whether the conversions are written by the formatter or handed on to vsnprintf.
class TestPrintfFormat : public QObject {
  Q_OBJECT

private slots:
  void init() {
    formatter = PrintfFormatter();
    mismatches.clear();
    failures = 0;
  }

  void conversionsWrittenHere() {
    sameAsVsnprintf("plain text, no conversions");
    sameAsVsnprintf("%%|100%% of %d|%s%%", 5, "x");
    sameAsVsnprintf("%d %i %d %d", INT_MIN, INT_MAX, 0, -1);
    sameAsVsnprintf("%u %u", 0u, UINT_MAX);
    sameAsVsnprintf("%ld %li %lu", LONG_MIN, LONG_MAX, ULONG_MAX);
    sameAsVsnprintf("%lld %lli %llu", LLONG_MIN, LLONG_MAX, ULLONG_MAX);
    sameAsVsnprintf("%zu %zd %zi", SIZE_MAX, static_cast<ssize_t>(-1), static_cast<ssize_t>(SSIZE_MAX));
    sameAsVsnprintf("%x %x %lx %llx %zx", 0u, UINT_MAX, ULONG_MAX, 0xabcdefULL, static_cast<size_t>(255));
    sameAsVsnprintf("%c%c%c", 'a', 0xe9, '%');
    sameAsVsnprintf("NUL %c in the middle", 0);
    sameAsVsnprintf("%s|%s|%s|%s%s", "", "text", "caf\xc3\xa9", "adjacent", "strings");
    sameAsVsnprintf("bench record %d of %s", 12345, "a typical length message");
    const std::string long_text(5000, 'y');
    sameAsVsnprintf("long %s end", long_text.c_str());
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join('\n')));
  }

  void otherFormsGoToVsnprintf() {
    const char *volatile none = nullptr;  // unseen by the compiler's check of the format
    int object = 0;
    sameAsVsnprintf("null string: %s", none);
    sameAsVsnprintf("%5d|%-5d|%05d|%+d|% d|%'d", 42, 42, 42, 42, 42, 1234567);
    sameAsVsnprintf("%.3s|%10s|%-10s|", "abcdef", "right", "left");
    sameAsVsnprintf("%*d|%.*s", 6, 7, 2, "xyz");
    sameAsVsnprintf("%f %e %g %a %Lf", 1.5, 1.5, 1.5, 1.5, 2.5L);
    sameAsVsnprintf("%p", static_cast<void *>(&object));
    sameAsVsnprintf("%X %o %#x", 255u, 8u, 255u);
    sameAsVsnprintf("%hd %hhd %hu", 70000, 300, 70000);
    sameAsVsnprintf("%jd %td", INTMAX_MIN, static_cast<ptrdiff_t>(-7));
    sameAsVsnprintf("%1$s and %1$s", "positional");
    sameAsVsnprintf("%lc|%ls", static_cast<wint_t>('w'), L"wide");
    // Conversions written here first: vsnprintf starts over from the first argument.
    sameAsVsnprintf("%d then %5d then %s", 1, 2, "three");
    // Longer than a new formatter's room.
    sameAsVsnprintf("%2000d|%s", 1, "after");
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join('\n')));
  }

  void failingFormats() {
    // A lone surrogate is no character: the C and the UTF-8 locales fail to convert it.
    sameAsVsnprintf("before %lc after", static_cast<wint_t>(0xd800));
    sameAsVsnprintf("%d written, then %lc", 3, static_cast<wint_t>(0xd800));
    sameAsVsnprintf("after a failure: %s", "fine");
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join('\n')));
    QCOMPARE(failures, 2);
  }

private:
  // One formatter for every call of a test: its buffer is reused, grown, and reused again.
  __attribute__((format(printf, 2, 3))) void sameAsVsnprintf(const char *fmt, ...) {
    va_list args;
    va_list reference_args;
    va_start(args, fmt);
    va_copy(reference_args, args);
    const std::optional<std::string_view> text = formatter.format(fmt, args);
    const std::optional<std::string> expected = reference_text(fmt, reference_args);
    va_end(reference_args);
    va_end(args);

    const std::optional<std::string> got = text ? std::optional<std::string>(*text) : std::nullopt;
    const bool terminated = !text || text->data()[text->size()] == '\0';
    if (got != expected || !terminated)
      mismatches
          << QString("%1: %2%3, vsnprintf %4").arg(fmt, shown(got), terminated ? "" : " unterminated", shown(expected));
    failures += expected ? 0 : 1;
  }

  PrintfFormatter formatter;
  QStringList mismatches;
  int failures = 0;
};

QTEST_GUILESS_MAIN(TestPrintfFormat)
#include "test_printf_format.moc"
