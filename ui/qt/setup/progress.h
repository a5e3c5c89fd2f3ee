#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

// What one read of the updater's standard output asks the progress page to show. Its lines are
// "status:number"; applying them in order leaves the last such line's status and the last number
// within the bar's range, so only those two are kept and a flood of lines stays cheap.
struct Progress {
  std::optional<QString> status;
  std::optional<int> percent;
  // The last such line's number as printed, in or out of range.
  std::optional<double> number;
};

// Other lines go to the debug output. `minimum` and `maximum` are the bar's range.
Progress parseProgress(const QByteArray &output, int minimum, int maximum);
