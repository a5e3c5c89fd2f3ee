#include <QtTest>
#include <memory>

#include "tests/ui/qt/network/row_icons.h"
#include "tests/ui/qt/network/shown_rows.h"
#include "ui/qt/network/networking.h"
#include "ui/qt/util.h"

Q_DECLARE_METATYPE(Network)

namespace {

Network network(const QByteArray &ssid, unsigned int strength, SecurityType security = SecurityType::WPA,
                ConnectedType connected = ConnectedType::DISCONNECTED) {
  return {ssid, strength, connected, security};
}

QList<WifiItem *> rows(const WifiUI &list) {
  return list.findChildren<WifiItem *>();
}

// The names of `networks` in the order the list must show them.
QStringList listOrder(QList<Network> networks) {
  std::sort(networks.begin(), networks.end(), compare_by_strength);
  QStringList names;
  for (const Network &n : networks) {
    names << ssidText(n.ssid);
  }
  return names;
}

QImage icon(const QString &name, bool by_height) {
  if (name.isEmpty()) {
    return QImage();
  }
  const QPixmap pix(ASSET_PATH + name);
  return (by_height ? pix.scaledToHeight(68, Qt::SmoothTransformation)
                    : pix.scaledToWidth(49, Qt::SmoothTransformation))
      .toImage();
}

QString strengthIcon(unsigned int strength) {
  const QString levels[] = {row_icons::low, row_icons::medium, row_icons::high, row_icons::full};
  return levels[strengthLevel(strength)];
}

// The status and strength pictures follow the name among the row's labels.
QImage picture(const WifiItem *row, int label) {
  return row->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly)
      .value(label)
      ->pixmap(Qt::ReturnByValue)
      .toImage();
}

}  // namespace

// The Wi-Fi list on its own, fed through its manager's table of networks.
class TestWifiList : public QObject {
  Q_OBJECT

private:
  std::unique_ptr<WifiManager> wifi;
  std::unique_ptr<WifiUI> list;

  void show(const QList<Network> &networks, const QStringList &known = {}) {
    wifi->seenNetworks.clear();
    for (const Network &n : networks) {
      wifi->seenNetworks.insert(ssidText(n.ssid), n);
    }
    wifi->knownConnections.clear();
    for (const QString &ssid : known) {
      wifi->knownConnections.insert(QDBusObjectPath("/saved/" + QString::number(wifi->knownConnections.size())), ssid);
    }
    list->refresh();
  }

  static QList<Network> manyNetworks(const QByteArray &name, int count) {
    QList<Network> networks;
    for (int i = 0; i < count; ++i) {
      networks << network(name + " " + QByteArray::number(i), i % 101, i % 2 ? SecurityType::WPA : SecurityType::OPEN);
    }
    return networks;
  }

private slots:
  void init() {
    wifi = std::make_unique<WifiManager>(nullptr);
    list = std::make_unique<WifiUI>(nullptr, wifi.get());
    list->resize(2160, 1080);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
  }

  void cleanup() {
    list.reset();
    wifi.reset();
  }

  // A scan longer than a screen shows its first rows at once and the others soon after, all in order;
  // a shorter scan then hides the rows it does not need and keeps them.
  void longListArrivesInOrder() {
    const QList<Network> networks = manyNetworks("Net", 60);
    show(networks);
    QVERIFY(!shownNames(*list).isEmpty());
    QTRY_COMPARE(shownNames(*list), listOrder(networks));

    const QList<WifiItem *> built = rows(*list);
    QCOMPARE(built.size(), 60);
    const QList<Network> fewer = manyNetworks("Other", 30);
    show(fewer);
    QCOMPARE(shownNames(*list), listOrder(fewer));
    QTest::qWait(50);
    QCOMPARE(rows(*list), built);
  }

  // Rows still to be built follow the newest scan, never an older one.
  void scanArrivingWhileRowsAreBuilt() {
    show(manyNetworks("First", 60));
    const QList<Network> second = manyNetworks("Second", 45);
    show(second);
    QTRY_COMPARE(shownNames(*list), listOrder(second));
    QTest::qWait(50);
    QCOMPARE(rows(*list).size(), 45);
    QCOMPARE(shownNames(*list), listOrder(second));
  }

  // Each network keeps its row from scan to scan, so a new order moves rows; whatever the rows that
  // were kept, freed or still to be built, the list shows every network in order with its own
  // pictures: here the networks of the first scan sink to the bottom under new ones, then the whole
  // order turns over.
  void rowsFollowTheirNetworks() {
    QList<Network> networks = manyNetworks("Old", 20);
    show(networks);
    QTRY_COMPARE(shownNames(*list), listOrder(networks));
    for (int i = 0; i < 40; ++i) {
      networks << network("New " + QByteArray::number(i), 60 + i, i % 3 ? SecurityType::WPA : SecurityType::OPEN);
    }
    const auto showsOwnPictures = [this](const QList<Network> &shown) {
      for (const WifiItem *row : shownRows(*list)) {
        const auto n = std::find_if(shown.begin(), shown.end(),
                                    [&](const Network &net) { return ssidText(net.ssid) == shownName(row); });
        if (n == shown.end() || picture(row, 2) != icon(strengthIcon(n->strength), true) ||
            picture(row, 1) != icon(n->security_type == SecurityType::WPA ? row_icons::lock : QString(), false)) {
          qWarning() << "wrong pictures for" << shownName(row);
          return false;
        }
      }
      return true;
    };
    show(networks);
    QTRY_COMPARE(shownNames(*list), listOrder(networks));
    QVERIFY(showsOwnPictures(networks));

    for (Network &n : networks) {
      n.strength = 100 - n.strength;
    }
    show(networks);
    QCOMPARE(shownNames(*list), listOrder(networks));
    QVERIFY(showsOwnPictures(networks));
    QCOMPARE(rows(*list).size(), 60);
  }

