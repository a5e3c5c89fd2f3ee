#include <QDBusReply>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStackedLayout>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/fixtures/nm_raw.h"
#include "tests/fixtures/nm_simulator.h"
#include "tests/ui/qt/network/panel_driver.h"
#include "tests/ui/qt/network/row_icons.h"
#include "tests/ui/qt/network/shown_rows.h"
#include "ui/qt/network/networking.h"
#include "ui/qt/util.h"

namespace {

const QString kPassword = QStringLiteral("latte-art");

QPixmap icon(const QString &name, bool by_height) {
  const QPixmap pix(ASSET_PATH + name);
  return by_height ? pix.scaledToHeight(68, Qt::SmoothTransformation) : pix.scaledToWidth(49, Qt::SmoothTransformation);
}

bool samePicture(const QLabel *label, const QPixmap &expected) {
  const QPixmap shown = label->pixmap(Qt::ReturnByValue);
  if (shown.isNull()) {
    return expected.isNull();
  }
  return !expected.isNull() && shown.toImage() == expected.toImage();
}

// One row as the user sees it.
struct Row {
  WifiItem *item;
  QLabel *name() const { return item->findChild<QLabel *>(QStringLiteral("ssidLabel")); }
  QWidget *connecting() const { return item->findChild<QWidget *>(QStringLiteral("connecting")); }
  QWidget *forget() const { return item->findChild<QWidget *>(QStringLiteral("forgetBtn")); }
  // The status and strength pictures follow the name in the row.
  QLabel *status() const { return item->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly).value(1); }
  QLabel *strength() const { return item->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly).value(2); }
  bool bold() const { return name()->font().weight() == QFont::Bold; }
};

QList<Row> visibleRows(const QWidget &panel) {
  QList<Row> rows;
  for (WifiItem *item : shownRows(panel)) {
    rows << Row{item};
  }
  return rows;
}

std::optional<Row> rowNamed(const QWidget &panel, const QString &name) {
  for (const Row &row : visibleRows(panel)) {
    if (row.name()->text() == name) {
      return row;
    }
  }
  return std::nullopt;
}

QWidget *scanningLabel(const QWidget &panel) {
  for (QLabel *label : panel.findChildren<QLabel *>()) {
    if (label->text() == QStringLiteral("Scanning for networks...")) {
      return label;
    }
  }
  return nullptr;
}

int visibleForgetButtons(const QWidget &panel) {
  int n = 0;
  for (const QWidget *w : panel.findChildren<QWidget *>(QStringLiteral("forgetBtn"))) {
    n += w->isVisible() ? 1 : 0;
  }
  return n;
}

}  // namespace

class tst_Networking : public QObject {
  Q_OBJECT

private:
  NmSimulator sim;
  QTemporaryDir params_root;

  // A panel shown on screen, its first list drawn.
  std::unique_ptr<Networking> shownPanel(int rows, bool show_advanced = true) {
    auto panel = std::make_unique<Networking>(nullptr, show_advanced);
    panel::fitScreen(panel.get());
    QSignalSpy refresh(panel->wifi, &WifiManager::refreshSignal);
    panel->show();
    if (!QTest::qWaitForWindowExposed(panel.get()) || (refresh.isEmpty() && !refresh.wait(5000))) {
      return nullptr;
    }
    if (visibleRows(*panel).size() != rows) {
      qWarning() << "rows shown:" << shownNames(*panel);
      return nullptr;
    }
    return panel;
  }

  // A scan that ends and the list drawn from it.
  bool rescanned(Networking &panel) {
    QSignalSpy refresh(panel.wifi, &WifiManager::refreshSignal);
    sim.finishScan();
    return refresh.wait(5000);
  }

  bool tapName(Networking &panel, const QString &name) {
    const std::optional<Row> row = rowNamed(panel, name);
    if (!row) {
      return false;
    }
    return screen::tap(row->name());
  }

private slots:
  void initTestCase() {
    QVERIFY(params_root.isValid());
    nm::registerTypes();
    panel::isolateStore(params_root.path());
  }

  void init() { QVERIFY(sim.start()); }

