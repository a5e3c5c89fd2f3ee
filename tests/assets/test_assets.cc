#include <QImage>
#include <QtTest>

#include "ui/qt/util.h"

// The images are drawn for the sizes and colours the screens expect; a missing SVG
// plugin or a dropped resource bundle shows up here as a null image.
class TestAssets : public QObject {
  Q_OBJECT

private slots:
  void loadsAtDrawingSize_data();
  void loadsAtDrawingSize();
  void colours_data();
  void colours();
};

void TestAssets::loadsAtDrawingSize_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<QSize>("size");

  // The screens build the strength paths with a doubled separator after the colon.
  for (const char *level : {"low", "medium", "high", "full"}) {
    QTest::newRow(level) << ASSET_PATH + "/offroad/icon_wifi_strength_" + level + ".svg" << QSize(68, 68);
  }
  QTest::newRow("lock") << ASSET_PATH + "offroad/icon_lock_closed.svg" << QSize(40, 49);
  QTest::newRow("checkmark") << ASSET_PATH + "offroad/icon_checkmark.svg" << QSize(112, 80);
  QTest::newRow("circled slash") << ASSET_PATH + "img_circled_slash.svg" << QSize(104, 104);
  QTest::newRow("eye open") << ASSET_PATH + "img_eye_open.svg" << QSize(81, 44);
  QTest::newRow("eye closed") << ASSET_PATH + "img_eye_closed.svg" << QSize(81, 54);
}

void TestAssets::loadsAtDrawingSize() {
  QFETCH(QString, path);
  QFETCH(QSize, size);

  const QImage image(path);
  QVERIFY2(!image.isNull(), qPrintable(path));
  QCOMPARE(image.size(), size);
}

void TestAssets::colours_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<QPoint>("point");
  QTest::addColumn<QColor>("colour");

  const QColor white(0xff, 0xff, 0xff);
  const QColor dark(0x3d, 0x3d, 0x3d);
  const QColor lock(0x69, 0x69, 0x69);
  const QColor eye(0xbd, 0xbd, 0xbd);
  const QColor clear(Qt::transparent);

  // Middle of each element of the fan on its centre line, innermost first.
  const QVector<QPoint> fan = {{34, 56}, {34, 40}, {34, 26}, {34, 12}};
  const QStringList levels = {"low", "medium", "high", "full"};
  for (int level = 0; level < levels.size(); ++level) {
    for (int element = 0; element < fan.size(); ++element) {
      const QString name = QString("%1 element %2").arg(levels[level]).arg(element);
      QTest::newRow(qPrintable(name)) << ASSET_PATH + "offroad/icon_wifi_strength_" + levels[level] + ".svg"
                                      << fan[element] << (element <= level ? white : dark);
    }
    QTest::newRow(qPrintable(levels[level] + " background"))
        << ASSET_PATH + "offroad/icon_wifi_strength_" + levels[level] + ".svg" << QPoint(2, 60) << clear;
  }

  const QString lockPath = ASSET_PATH + "offroad/icon_lock_closed.svg";
  QTest::newRow("lock body") << lockPath << QPoint(8, 40) << lock;
  QTest::newRow("lock shackle") << lockPath << QPoint(9, 16) << lock;
  QTest::newRow("lock inside shackle") << lockPath << QPoint(20, 12) << clear;

  const QString checkPath = ASSET_PATH + "offroad/icon_checkmark.svg";
  QTest::newRow("checkmark joint") << checkPath << QPoint(40, 68) << white;
  QTest::newRow("checkmark corner") << checkPath << QPoint(100, 75) << clear;

  const QString slashPath = ASSET_PATH + "img_circled_slash.svg";
  QTest::newRow("circle top") << slashPath << QPoint(52, 6) << lock;
  QTest::newRow("slash centre") << slashPath << QPoint(52, 52) << lock;
  QTest::newRow("slash lower left") << slashPath << QPoint(30, 74) << lock;
  QTest::newRow("off the slash, upper left") << slashPath << QPoint(30, 30) << clear;
  QTest::newRow("off the slash, lower right") << slashPath << QPoint(74, 74) << clear;

  QTest::newRow("open eye pupil") << ASSET_PATH + "img_eye_open.svg" << QPoint(40, 22) << eye;
  QTest::newRow("open eye corner") << ASSET_PATH + "img_eye_open.svg" << QPoint(2, 2) << clear;
  QTest::newRow("closed eye pupil") << ASSET_PATH + "img_eye_closed.svg" << QPoint(40, 27) << eye;
  QTest::newRow("closed eye slash") << ASSET_PATH + "img_eye_closed.svg" << QPoint(63, 9) << eye;
  QTest::newRow("closed eye corner") << ASSET_PATH + "img_eye_closed.svg" << QPoint(72, 48) << clear;
}

void TestAssets::colours() {
  QFETCH(QString, path);
  QFETCH(QPoint, point);
  QFETCH(QColor, colour);

  const QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
  QVERIFY2(!image.isNull(), qPrintable(path));
  const QColor actual = image.pixelColor(point);
  if (colour.alpha() == 0) {
    QCOMPARE(actual.alpha(), 0);
  } else {
    QCOMPARE(actual.name(QColor::HexArgb), colour.name(QColor::HexArgb));
  }
}

QTEST_MAIN(TestAssets)
#include "test_assets.moc"
