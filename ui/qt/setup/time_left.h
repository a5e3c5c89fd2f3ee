#pragma once

#include <deque>
#include <functional>
#include <optional>

#include <QString>
#include <QtGlobal>

// How long the current phase of the update has left, told from the recent pace of its
// percentage. A phase is one status text of the updater; a new text starts over. Nothing is
// told until the pace has held for a few seconds: not at the start of a phase, not after the
// number went backwards or out of range, not while it stands still.
class TimeLeft {
public:
  // Milliseconds since any fixed point, never going back.
  using Clock = std::function<qint64()>;

  // Only readings this recent count towards the pace.
  static constexpr qint64 kWindowMs = 20000;
  // The pace must have been seen for this long.
  static constexpr qint64 kSteadyMs = 3000;
  // A number that has not grown for this long stands still.
  static constexpr qint64 kStillMs = 10000;

  // A steady clock unless another is given.
  explicit TimeLeft(Clock clock = {});

  // One progress line of the updater: its status text and its number as printed.
  void add(const QString &status, double percent);
  // Forgets the phase.
  void reset();
  // The seconds left in the phase; none while they cannot be told honestly.
  std::optional<qint64> seconds() const;

private:
  struct Reading {
    qint64 ms;
    double percent;
  };

  void forgetReadingsBefore(qint64 ms);
  std::optional<double> steadyPercentPerMs() const;

  Clock clock;
  QString status;
  std::deque<Reading> readings;  // of this phase since the number last went back, within the window
  qint64 last_rise_ms = 0;
};

// As a person would say it: "Less than a minute left", "About 1 minute left", "About 7 minutes
// left", in steps of 5 minutes beyond 10.
QString timeLeftText(qint64 seconds);
