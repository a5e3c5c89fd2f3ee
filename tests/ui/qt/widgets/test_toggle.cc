#include <QPropertyAnimation>
#include <QSignalSpy>
#include <QtTest>

#include "ui/qt/widgets/toggle.h"

namespace {

const QColor kKnob(0xfa, 0xfa, 0xfa);
const QColor kKnobDisabled(0x88, 0x88, 0x88);
const QColor kGreen(0x33, 0xab, 0x4c);
const QColor kGreenDisabled(0x22, 0x77, 0x22);
const QColor kTrack(0x39, 0x39, 0x39);

// The size a setting row gives its switch; the first paint brings the height to 80.
struct ShownToggle {
  ShownToggle() {
    toggle.setFixedSize(150, 100);
    toggle.show();
  }
  bool exposed() { return QTest::qWaitForWindowExposed(&toggle); }
  // Waits until the knob rests at the end that matches the state.
  bool settled() {
    const int end = toggle.on ? toggle.width() - 40 : 40;
    return QTest::qWaitFor([&]() { return toggle.offset_circle() == end; });
  }
  void tap(Qt::MouseButton button = Qt::LeftButton, QPoint release = QPoint(75, 40)) {
    QTest::mousePress(&toggle, button, Qt::NoModifier, QPoint(75, 40));
    QTest::mouseRelease(&toggle, button, Qt::NoModifier, release);
  }
  Toggle toggle;
};

}  // namespace

class TestToggle : public QObject {
  Q_OBJECT

private slots:
  void release_data();
  void release();
  void tapWhileSliding_data();
  void tapWhileSliding();
  void programmaticFlipSlidesWithoutSignal();
  void paintedColours_data();
  void paintedColours();
};

void TestToggle::release_data() {
  QTest::addColumn<int>("button");
  QTest::addColumn<QPoint>("releasePos");
  QTest::addColumn<bool>("enabled");
  QTest::addColumn<bool>("flips");

  QTest::newRow("left inside") << int(Qt::LeftButton) << QPoint(75, 40) << true << true;
  QTest::newRow("left at the far corner") << int(Qt::LeftButton) << QPoint(149, 79) << true << true;
  QTest::newRow("right button") << int(Qt::RightButton) << QPoint(75, 40) << true << false;
  QTest::newRow("released right of it") << int(Qt::LeftButton) << QPoint(150, 40) << true << false;
  QTest::newRow("released below it") << int(Qt::LeftButton) << QPoint(75, 80) << true << false;
  QTest::newRow("own flag disabled") << int(Qt::LeftButton) << QPoint(75, 40) << false << false;
}

void TestToggle::release() {
  QFETCH(int, button);
  QFETCH(QPoint, releasePos);
  QFETCH(bool, enabled);
  QFETCH(bool, flips);

  ShownToggle s;
  QVERIFY(s.exposed());
  QCOMPARE(s.toggle.height(), 80);
  s.toggle.setEnabled(enabled);
  QCOMPARE(s.toggle.getEnabled(), enabled);
  // The own flag leaves the widget's system-level state alone.
  QVERIFY(s.toggle.isEnabled());

  QSignalSpy flipped(&s.toggle, &Toggle::stateChanged);
  s.tap(static_cast<Qt::MouseButton>(button), releasePos);

  QCOMPARE(s.toggle.on, flips);
  QCOMPARE(flipped.count(), flips ? 1 : 0);
  if (flips) {
    QCOMPARE(flipped.at(0).at(0).toBool(), true);
  }
  QVERIFY(s.settled());
  QCOMPARE(s.toggle.offset_circle(), flips ? 110 : 40);
}

void TestToggle::tapWhileSliding_data() {
  QTest::addColumn<int>("delayMs");
  QTest::newRow("at once") << 0;
  QTest::newRow("half way") << 60;
}

void TestToggle::tapWhileSliding() {
  QFETCH(int, delayMs);

  ShownToggle s;
  QVERIFY(s.exposed());
  QSignalSpy flipped(&s.toggle, &Toggle::stateChanged);

  s.tap();
  QTest::qWait(delayMs);
  s.tap();
  QCOMPARE(flipped.count(), 1);
  QVERIFY(s.toggle.on);

  QVERIFY(s.settled());
  s.tap();
  QCOMPARE(flipped.count(), 2);
  QCOMPARE(flipped.at(1).at(0).toBool(), false);
  QVERIFY(!s.toggle.on);
  QVERIFY(s.settled());
  QCOMPARE(s.toggle.offset_circle(), 40);
}

void TestToggle::programmaticFlipSlidesWithoutSignal() {
  ShownToggle s;
  QVERIFY(s.exposed());
  QSignalSpy flipped(&s.toggle, &Toggle::stateChanged);

  auto *anim = s.toggle.findChild<QPropertyAnimation *>();
  QVERIFY(anim != nullptr);
  QVector<int> positions;
  connect(anim, &QPropertyAnimation::valueChanged, this, [&](const QVariant &v) { positions << v.toInt(); });

  s.toggle.togglePosition();
  QVERIFY(s.toggle.on);
  QCOMPARE(anim->duration(), 150);
  QCOMPARE(anim->easingCurve().type(), QEasingCurve::Linear);
  QVERIFY(s.settled());

  QCOMPARE(flipped.count(), 0);
  QVERIFY(positions.size() >= 3);
  QCOMPARE(positions.first(), 40);
  QCOMPARE(positions.last(), 110);
  QVERIFY(std::is_sorted(positions.begin(), positions.end()));
  QVERIFY(std::any_of(positions.begin(), positions.end(), [](int x) { return x > 40 && x < 110; }));
}

void TestToggle::paintedColours_data() {
  QTest::addColumn<bool>("on");
  QTest::addColumn<bool>("enabled");
  QTest::addColumn<QColor>("knob");
  QTest::addColumn<QColor>("onPart");

  QTest::newRow("off, enabled") << false << true << kKnob << kGreen;
  QTest::newRow("on, enabled") << true << true << kKnob << kGreen;
  QTest::newRow("off, disabled") << false << false << kKnobDisabled << kGreenDisabled;
  QTest::newRow("on, disabled") << true << false << kKnobDisabled << kGreenDisabled;
}

void TestToggle::paintedColours() {
  QFETCH(bool, on);
  QFETCH(bool, enabled);
  QFETCH(QColor, knob);
  QFETCH(QColor, onPart);

  ShownToggle s;
  QVERIFY(s.exposed());
  if (on) {
    s.toggle.togglePosition();
  }
  s.toggle.setEnabled(enabled);
  QVERIFY(s.settled());

  const QImage img = s.toggle.grab().toImage();
  QCOMPARE(img.height(), 80);
  const int knobX = on ? 110 : 40;
  QCOMPARE(img.pixelColor(knobX, 40), knob);
  if (on) {
    QCOMPARE(img.pixelColor(20, 40), onPart);
    QCOMPARE(img.pixelColor(20, 15), onPart);
  } else {
    // At the left end the knob covers the on part completely.
    QCOMPARE(img.pixelColor(3, 40), knob);
    QCOMPARE(img.pixelColor(120, 40), kTrack);
    QCOMPARE(img.pixelColor(120, 15), kTrack);
  }
  // The track is 60 high, centred: nothing of it above y 10.
  QVERIFY(img.pixelColor(on ? 20 : 120, 5) != (on ? onPart : kTrack));
}

QTEST_MAIN(TestToggle)
#include "test_toggle.moc"
