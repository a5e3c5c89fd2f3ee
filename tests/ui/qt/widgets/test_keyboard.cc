#include <QSignalSpy>
#include <QStackedLayout>
#include <QtTest>

#include "tools/screen_driver/driver.h"
#include "ui/qt/widgets/keyboard.h"

namespace {

struct ShownKeyboard {
  ShownKeyboard()
      : keys(&kb, &Keyboard::emitKey), enters(&kb, &Keyboard::emitEnter), backspaces(&kb, &Keyboard::emitBackspace) {
    kb.resize(2060, 620);
    kb.show();
  }
  bool exposed() { return QTest::qWaitForWindowExposed(&kb); }
  int page() const { return kb.findChild<QStackedLayout *>()->currentIndex(); }
  QStringList typed() const {
    QStringList out;
    for (const QList<QVariant> &args : keys) {
      out << args.at(0).toString();
    }
    return out;
  }
  // Keys of the page on show, grouped into rows by their height on screen.
  QVector<QVector<KeyButton *>> rows() const {
    QMap<int, QVector<KeyButton *>> byY;
    for (KeyButton *key : kb.findChildren<KeyButton *>()) {
      if (key->isVisible()) {
        byY[key->mapTo(&kb, QPoint(0, 0)).y()] << key;
      }
    }
    QVector<QVector<KeyButton *>> out;
    for (QVector<KeyButton *> row : byY) {
      std::sort(row.begin(), row.end(), [](KeyButton *a, KeyButton *b) { return a->x() < b->x(); });
      out << row;
    }
    return out;
  }

  Keyboard kb;
  QSignalSpy keys;
  QSignalSpy enters;
  QSignalSpy backspaces;
};

}  // namespace

class TestKeyboard : public QObject {
  Q_OBJECT

private slots:
  void taps_data();
  void taps();
  void touchMustEndOnKey();
  void heldBackspaceRepeats();
  void pageLayout_data();
  void pageLayout();
  void keyColours_data();
  void keyColours();
};

void TestKeyboard::taps_data() {
  QTest::addColumn<QStringList>("tapped");
  QTest::addColumn<int>("page");
  QTest::addColumn<QStringList>("typed");
  QTest::addColumn<int>("enters");
  QTest::addColumn<int>("backspaces");

  const QStringList none;
  QTest::newRow("lower-case letter") << QStringList{"q"} << 0 << QStringList{"q"} << 0 << 0;
  QTest::newRow("shift") << QStringList{"↑"} << 1 << none << 0 << 0;
  QTest::newRow("shift is one-shot") << QStringList{"↑", "Q", "w"} << 0 << QStringList{"Q", "w"} << 0 << 0;
  QTest::newRow("shift off") << QStringList{"↑", "↓"} << 0 << none << 0 << 0;
  QTest::newRow("digits stay") << QStringList{"123", "5", "6"} << 2 << QStringList{"5", "6"} << 0 << 0;
  QTest::newRow("digits from upper case") << QStringList{"↑", "123"} << 2 << none << 0 << 0;
  QTest::newRow("symbols") << QStringList{"123", "#+="} << 3 << none << 0 << 0;
  QTest::newRow("symbols stay") << QStringList{"123", "#+=", "€", "\\"} << 3 << QStringList{"€", "\\"} << 0 << 0;
  QTest::newRow("symbols back to digits") << QStringList{"123", "#+=", "123"} << 2 << none << 0 << 0;
  QTest::newRow("ABC from digits") << QStringList{"123", "ABC"} << 0 << none << 0 << 0;
  QTest::newRow("ABC from symbols") << QStringList{"123", "#+=", "ABC"} << 0 << none << 0 << 0;
  QTest::newRow("enter on symbols") << QStringList{"123", "#+=", "→"} << 0 << none << 1 << 0;
  QTest::newRow("enter on upper case") << QStringList{"↑", "→"} << 0 << none << 1 << 0;
  QTest::newRow("backspace keeps page") << QStringList{"123", "⌫"} << 2 << none << 0 << 1;
  QTest::newRow("space bar") << QStringList{"  "} << 0 << QStringList{"  "} << 0 << 0;
  QTest::newRow("ampersand") << QStringList{"123", "&"} << 2 << QStringList{"&&"} << 0 << 0;
  QTest::newRow("quotes") << QStringList{"123", "\"", "#+=", "'"} << 3 << QStringList{"\"", "'"} << 0 << 0;
}

void TestKeyboard::taps() {
  QFETCH(QStringList, tapped);
  QFETCH(int, page);
  QFETCH(QStringList, typed);
  QFETCH(int, enters);
  QFETCH(int, backspaces);

  ShownKeyboard s;
  QVERIFY(s.exposed());
  QCOMPARE(s.page(), 0);
  QVERIFY(screen::tapTexts(&s.kb, tapped));
  QCOMPARE(s.page(), page);
  QCOMPARE(s.typed(), typed);
  QCOMPARE(s.enters.count(), enters);
  QCOMPARE(s.backspaces.count(), backspaces);
}

