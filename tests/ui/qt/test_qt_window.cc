#include <QWidget>
#include <QtTest>

#include "ui/qt/qt_window.h"

class TestQtWindow : public QObject {
  Q_OBJECT

private slots:
  void fixedSizeFollowsScale_data() {
    QTest::addColumn<QByteArray>("scale");  // null: SCALE unset
    QTest::addColumn<QSize>("size");

    QTest::newRow("unset") << QByteArray() << QSize(2160, 1080);
    QTest::newRow("0.5") << QByteArray("0.5") << QSize(1080, 540);
    QTest::newRow("1.5") << QByteArray("1.5") << QSize(3240, 1620);
    QTest::newRow("rounded to nearest") << QByteArray("0.3333") << QSize(720, 360);
    QTest::newRow("not a number") << QByteArray("abc") << QSize(0, 0);
  }

  void fixedSizeFollowsScale() {
    QFETCH(QByteArray, scale);
    QFETCH(QSize, size);
    if (scale.isNull()) {
      qunsetenv("SCALE");
    } else {
      qputenv("SCALE", scale);
    }

    QWidget w;
    setMainWindow(&w);
    QCOMPARE(w.minimumSize(), size);
    QCOMPARE(w.maximumSize(), size);
    QVERIFY(w.isVisible());
    QVERIFY(w.windowState() & Qt::WindowFullScreen);
  }
};

QTEST_MAIN(TestQtWindow)
#include "test_qt_window.moc"