  void listFillsAfterScan() {
    sim.addAccessPoint("Weak", 20, NM::Security::Wpa2Psk, kPassword);
    sim.addAccessPoint("Strong", 90, NM::Security::Open);
    sim.addAccessPoint("Middle B", 60, NM::Security::Wpa2Psk, kPassword);
    sim.addAccessPoint("Middle A", 55, NM::Security::Enterprise);
    sim.addAccessPoint("", 95, NM::Security::Wpa2Psk, kPassword);

    Networking panel(nullptr, true);
    panel::fitScreen(&panel);
    QVERIFY(visibleRows(panel).isEmpty());
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QTRY_COMPARE(shownNames(panel), (QStringList{"Strong", "Middle A", "Middle B", "Weak"}));
    QVERIFY(!scanningLabel(panel)->isVisible());
  }

  void emptyTableShowsScanning() {
    auto panel = shownPanel(0);
    QVERIFY(panel);
    QVERIFY(rescanned(*panel));
    QVERIFY(scanningLabel(*panel)->isVisible());
    QVERIFY(visibleRows(*panel).isEmpty());

    // The rows come back with the next networks seen.
    sim.addAccessPoint("Late", 70, NM::Security::Open);
    QVERIFY(rescanned(*panel));
    QCOMPARE(shownNames(*panel), QStringList{"Late"});
    QVERIFY(!scanningLabel(*panel)->isVisible());
  }

  void rowPictures_data() {
    QTest::addColumn<unsigned int>("strength");
    QTest::addColumn<NM::AccessPointSecurity>("security");
    QTest::addColumn<QString>("strength_icon");
    QTest::addColumn<QString>("status_icon");
    QTest::addColumn<bool>("enabled");
    using namespace row_icons;
    QTest::newRow("16 low, secured") << 16u << NM::Security::Wpa2Psk << low << lock << true;
    QTest::newRow("17 medium, open") << 17u << NM::Security::Open << medium << QString() << true;
    QTest::newRow("49 medium") << 49u << NM::Security::Open << medium << QString() << true;
    QTest::newRow("50 high") << 50u << NM::Security::Wpa2Psk << high << lock << true;
    QTest::newRow("82 high, unsupported") << 82u << NM::Security::Enterprise << high << slash << false;
    QTest::newRow("83 full") << 83u << NM::Security::Open << full << QString() << true;
    QTest::newRow("100 full") << 100u << NM::Security::Wpa2Psk << full << lock << true;
  }

  void rowPictures() {
    QFETCH(unsigned int, strength);
    QFETCH(NM::AccessPointSecurity, security);
    QFETCH(QString, strength_icon);
    QFETCH(QString, status_icon);
    QFETCH(bool, enabled);
    sim.addAccessPoint("Net", strength, security, kPassword);
    auto panel = shownPanel(1);
    QVERIFY(panel);
    const Row row = visibleRows(*panel).first();
    QVERIFY(samePicture(row.strength(), icon(strength_icon, true)));
    QVERIFY(samePicture(row.status(), status_icon.isEmpty() ? QPixmap() : icon(status_icon, false)));
    QCOMPARE(row.name()->isEnabled(), enabled);
    QVERIFY(!row.bold());
    QVERIFY(!row.connecting()->isVisible());
    QVERIFY(!row.forget()->isVisible());
  }

  void securedJoinWithWrongThenRightPassword() {
    sim.addAccessPoint("Orbit", 40, NM::Security::Wpa2Psk, kPassword);
    sim.addAccessPoint("Other", 90, NM::Security::Open);
    auto panel = shownPanel(2);
    QVERIFY(panel);
    QSignalSpy wrong(panel->wifi, &WifiManager::wrongPassword);

    panel::Dialogs dialogs;
    dialogs.thenType(QStringLiteral("wrong-guess"));
    dialogs.thenType(kPassword);
    QVERIFY(tapName(*panel, "Orbit"));

    QTRY_COMPARE(dialogs.seen.size(), 2);
    QCOMPARE(dialogs.seen[0].mid(0, 2), (QStringList{"Enter password", "for \"Orbit\""}));
    QCOMPARE(dialogs.seen[1].mid(0, 2), (QStringList{"Wrong password", "for \"Orbit\""}));
    QCOMPARE(wrong.count(), 1);

    QTRY_VERIFY(!nmraw::connectionsWithSsid("Orbit").isEmpty());
    const QList<QDBusObjectPath> saved = nmraw::connectionsWithSsid("Orbit");
    QCOMPARE(saved.size(), 1);
    QCOMPARE(nmraw::secrets(saved.first(), "802-11-wireless-security")
                 .value("802-11-wireless-security")
                 .value("psk")
                 .toString(),
             kPassword);

    // Connected networks come first, bold, with the checkmark and no marker.
    QTRY_COMPARE(shownNames(*panel).value(0), QStringLiteral("Orbit"));
    QTRY_VERIFY(samePicture(visibleRows(*panel).first().status(), icon("offroad/icon_checkmark.svg", false)));
    const Row row = visibleRows(*panel).first();
    QVERIFY(row.bold());
    QVERIFY(!row.connecting()->isVisible());
    QVERIFY(row.forget()->isVisible());
    QCOMPARE(wrong.count(), 1);
    // A refused key has its own question and no alert after it.
    sim.settle();
    QCOMPARE(dialogs.seen.size(), 2);
  }

