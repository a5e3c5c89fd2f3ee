#include <QtTest>
#include <memory>

#include "tests/ui/qt/network/row_icons.h"
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

QStringList shownNames(const WifiUI &list) {
  QStringList names;
  for (const WifiItem *row : rows(list)) {
    if (row->isVisible()) {
      names << row->findChild<QLabel *>(QStringLiteral("ssidLabel"))->text();
    }
  }
  return names;
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

    const WifiItem *row = rows(*list).value(0);
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
