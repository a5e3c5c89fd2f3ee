#include <QSignalSpy>
#include <QtTest>

#include "ui/qt/widgets/controls.h"

namespace {

// Opens the protected parts of the rows to the checks.
struct Row : AbstractControl {
  using AbstractControl::AbstractControl;
  using AbstractControl::description;
  using AbstractControl::icon_label;
  using AbstractControl::title_label;
};

struct Button : ButtonControl {
  using ButtonControl::btn;
  using ButtonControl::ButtonControl;
  using ButtonControl::title_label;
};

struct Switch : ToggleControl {
  using ToggleControl::toggle;
  using ToggleControl::ToggleControl;
};

struct Elided : ElidedLabel {
  using ElidedLabel::ElidedLabel;
  using ElidedLabel::elidedText_;
};

bool showAndWait(QWidget *w) {
  w->show();
  return QTest::qWaitForWindowExposed(w);
}

// Lightest grey level in a grab, to tell bright text from greyed-out text.
int brightest(const QImage &img) {
  int best = 0;
  for (int y = 0; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) {
      best = std::max(best, qGray(img.pixel(x, y)));
    }
  }
  return best;
}

QVector<int> separatorRows(const QImage &img, int x) {
  QVector<int> ys;
  for (int y = 0; y < img.height(); ++y) {
    if (img.pixelColor(x, y) == QColor(0xa0, 0xa0, 0xa4)) {
      ys << y;
    }
  }
  return ys;
}

}  // namespace

class TestControls : public QObject {
  Q_OBJECT

private slots:
  void icon_data();
  void icon();
  void titleTaps_data();
  void titleTaps();
  void hidingFoldsDescription();
  void elidedLabelPaintsElidedText();
  void elidedLabelReadsNoMarkup_data();
  void elidedLabelReadsNoMarkup();
  void elidedLabelClicks_data();
  void elidedLabelClicks();
  void buttonControlDisabledGreysOnlyButton();
  void toggleControl();
  void listSeparators_data();
  void listSeparators();
};

void TestControls::icon_data() {
  QTest::addColumn<QString>("path");
  QTest::newRow("no icon") << QString();
  QTest::newRow("icon") << QStringLiteral(":/img_circled_slash.svg");
}

void TestControls::icon() {
  QFETCH(QString, path);

  Row row(QStringLiteral("Title"), QStringLiteral("Description"), path);
  row.resize(1000, 200);
  QVERIFY(showAndWait(&row));

  if (path.isEmpty()) {
    QVERIFY(row.icon_label->isHidden());
    QCOMPARE(row.title_label->x(), 0);
  } else {
    QVERIFY(row.icon_label->isVisible());
    QCOMPARE(row.icon_label->pixmap(Qt::ReturnByValue).width(), 80);
    QCOMPARE(row.icon_label->width(), 80);
    QCOMPARE(row.title_label->x(), 80 + 20);
  }
}

void TestControls::titleTaps_data() {
  QTest::addColumn<QString>("desc");
  QTest::addColumn<int>("taps");
  QTest::addColumn<bool>("shown");
  QTest::addColumn<int>("events");

  QTest::newRow("no description, one tap") << QString() << 1 << false << 1;
  QTest::newRow("no description, three taps") << QString() << 3 << false << 3;
  QTest::newRow("description, one tap") << QStringLiteral("More") << 1 << true << 1;
  QTest::newRow("description, two taps") << QStringLiteral("More") << 2 << false << 1;
  QTest::newRow("description, three taps") << QStringLiteral("More") << 3 << true << 2;
}

void TestControls::titleTaps() {
  QFETCH(QString, desc);
  QFETCH(int, taps);
  QFETCH(bool, shown);
  QFETCH(int, events);

  Row row(QStringLiteral("Title"), desc);
  QVERIFY(showAndWait(&row));
  QVERIFY(row.description->isHidden());

  QSignalSpy spy(&row, &AbstractControl::showDescriptionEvent);
  for (int i = 0; i < taps; ++i) {
    QTest::mouseClick(row.title_label, Qt::LeftButton);
  }
  QCOMPARE(row.description->isVisible(), shown);
  QCOMPARE(spy.count(), events);
}