  // A join the user started that the simulator, as the daemon, ends for another reason than the
  // key: one alert naming the network and why, the row idle behind it and the network still saved;
  // a tap tries again with the saved key.
  void joinFailureAlerted_data() {
    QTest::addColumn<bool>("gone");  // else the network hands out no address
    QTest::addColumn<QString>("why");
    QTest::newRow("access point gone") << true << "The network is out of range.";
    QTest::newRow("no address") << false << "The network gave this device no address.";
  }

  void joinFailureAlerted() {
    QFETCH(bool, gone);
    QFETCH(QString, why);
    sim.addAccessPoint("Orbit", 40, NM::Security::Wpa2Psk, kPassword);
    auto panel = shownPanel(1);
    QVERIFY(panel);
    QCOMPARE(gone ? sim.takeAway("Orbit") : sim.withholdAddress("Orbit", true), 1);

    const QString alert = QStringLiteral("Could not connect to \"Orbit\"\n") + why;
    bool idle_behind = false;
    panel::Dialogs dialogs;
    dialogs.thenType(kPassword);
    dialogs.then([&](QWidget *alert_dialog) {
      const std::optional<Row> row = rowNamed(*panel, "Orbit");
      idle_behind = row && !row->connecting()->isVisible() && !row->bold();
      QVERIFY(screen::tapText(alert_dialog, QStringLiteral("Ok")));
    });
    QVERIFY(tapName(*panel, "Orbit"));
    QTRY_COMPARE(dialogs.pending(), 0);
    QCOMPARE(dialogs.seen.size(), 2);
    QCOMPARE(dialogs.seen[1], QStringList{alert});
    QVERIFY(idle_behind);
    QCOMPARE(nmraw::connectionsWithSsid("Orbit").size(), 1);
    QVERIFY(rowNamed(*panel, "Orbit")->forget()->isVisible());

    sim.clearCalls();
    dialogs.thenPress(QStringLiteral("Ok"));
    QVERIFY(tapName(*panel, "Orbit"));
    QTRY_COMPARE(dialogs.seen.size(), 3);
    QCOMPARE(dialogs.seen[2], QStringList{alert});
    QCOMPARE(sim.callsOf("ActivateConnection").size(), 1);
    QVERIFY(sim.callsOf("AddConnection").isEmpty());

    QCOMPARE(gone ? sim.bringBack("Orbit") : sim.withholdAddress("Orbit", false), 1);
    QVERIFY(tapName(*panel, "Orbit"));
    QTRY_VERIFY(samePicture(visibleRows(*panel).first().status(), icon("offroad/icon_checkmark.svg", false)));
    QCOMPARE(dialogs.seen.size(), 3);
  }

