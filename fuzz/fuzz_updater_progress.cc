// The updater's standard output in arbitrary chunks, as readProgress receives them: after every
// chunk the progress page must show what applying the line protocol line by line shows.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cmath>

#include <QLabel>
#include <QProgressBar>

#include "fuzz/fuzz_support.h"
#include "ui/qt/setup/progress.h"

namespace {

struct ProgressPage {
  ProgressPage() { bar.setRange(0, 100); }
  QLabel text;
  QProgressBar bar;
};

// The protocol as it is defined: every "status:number" line in turn sets the text and the bar.
void applyLineByLine(const QByteArray &chunk, ProgressPage &page) {
  const int nul = chunk.indexOf('\0');
  const QString out = QString::fromUtf8(nul < 0 ? chunk : chunk.left(nul)).trimmed();
  for (const QString &line : out.split(QLatin1Char('\n'))) {
    const QStringList parts = line.split(QLatin1Char(':'));
    if (parts.size() != 2) {
      continue;
    }
    page.text.setText(parts[0]);
    const double value = std::trunc(parts[1].toDouble());
    // The bar itself ignores values outside its range.
    if (value >= INT_MIN && value <= INT_MAX) {
      page.bar.setValue(static_cast<int>(value));
    }
  }
}

void applyParsed(const QByteArray &chunk, ProgressPage &page) {
  const Progress progress = parseProgress(chunk, page.bar.minimum(), page.bar.maximum());
  if (progress.status) {
    page.text.setText(*progress.status);
  }
  if (progress.percent) {
    fuzz::check(*progress.percent >= 0 && *progress.percent <= 100, QStringLiteral("percent in range"));
    page.bar.setValue(*progress.percent);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz::application();
  FuzzedDataProvider input(data, size);
  ProgressPage shown;
  ProgressPage expected;
  while (input.remaining_bytes() > 0) {
    const std::vector<char> bytes = input.ConsumeBytes<char>(input.ConsumeIntegralInRange<size_t>(1, 512));
    const QByteArray chunk(bytes.data(), static_cast<int>(bytes.size()));
    applyParsed(chunk, shown);
    applyLineByLine(chunk, expected);
    fuzz::check(shown.text.text() == expected.text.text(), QStringLiteral("status text: ") + shown.text.text());
    fuzz::check(shown.bar.value() == expected.bar.value(), QStringLiteral("bar value"));
  }
  return 0;
}
