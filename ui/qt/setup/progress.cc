#include "ui/qt/setup/progress.h"

#include <cmath>

#include <QDebug>
#include <QVector>

namespace {

// Cuts the child's output at the first NUL byte; everything after it is noise.
QString textUpToNul(const QByteArray &data) {
  const int nul = data.indexOf('\0');
  return QString::fromUtf8(nul < 0 ? data : data.left(nul));
}

// A progress line is "text:number" with exactly one colon.
bool splitProgressLine(const QStringRef &line, QStringRef *status, QStringRef *number) {
  const int colon = line.indexOf(QLatin1Char(':'));
  if (colon < 0 || line.indexOf(QLatin1Char(':'), colon + 1) >= 0) {
    return false;
  }
  *status = line.left(colon);
  *number = line.mid(colon + 1);
  return true;
}

}  // namespace

Progress parseProgress(const QByteArray &output, int minimum, int maximum) {
  const QString out = textUpToNul(output).trimmed();

  Progress progress;
  QStringRef status;
  QVector<QStringRef> numbers;
  for (const QStringRef &line : out.splitRef(QLatin1Char('\n'))) {
    QStringRef number;
    if (!splitProgressLine(line, &status, &number)) {
      qDebug() << line;
      continue;
    }
    numbers << number;
  }
  if (!numbers.isEmpty()) {
    progress.status = status.toString();
    progress.number = numbers.last().toDouble();
  }
  for (auto it = numbers.crbegin(); it != numbers.crend(); ++it) {
    // Out-of-range values, NaN and infinities would leave the bar where it was; text that is no
    // number reads as 0.
    const double value = std::trunc(it->toDouble());
    if (value >= minimum && value <= maximum) {
      progress.percent = static_cast<int>(value);
      break;
    }
  }
  return progress;
}