void TestControls::hidingFoldsDescription() {
  QWidget screen;
  QVBoxLayout layout(&screen);
  Row *row = new Row(QStringLiteral("Title"), QStringLiteral("More"));
  layout.addWidget(row);
  QVERIFY(showAndWait(&screen));

  QTest::mouseClick(row->title_label, Qt::LeftButton);
  QVERIFY(row->description->isVisible());

  screen.hide();
  QVERIFY(showAndWait(&screen));
  QVERIFY(!row->description->isVisible());

  row->showDescription();
  QVERIFY(row->description->isVisible());
}

void TestControls::elidedLabelPaintsElidedText() {
  const QString text = QStringLiteral("a value much too long for the narrow label beside the title");
  Elided label(QStringLiteral("  ") + text + QStringLiteral("\n"));
  QCOMPARE(label.text(), text);
  label.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label.setFixedSize(200, 60);
  QVERIFY(showAndWait(&label));

  // What an ordinary label shows for the expected cut text, and for the whole text.
  auto reference = [&](const QString &shown) {
    QLabel plain(shown);
    plain.setFont(label.font());
    plain.setAlignment(label.alignment());
    plain.setFixedSize(label.size());
    return plain.grab().toImage();
  };

  const QString elided = label.fontMetrics().elidedText(text, Qt::ElideRight, label.contentsRect().width());
  QVERIFY(elided.endsWith(QChar(0x2026)));
  QImage painted = label.grab().toImage();
  QCOMPARE(label.elidedText_, elided);
  QCOMPARE(painted, reference(elided));
  QVERIFY(painted != reference(text));

  // A wider label shows more of the text.
  label.setFixedSize(400, 60);
  QTRY_COMPARE(label.width(), 400);
  painted = label.grab().toImage();
  const QString wider = label.fontMetrics().elidedText(text, Qt::ElideRight, label.contentsRect().width());
  QVERIFY(wider.size() > elided.size());
  QCOMPARE(label.elidedText_, wider);
  QCOMPARE(painted, reference(wider));
}

// Network and user names come from outside: markup in them is text, never a picture to load or a style.
void TestControls::elidedLabelReadsNoMarkup_data() {
  QTest::addColumn<QString>("markup");
  QTest::newRow("picture") << QStringLiteral("<img src=\"%1\">");
  QTest::newRow("bold") << QStringLiteral("<b>Cafe</b>");
  QTest::newRow("font size") << QStringLiteral("<font size=7>x</font>");
}

void TestControls::elidedLabelReadsNoMarkup() {
  QFETCH(QString, markup);
  QTemporaryDir dir;
  const QString picture = dir.filePath(QStringLiteral("tall.png"));
  QImage tall(40, 400, QImage::Format_RGB32);
  tall.fill(Qt::red);
  QVERIFY(tall.save(picture));
  const QString text = markup.contains(QLatin1String("%1")) ? markup.arg(picture) : markup;

  const ElidedLabel label(text);
  const ElidedLabel one_line(QStringLiteral("Cafe"));
  QCOMPARE(label.text(), text);
  QCOMPARE(label.sizeHint().height(), one_line.sizeHint().height());
  QVERIFY(label.sizeHint().width() >= label.fontMetrics().horizontalAdvance(text));
}

void TestControls::elidedLabelClicks_data() {
  QTest::addColumn<int>("button");
  QTest::addColumn<QPoint>("pos");
  QTest::addColumn<int>("clicks");

  QTest::newRow("left inside") << int(Qt::LeftButton) << QPoint(10, 10) << 1;
  QTest::newRow("right inside") << int(Qt::RightButton) << QPoint(10, 10) << 1;
  QTest::newRow("outside") << int(Qt::LeftButton) << QPoint(250, 10) << 0;
}

void TestControls::elidedLabelClicks() {
  QFETCH(int, button);
  QFETCH(QPoint, pos);
  QFETCH(int, clicks);

  ElidedLabel label(QStringLiteral("value"));
  label.setFixedSize(200, 60);
  QVERIFY(showAndWait(&label));
  QSignalSpy spy(&label, &ElidedLabel::clicked);
  QTest::mouseRelease(&label, static_cast<Qt::MouseButton>(button), Qt::NoModifier, pos);
  QCOMPARE(spy.count(), clicks);
}