  // The words for each reason the daemon gives when a join ends unjoined.
  void joinFailureReasons_data() {
    using S = NM::DeviceState;
    using R = NM::Reason;
    QTest::addColumn<uint>("state");
    QTest::addColumn<uint>("reason");
    QTest::addColumn<QString>("why");
    QTest::newRow("ssid not found") << uint(S::Failed) << uint(R::SsidNotFound) << "The network is out of range.";
    QTest::newRow("IP configuration unavailable")
        << uint(S::Failed) << uint(R::IpConfigUnavailable) << "The network gave this device no address.";
    QTest::newRow("DHCP failed") << uint(S::Failed) << uint(R::DhcpFailed)
                                 << "The network gave this device no address.";
    QTest::newRow("supplicant time-out") << uint(S::Failed) << uint(R::SupplicantTimeout)
                                         << "The network did not answer in time.";
    QTest::newRow("supplicant gone") << uint(S::Unavailable) << uint(R::SupplicantFailed)
                                     << "The Wi-Fi of this device is not available.";
    QTest::newRow("device removed") << uint(S::Unmanaged) << uint(R::Removed)
                                    << "The Wi-Fi of this device is not available.";
    QTest::newRow("anything else") << uint(S::Failed) << uint(R::ConfigFailed) << "Try again.";
  }

  void joinFailureReasons() {
    QFETCH(uint, state);
    QFETCH(uint, reason);
    QFETCH(QString, why);
    sim.addAccessPoint("Orbit", 40, NM::Security::Open);
    sim.setFault("ActivateConnection", NmSimulator::Fault::Stall);
    auto panel = shownPanel(1);
    QVERIFY(panel);
    panel::Dialogs dialogs;
    dialogs.thenPress(QStringLiteral("Ok"));
    QVERIFY(tapName(*panel, "Orbit"));
    QTRY_VERIFY(panel->wifi->isKnownConnection("Orbit"));
    sim.setDeviceState(NM::DeviceState(state), NM::Reason(reason));
    QTRY_COMPARE(dialogs.seen.size(), 1);
    QCOMPARE(dialogs.seen[0], QStringList{QStringLiteral("Could not connect to \"Orbit\"\n") + why});
  }

  void connectingRowMarked() {
    sim.addAccessPoint("Slow", 40, NM::Security::Open);
    sim.setFault("ActivateConnection", NmSimulator::Fault::Stall);
    auto panel = shownPanel(1);
    QVERIFY(panel);
    QVERIFY(tapName(*panel, "Slow"));
    QTRY_VERIFY(visibleRows(*panel).first().connecting()->isVisible());
    QVERIFY(visibleRows(*panel).first().bold());

    // A row that is connecting takes no more taps.
    QTRY_COMPARE(sim.callsOf("ActivateConnection").size(), 1);
    sim.clearCalls();
    QVERIFY(tapName(*panel, "Slow"));
    sim.settle();
    QVERIFY(sim.calls().filter(QRegularExpression("^(AddConnection|ActivateConnection) ")).isEmpty());
  }

  void cancelledPromptMakesNoCall() {
    sim.addAccessPoint("Orbit", 40, NM::Security::Wpa2Psk, kPassword);
    auto panel = shownPanel(1);
    QVERIFY(panel);
    sim.clearCalls();
    panel::Dialogs dialogs;
    dialogs.thenPress(QStringLiteral("Cancel"));
    QVERIFY(tapName(*panel, "Orbit"));
    QCOMPARE(dialogs.seen.size(), 1);
    sim.settle();
    const QStringList calls = sim.calls();
    QVERIFY2(calls.filter(QRegularExpression("^(AddConnection|ActivateConnection|Delete) ")).isEmpty(),
             qPrintable(calls.join('\n')));
    QVERIFY(!visibleRows(*panel).first().bold());
  }

  void openNetworkJoinedAtOnce() {
    sim.addAccessPoint("Library", 40, NM::Security::Open);
    auto panel = shownPanel(1);
    QVERIFY(panel);
    panel::Dialogs dialogs;
    QVERIFY(tapName(*panel, "Library"));
    QTRY_COMPARE(nmraw::connectionsWithSsid("Library").size(), 1);
    QVERIFY(!nmraw::settings(nmraw::connectionsWithSsid("Library").first()).contains("802-11-wireless-security"));
    QTRY_VERIFY(visibleRows(*panel).first().bold() && !visibleRows(*panel).first().connecting()->isVisible());
    QVERIFY(dialogs.seen.isEmpty());
  }

