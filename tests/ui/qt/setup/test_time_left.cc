#include <cmath>
#include <limits>

#include <QtTest>

#include "ui/qt/setup/time_left.h"

namespace {

// One progress line, read at `ms` on the test's clock.
struct Line {
  qint64 ms;
  QString status;
  double percent;
};
using Lines = QList<Line>;

// A line every 250 ms from `from_ms` up to `to_ms`, the number growing by `per_second`.
Lines steady(const QString &status, qint64 from_ms, qint64 to_ms, double start, double per_second) {
  Lines lines;
  for (qint64 ms = from_ms; ms <= to_ms; ms += 250) {
    lines << Line{ms, status, start + per_second * double(ms - from_ms) / 1000.0};
  }
  return lines;
}

Lines operator+(Lines a, const Line &b) {
  a << b;
  return a;
}

}  // namespace

Q_DECLARE_METATYPE(Lines)

class TestTimeLeft : public QObject {
  Q_OBJECT

private slots:
  void spoken_data() {
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << qint64(0) << "Less than a minute left";
    QTest::newRow("59 s") << qint64(59) << "Less than a minute left";
    QTest::newRow("60 s") << qint64(60) << "About 1 minute left";
    QTest::newRow("89 s") << qint64(89) << "About 1 minute left";
    QTest::newRow("90 s") << qint64(90) << "About 2 minutes left";
    QTest::newRow("10 min 29 s") << qint64(629) << "About 10 minutes left";
    QTest::newRow("12 min 29 s, to 5 minutes") << qint64(749) << "About 10 minutes left";
    QTest::newRow("12 min 30 s, to 5 minutes") << qint64(750) << "About 15 minutes left";
    QTest::newRow("an hour") << qint64(3600) << "About 60 minutes left";
  }

  void spoken() {
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(timeLeftText(seconds), text);
  }

  // The lines are read in order, then the estimate is asked for at `at_ms` (empty: none).
  void estimate_data() {
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<qint64>("at_ms");
    QTest::addColumn<QString>("text");

    const Lines five_seconds = steady("Downloading", 0, 5000, 10, 1);  // ends at 15 %
    const double nan = std::numeric_limits<double>::quiet_NaN();

    QTest::newRow("first seconds of a phase") << steady("Downloading", 0, 2750, 10, 1) << qint64(2750) << "";
    QTest::newRow("steady for 5 s, 85 % at 1 %/s") << five_seconds << qint64(5000) << "About 1 minute left";
    QTest::newRow("fast") << steady("Downloading", 0, 4000, 0, 5) << qint64(4000) << "Less than a minute left";
    QTest::newRow("slow") << steady("Installing", 0, 10000, 0, 0.05) << qint64(10000) << "About 35 minutes left";
    QTest::newRow("a new status starts over") << five_seconds + Line{5250, "Installing", 50} << qint64(5250) << "";
    QTest::newRow("the new phase told once steady")
        << five_seconds + steady("Installing", 5250, 9250, 0, 10) << qint64(9250) << "Less than a minute left";
    QTest::newRow("backwards") << five_seconds + Line{5250, "Downloading", 14} << qint64(5250) << "";
    QTest::newRow("steady again after going back")
        << five_seconds + steady("Downloading", 5250, 9250, 0, 1) << qint64(9250) << "About 2 minutes left";
    QTest::newRow("out of range") << five_seconds + Line{5250, "Downloading", 150} << qint64(5250) << "";
    QTest::newRow("below zero") << five_seconds + Line{5250, "Downloading", -1} << qint64(5250) << "";
    QTest::newRow("not a number") << five_seconds + Line{5250, "Downloading", nan} << qint64(5250) << "";
    QTest::newRow("no line for a while, still counting down")
        << five_seconds << qint64(5000 + 9000) << "About 1 minute left";
    QTest::newRow("no line for long") << five_seconds << qint64(5000 + TimeLeft::kStillMs + 1) << "";
    QTest::newRow("the same number for long")
        << five_seconds + steady("Downloading", 5250, 16000, 15, 0) << qint64(16000) << "";
    // 1 %/s for 30 s, then 0.25 %/s for 20 s: 65 % at the recent pace is 260 s; from the start
    // of the phase (35 % in 50 s) it would be 93 s.
    QTest::newRow("slowed down: the recent pace counts")
        << steady("Downloading", 0, 30000, 0, 1) + steady("Downloading", 30250, 50000, 30.0625, 0.25) << qint64(50000)
        << "About 4 minutes left";
    QTest::newRow("pace changed tenfold")
        << steady("Downloading", 0, 2000, 0, 10) + steady("Downloading", 2250, 4250, 20.25, 1) << qint64(4250) << "";
    // 1.5 %/s, then 1 %/s: 90 % at the slower pace is 90 s, at the faster one 60 s.
    QTest::newRow("the slower half of a steady pace")
        << steady("Downloading", 0, 4000, 0, 1.5) + steady("Downloading", 4250, 8000, 6.25, 1) << qint64(8000)
        << "About 2 minutes left";
  }

  void estimate() {
    QFETCH(Lines, lines);
    QFETCH(qint64, at_ms);
    QFETCH(QString, text);

    qint64 now = 0;
    TimeLeft time_left([&now] { return now; });
    for (const Line &line : lines) {
      now = line.ms;
      time_left.add(line.status, line.percent);
    }
    now = at_ms;
    const std::optional<qint64> seconds = time_left.seconds();
    QCOMPARE(seconds ? timeLeftText(*seconds) : QString(), text);
  }

  void resetForgetsThePhase() {
    qint64 now = 0;
    TimeLeft time_left([&now] { return now; });
    for (const Line &line : steady("Downloading", 0, 5000, 0, 1)) {
      now = line.ms;
      time_left.add(line.status, line.percent);
    }
    QVERIFY(time_left.seconds());
    time_left.reset();
    QVERIFY(!time_left.seconds());
    // The same status after a reset is a phase of its own.
    now += 250;
    time_left.add("Downloading", 6);
    QVERIFY(!time_left.seconds());
  }
};

QTEST_GUILESS_MAIN(TestTimeLeft)
#include "test_time_left.moc"