  // A name takes the size an ordinary label of the same font, style and plain text would take.
  void namesMeasureAsLabels_data() {
    QTest::addColumn<QByteArray>("ssid");
    QTest::addColumn<bool>("connected");
    QTest::newRow("plain") << QByteArray("Harbour Cafe") << false;
    QTest::newRow("bold, connected") << QByteArray("Fernhill Home") << true;
    QTest::newRow("wider than the row")
        << QByteArray(
               "A network name far too long for any row of the list, even on this wide screen, said twice: "
               "a network name far too long for any row of the list, even on this wide screen")
        << false;
    QTest::newRow("accents") << QByteArray("Caf\xc3\xa9 Zo\xc3\xab \xc3\x85ngstr\xc3\xb6m") << false;
    QTest::newRow("another script") << QByteArray("\xe5\x92\x96\xe5\x95\xa1\xe5\xba\x97") << false;
    QTest::newRow("emoji") << QByteArray("\xe2\x98\x95 Free Wi-Fi \xf0\x9f\x93\xb6") << false;
    QTest::newRow("ampersand") << QByteArray("Tom & Jerry") << true;
    QTest::newRow("markup") << QByteArray("<b>Cafe</b>") << false;
    QTest::newRow("line break") << QByteArray("Two\nlines") << false;
  }

  void namesMeasureAsLabels() {
    QFETCH(QByteArray, ssid);
    QFETCH(bool, connected);
    show({network(ssid, 60, SecurityType::WPA, connected ? ConnectedType::CONNECTED : ConnectedType::DISCONNECTED)});
    WifiItem *row = shownRows(*list).value(0);
    QVERIFY(row != nullptr);
    const QLabel *name = row->findChild<QLabel *>(QStringLiteral("ssidLabel"));
    QCOMPARE(name->text(), ssidText(ssid));

    auto *label = new QLabel(row);
    label->setObjectName(name->objectName());
    label->setTextFormat(Qt::PlainText);
    label->setText(name->text());
    label->setFont(name->font());
    label->setMinimumWidth(name->minimumWidth());
    label->setSizePolicy(name->sizePolicy());
    QCOMPARE(name->sizeHint(), label->sizeHint());
    QCOMPARE(name->minimumSizeHint(), label->minimumSizeHint());
  }

  // A row that showed one network shows the next one as if it were new.
  void reusedRowShowsItsNewNetwork_data() {
    QTest::addColumn<Network>("before");
    QTest::addColumn<bool>("before_known");
    QTest::addColumn<Network>("after");
    QTest::addColumn<bool>("after_known");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("strength");

    using namespace row_icons;
    QTest::newRow("connected and saved, then open")
        << network("Home", 95, SecurityType::WPA, ConnectedType::CONNECTED) << true
        << network("Cafe", 5, SecurityType::OPEN) << false << QString() << low;
    QTest::newRow("open, then connected and saved")
        << network("Cafe", 5, SecurityType::OPEN) << false
        << network("Home", 95, SecurityType::WPA, ConnectedType::CONNECTED) << true << checkmark << full;
    QTest::newRow("connecting, then unsupported")
        << network("Slow", 95, SecurityType::OPEN, ConnectedType::CONNECTING) << false
        << network("Campus", 95, SecurityType::UNSUPPORTED) << false << slash << full;
    QTest::newRow("the same network, now secured and weak")
        << network("Same", 95, SecurityType::OPEN) << false << network("Same", 5, SecurityType::WPA) << false << lock
        << low;
  }

  void reusedRowShowsItsNewNetwork() {
    QFETCH(Network, before);
    QFETCH(bool, before_known);
    QFETCH(Network, after);
    QFETCH(bool, after_known);
    QFETCH(QString, status);
    QFETCH(QString, strength);

    show({before}, before_known ? QStringList{ssidText(before.ssid)} : QStringList());
    show({after}, after_known ? QStringList{ssidText(after.ssid)} : QStringList());

    const WifiItem *row = shownRows(*list).value(0);
    QVERIFY(row != nullptr);
    const QLabel *name = row->findChild<QLabel *>(QStringLiteral("ssidLabel"));
    QCOMPARE(name->text(), ssidText(after.ssid));
    QCOMPARE(name->font().weight(), after.connected == ConnectedType::DISCONNECTED ? QFont::Normal : QFont::Bold);
    QCOMPARE(name->isEnabled(), after.security_type != SecurityType::UNSUPPORTED);
    QCOMPARE(row->findChild<QWidget *>(QStringLiteral("connecting"))->isVisible(),
             after.connected == ConnectedType::CONNECTING);
    QCOMPARE(row->findChild<QWidget *>(QStringLiteral("forgetBtn"))->isVisible(), after_known);
    QCOMPARE(picture(row, 1), icon(status, false));
    QCOMPARE(picture(row, 2), icon(strength, true));
  }
};

QTEST_MAIN(TestWifiList)
#include "test_wifi_list.moc"