  void knownNetworkActivatedWithoutPrompt() {
    sim.addAccessPoint("Home", 40, NM::Security::Wpa2Psk, kPassword);
    const QDBusObjectPath saved = nmraw::addConnection(nmraw::wifiProfile("Home", kPassword));
    auto panel = shownPanel(1);
    QVERIFY(panel);
    QVERIFY(visibleRows(*panel).first().forget()->isVisible());
    sim.clearCalls();
    panel::Dialogs dialogs;
    QVERIFY(tapName(*panel, "Home"));
    QTRY_COMPARE(sim.callsOf("ActivateConnection").size(), 1);
    QVERIFY(sim.callsOf("ActivateConnection").first().contains(saved.path()));
    QVERIFY(sim.callsOf("AddConnection").isEmpty());
    QTRY_VERIFY(samePicture(visibleRows(*panel).first().status(), icon("offroad/icon_checkmark.svg", false)));
    QVERIFY(dialogs.seen.isEmpty());
  }

  void forget_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("kept");
    QTest::newRow("confirmed") << QStringLiteral("Forget") << false;
    QTest::newRow("cancelled") << QStringLiteral("Cancel") << true;
  }

  void forget() {
    QFETCH(QString, answer);
    QFETCH(bool, kept);
    sim.addAccessPoint("Home", 40, NM::Security::Wpa2Psk, kPassword);
    const QDBusObjectPath saved = nmraw::addConnection(nmraw::wifiProfile("Home", kPassword));
    auto panel = shownPanel(1);
    QVERIFY(panel);
    panel::Dialogs dialogs;
    dialogs.thenPress(answer);
    QVERIFY(screen::tap(visibleRows(*panel).first().forget()));
    QCOMPARE(dialogs.seen.size(), 1);
    QVERIFY(dialogs.seen.first().contains(QStringLiteral("Forget Wi-Fi Network \"Home\"?")));
    QTRY_COMPARE(nmraw::listConnections().contains(saved), kept);
    QVERIFY(rescanned(*panel));
    QCOMPARE(visibleRows(*panel).first().forget()->isVisible(), kept);
  }

  void unsupportedNetworkIgnoresTaps() {
    sim.addAccessPoint("Campus", 70, NM::Security::Enterprise);
    auto panel = shownPanel(1);
    QVERIFY(panel);
    sim.clearCalls();
    panel::Dialogs dialogs;
    QVERIFY(tapName(*panel, "Campus"));
    sim.settle();
    QVERIFY(dialogs.seen.isEmpty());
    QVERIFY(sim.calls().filter(QRegularExpression("^(AddConnection|ActivateConnection) ")).isEmpty());
  }

  void ssidWithZeroByte() {
    const QByteArray ssid("Zero\0Tail", 9);
    sim.addAccessPoint(ssid, 60, NM::Security::Wpa2Psk, kPassword);
    auto panel = shownPanel(1);
    QVERIFY(panel);
    QCOMPARE(shownNames(*panel), QStringList{"Zero"});
    panel::Dialogs dialogs;
    dialogs.thenType(kPassword);
    QVERIFY(tapName(*panel, "Zero"));
    QCOMPARE(dialogs.seen.value(0).value(1), QStringLiteral("for \"Zero\""));
    // The manager knows it by its text, so the row offers to forget it.
    QTRY_VERIFY(visibleRows(*panel).first().forget()->isVisible());
    QTRY_VERIFY(samePicture(visibleRows(*panel).first().status(), icon("offroad/icon_checkmark.svg", false)));
    QCOMPARE(shownNames(*panel), QStringList{"Zero"});
  }

  void rowsHiddenThenReused() {
    QList<QDBusObjectPath> aps;
    for (int i = 0; i < 10; ++i) {
      aps << sim.addAccessPoint("Net " + QByteArray::number(i), 90 - i, NM::Security::Open);
    }
    auto panel = shownPanel(10);
    QVERIFY(panel);
    const QList<WifiItem *> items = panel->findChildren<WifiItem *>();
    QCOMPARE(items.size(), 10);

    for (int i = 3; i < 10; ++i) {
      QVERIFY(sim.removeAccessPoint(aps[i]));
    }
    QVERIFY(rescanned(*panel));
    QCOMPARE(shownNames(*panel), (QStringList{"Net 0", "Net 1", "Net 2"}));
    QCOMPARE(panel->findChildren<WifiItem *>(), items);
    for (int i = 3; i < 10; ++i) {
      QVERIFY(items[i]->isHidden());
    }

    for (int i = 0; i < 7; ++i) {
      sim.addAccessPoint("New " + QByteArray::number(i), 20, NM::Security::Wpa2Psk, kPassword);
    }
    QVERIFY(rescanned(*panel));
    QCOMPARE(visibleRows(*panel).size(), 10);
    QCOMPARE(panel->findChildren<WifiItem *>(), items);
    QCOMPARE(shownNames(*panel).mid(3, 2), (QStringList{"New 0", "New 1"}));
  }

  void tetheringHidesEveryForget() {
    sim.addAccessPoint("Home", 40, NM::Security::Wpa2Psk, kPassword);
    sim.addAccessPoint("Work", 60, NM::Security::Open);
    nmraw::addConnection(nmraw::wifiProfile("Home", kPassword));
    nmraw::addConnection(nmraw::wifiProfile("Work"));
    auto panel = shownPanel(2);
    QVERIFY(panel);
    QCOMPARE(visibleForgetButtons(*panel), 2);

    panel->wifi->setTetheringEnabled(true);
    QTRY_VERIFY(panel->wifi->isTetheringEnabled());
    QVERIFY(rescanned(*panel));
    QVERIFY(visibleRows(*panel).size() >= 2);
    QCOMPARE(visibleForgetButtons(*panel), 0);

    panel->wifi->setTetheringEnabled(false);
    QTRY_VERIFY(!panel->wifi->isTetheringEnabled());
    QVERIFY(rescanned(*panel));
    QCOMPARE(visibleForgetButtons(*panel), 2);
  }

  void hidingStopsScanningShowingStarts() {
    sim.addAccessPoint("Home", 40, NM::Security::Open);
    auto panel = shownPanel(1);
    QVERIFY(panel);
    QStackedLayout *stack = panel->findChild<QStackedLayout *>();
    stack->setCurrentIndex(1);

    panel->hide();
    QCOMPARE(stack->currentIndex(), 0);
    sim.clearCalls();
    QSignalSpy refresh(panel->wifi, &WifiManager::refreshSignal);
    sim.finishScan();
    sim.settle();
    QCOMPARE(refresh.count(), 0);
    QVERIFY(sim.callsOf("GetAllAccessPoints").isEmpty());

    panel->show();
    QVERIFY(refresh.wait(5000));
    QCOMPARE(sim.callsOf("GetAllAccessPoints").size(), 1);
    QVERIFY(rescanned(*panel));
  }

  void wrongPasswordForVanishedNetworkIgnored() {
    const QDBusObjectPath ap = sim.addAccessPoint("Gone", 40, NM::Security::Wpa2Psk, kPassword);
    sim.setFault("ActivateConnection", NmSimulator::Fault::Stall);
    auto panel = shownPanel(1);
    QVERIFY(panel);
    QSignalSpy wrong(panel->wifi, &WifiManager::wrongPassword);
    panel::Dialogs dialogs;
    dialogs.thenType(kPassword);
    QVERIFY(tapName(*panel, "Gone"));
    QCOMPARE(dialogs.seen.size(), 1);

    QVERIFY(sim.removeAccessPoint(ap));
    sim.finishScan();
    QTRY_VERIFY(panel->wifi->seenNetworks.isEmpty());
    sim.setDeviceState(NM::DeviceState::NeedAuth, NM::Reason::SupplicantDisconnect);
    QTRY_COMPARE(wrong.count(), 1);
    QCOMPARE(wrong.first().first().toString(), QStringLiteral("Gone"));
    sim.settle();
    QCOMPARE(dialogs.seen.size(), 1);
  }

  void withoutAdvancedButtonListFillsPanel() {
    sim.addAccessPoint("Home", 40, NM::Security::Open);
    auto panel = shownPanel(1, false);
    QVERIFY(panel);
    QVERIFY(panel->findChild<QWidget *>(QStringLiteral("advanced_btn")) == nullptr);
    const QWidget *list = panel->findChild<QWidget *>(QStringLiteral("wifiWidget"));
    while (list && !qobject_cast<const QScrollArea *>(list)) {
      list = list->parentWidget();
    }
    QVERIFY(list);
    QCOMPARE(list->mapTo(panel.get(), QPoint(0, 0)), QPoint(20, 20));
    QCOMPARE(list->size(), panel->size() - QSize(40, 40));
  }
};

QTEST_MAIN(tst_Networking)
#include "test_networking.moc"