void TestControls::buttonControlDisabledGreysOnlyButton() {
  Button row(QStringLiteral("Title"), QStringLiteral("FORGET"), QStringLiteral("More"));
  row.resize(1000, 200);
  QVERIFY(showAndWait(&row));
  QCOMPARE(row.btn.size(), QSize(250, 100));
  QCOMPARE(row.text(), QStringLiteral("FORGET"));

  QSignalSpy clicked(&row, &ButtonControl::clicked);
  QTest::mouseClick(&row.btn, Qt::LeftButton);
  QCOMPARE(clicked.count(), 1);
  const int brightEnabled = brightest(row.btn.grab().toImage());

  row.setEnabled(false);
  QVERIFY(row.isEnabled());
  QVERIFY(!row.btn.isEnabled());
  QTest::mouseClick(&row.btn, Qt::LeftButton);
  QCOMPARE(clicked.count(), 1);

  // #E4E4E4 text at alpha 0x33 over the #393939 button stays dark.
  const int brightDisabled = brightest(row.btn.grab().toImage());
  QVERIFY2(brightEnabled > 200, qPrintable(QString::number(brightEnabled)));
  QVERIFY2(brightDisabled < 110, qPrintable(QString::number(brightDisabled)));

  QSignalSpy described(&row, &AbstractControl::showDescriptionEvent);
  QTest::mouseClick(row.title_label, Qt::LeftButton);
  QCOMPARE(described.count(), 1);
}

void TestControls::toggleControl() {
  Switch row(QStringLiteral("Title"), QString(), QString(), true);
  QSignalSpy flipped(&row, &ToggleControl::toggleFlipped);
  row.resize(1000, 200);
  QVERIFY(showAndWait(&row));

  // Created on: the knob slides to the right end of the 150-wide switch, silently.
  QVERIFY(row.toggle.on);
  QTRY_COMPARE(row.toggle.offset_circle(), 110);
  QCOMPARE(row.toggle.height(), 80);
  QCOMPARE(flipped.count(), 0);

  QTest::mouseClick(&row.toggle, Qt::LeftButton, Qt::NoModifier, QPoint(75, 40));
  QCOMPARE(flipped.count(), 1);
  QCOMPARE(flipped.at(0).at(0).toBool(), false);
  QTRY_COMPARE(row.toggle.offset_circle(), 40);

  row.setEnabled(false);
  QVERIFY(!row.toggle.getEnabled());
  QVERIFY(row.isEnabled());
  QTest::mouseClick(&row.toggle, Qt::LeftButton, Qt::NoModifier, QPoint(75, 40));
  QCOMPARE(flipped.count(), 1);
}

void TestControls::listSeparators_data() {
  QTest::addColumn<int>("hidden");
  QTest::addColumn<QVector<int>>("lines");

  // Rows 100 high, 25 apart: a line 12 pixels under each visible row but the last item.
  QTest::newRow("all visible") << -1 << QVector<int>{111, 236};
  QTest::newRow("middle hidden") << 1 << QVector<int>{111};
  QTest::newRow("last hidden") << 2 << QVector<int>{111, 236};
  QTest::newRow("first hidden") << 0 << QVector<int>{111};
}

void TestControls::listSeparators() {
  QFETCH(int, hidden);
  QFETCH(QVector<int>, lines);

  ListWidget list;
  list.resize(400, 500);
  for (int i = 0; i < 3; ++i) {
    QWidget *row = new QWidget;
    row->setFixedHeight(100);
    list.addItem(row);
    row->setVisible(i != hidden);
  }
  QVERIFY(showAndWait(&list));

  const QImage img = list.grab().toImage();
  QCOMPARE(separatorRows(img, 200), lines);
  for (int y : lines) {
    QVERIFY(img.pixelColor(39, y) != QColor(0xa0, 0xa0, 0xa4));
    QCOMPARE(img.pixelColor(40, y), QColor(0xa0, 0xa0, 0xa4));
    QCOMPARE(img.pixelColor(359, y), QColor(0xa0, 0xa0, 0xa4));
    QVERIFY(img.pixelColor(360, y) != QColor(0xa0, 0xa0, 0xa4));
  }
}

QTEST_MAIN(TestControls)
#include "test_controls.moc"