void TestKeyboard::touchMustEndOnKey() {
  ShownKeyboard s;
  QVERIFY(s.exposed());
  auto *q = qobject_cast<KeyButton *>(screen::findIn(&s.kb, "q"));
  QWidget *w = screen::findIn(&s.kb, "w");
  QVERIFY(q && w);

  // Slides from "q" onto "w" and lifts there: no key reports a tap.
  const QPoint onW = q->mapFromGlobal(w->mapToGlobal(w->rect().center()));
  screen::fingerDown(q, q->rect().center());
  QVERIFY(q->isDown());
  screen::fingerMove(q, onW);
  screen::fingerUp(q, onW);
  QVERIFY(!q->isDown());
  QCOMPARE(s.keys.count(), 0);

  // Moving within the key and lifting on it is one tap.
  screen::fingerDown(q, q->rect().center());
  screen::fingerMove(q, q->rect().center() + QPoint(5, 5));
  screen::fingerUp(q, q->rect().center() + QPoint(5, 5));
  QCOMPARE(s.typed(), QStringList{"q"});
  // Keys never take the focus from the text field.
  QCOMPARE(q->focusPolicy(), Qt::NoFocus);
}

void TestKeyboard::heldBackspaceRepeats() {
  ShownKeyboard s;
  QVERIFY(s.exposed());
  QVERIFY(screen::tapText(&s.kb, "123"));
  auto *backspace = qobject_cast<KeyButton *>(screen::findIn(&s.kb, BACKSPACE_KEY));
  QVERIFY(backspace != nullptr);

  screen::fingerDown(backspace, backspace->rect().center());
  QTRY_VERIFY(s.backspaces.count() >= 3);
  screen::fingerUp(backspace, backspace->rect().center());
  const int afterRelease = s.backspaces.count();
  QTest::qWait(backspace->autoRepeatDelay() + 3 * backspace->autoRepeatInterval());
  QCOMPARE(s.backspaces.count(), afterRelease);
  QCOMPARE(s.page(), 2);
}

void TestKeyboard::pageLayout_data() {
  QTest::addColumn<QStringList>("toPage");
  QTest::addColumn<QVector<int>>("rowSizes");
  QTest::addColumn<QString>("bottomLeft");

  QTest::newRow("lower case") << QStringList{} << QVector<int>{10, 9, 9, 6} << "123";
  QTest::newRow("upper case") << QStringList{"↑"} << QVector<int>{10, 9, 9, 4} << "123";
  QTest::newRow("digits") << QStringList{"123"} << QVector<int>{10, 10, 7, 4} << "ABC";
  QTest::newRow("symbols") << QStringList{"123", "#+="} << QVector<int>{10, 10, 7, 4} << "ABC";
}

void TestKeyboard::pageLayout() {
  QFETCH(QStringList, toPage);
  QFETCH(QVector<int>, rowSizes);
  QFETCH(QString, bottomLeft);

  ShownKeyboard s;
  QVERIFY(s.exposed());
  QVERIFY(screen::tapTexts(&s.kb, toPage));

  const auto rows = s.rows();
  QVector<int> sizes;
  for (const auto &row : rows) {
    sizes << row.size();
    for (KeyButton *key : row) {
      QCOMPARE(key->height(), 155);
    }
  }
  QCOMPARE(sizes, rowSizes);

  // Rows touch each other; only the second is inset by 90 on both sides.
  const int width = s.kb.width();
  for (int r = 0; r < rows.size(); ++r) {
    const int inset = r == 1 ? 90 : 0;
    QCOMPARE(rows[r].front()->mapTo(&s.kb, QPoint(0, 0)), QPoint(inset, r * 155));
    QCOMPARE(rows[r].back()->geometry().right(), width - 1 - inset);
  }

  // Bottom row shares: space bar 3, enter 2, the rest 1.
  const auto &bottom = rows.back();
  QCOMPARE(bottom.front()->text(), bottomLeft);
  const int unit = bottom.front()->width();
  for (KeyButton *key : bottom) {
    const int shares = key->text() == "  " ? 3 : key->text() == ENTER_KEY ? 2 : 1;
    QVERIFY2(qAbs(key->width() - shares * unit) <= shares, qPrintable(key->text()));
  }
}

void TestKeyboard::keyColours_data() {
  QTest::addColumn<QString>("label");
  QTest::addColumn<bool>("pressed");
  QTest::addColumn<QColor>("colour");

  QTest::newRow("letter") << "g" << false << QColor(0x44, 0x44, 0x44);
  QTest::newRow("letter pressed") << "g" << true << QColor(0x33, 0x33, 0x33);
  QTest::newRow("enter") << ENTER_KEY << false << QColor(0x46, 0x5b, 0xea);
  QTest::newRow("enter pressed") << ENTER_KEY << true << QColor(0x44, 0x44, 0x44);
}

void TestKeyboard::keyColours() {
  QFETCH(QString, label);
  QFETCH(bool, pressed);
  QFETCH(QColor, colour);

  ShownKeyboard s;
  QVERIFY(s.exposed());
  QWidget *key = screen::findIn(&s.kb, label);
  QVERIFY(key != nullptr);
  if (pressed) {
    screen::fingerDown(key, key->rect().center());
  }
  const QImage img = s.kb.grab().toImage();
  const QPoint origin = key->mapTo(&s.kb, QPoint(0, 0));
  // Inside the 10 and 7.5 pixel margins, clear of the rounded corners and the glyph.
  QCOMPARE(img.pixelColor(origin + QPoint(20, 18)), colour);
  // The margins show the keyboard behind, not the key.
  QVERIFY(img.pixelColor(origin + QPoint(4, key->height() / 2)) != colour);
  QVERIFY(img.pixelColor(origin + QPoint(key->width() / 2, 3)) != colour);
  if (pressed) {
    screen::fingerUp(key, key->rect().center());
  }
}

QTEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
