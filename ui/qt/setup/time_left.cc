#include "ui/qt/setup/time_left.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <utility>

#include <QCoreApplication>

namespace {

// Beyond this no estimate means anything to someone waiting in a car.
constexpr double kLongestMs = 24.0 * 60 * 60 * 1000;

// A pace that changed by more than this factor within the window is not steady.
constexpr double kSteadyFactor = 2.0;

qint64 steadyNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

TimeLeft::TimeLeft(Clock clock) : clock(clock ? std::move(clock) : steadyNowMs) {}

void TimeLeft::add(const QString &new_status, double percent) {
  const qint64 now = clock();
  if (new_status != status) {
    reset();
    status = new_status;
  }
  // NaN fails both comparisons.
  if (!(percent >= 0 && percent <= 100)) {
    readings.clear();
    return;
  }
  if (!readings.empty() && percent < readings.back().percent) {
    readings.clear();
  }
  if (readings.empty() || percent > readings.back().percent) {
    last_rise_ms = now;
  }
  readings.push_back({now, percent});
  forgetReadingsBefore(now - kWindowMs);
}

void TimeLeft::reset() {
  status.clear();
  readings.clear();
}

void TimeLeft::forgetReadingsBefore(qint64 ms) {
  while (!readings.empty() && readings.front().ms < ms) {
    readings.pop_front();
  }
}

// The pace of the older and of the newer half of the window, each from the reading nearest the
// middle; the slower of the two, so that a phase that slows down is not promised too early.
std::optional<double> TimeLeft::steadyPercentPerMs() const {
  if (readings.size() < 3) {
    return std::nullopt;
  }
  const Reading &first = readings.front();
  const Reading &last = readings.back();
  if (last.ms - first.ms < kSteadyMs) {
    return std::nullopt;
  }
  const qint64 middle_ms = first.ms + (last.ms - first.ms) / 2;
  const auto nearer = [middle_ms](const Reading &a, const Reading &b) {
    return std::llabs(a.ms - middle_ms) < std::llabs(b.ms - middle_ms);
  };
  const Reading &middle = *std::min_element(readings.begin() + 1, readings.end() - 1, nearer);
  if (middle.ms == first.ms || middle.ms == last.ms) {
    return std::nullopt;
  }
  const double older = (middle.percent - first.percent) / double(middle.ms - first.ms);
  const double newer = (last.percent - middle.percent) / double(last.ms - middle.ms);
  const double slower = std::min(older, newer);
  if (slower <= 0 || std::max(older, newer) > kSteadyFactor * slower) {
    return std::nullopt;
  }
  return slower;
}

std::optional<qint64> TimeLeft::seconds() const {
  const qint64 now = clock();
  if (readings.empty() || now - last_rise_ms > kStillMs) {
    return std::nullopt;
  }
  const std::optional<double> pace = steadyPercentPerMs();
  if (!pace) {
    return std::nullopt;
  }
  const Reading &last = readings.back();
  const double ms_left = std::max(0.0, (100.0 - last.percent) / *pace - double(now - last.ms));
  if (ms_left > kLongestMs) {
    return std::nullopt;
  }
  return qint64(std::ceil(ms_left / 1000.0));
}

QString timeLeftText(qint64 seconds) {
  if (seconds < 60) {
    return QCoreApplication::translate("TimeLeft", "Less than a minute left");
  }
  qint64 minutes = (seconds + 30) / 60;
  if (minutes == 1) {
    return QCoreApplication::translate("TimeLeft", "About 1 minute left");
  }
  if (minutes > 10) {
    minutes = (minutes + 2) / 5 * 5;
  }
  return QCoreApplication::translate("TimeLeft", "About %1 minutes left").arg(minutes);
}
