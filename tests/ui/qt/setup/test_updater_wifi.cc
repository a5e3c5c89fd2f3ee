#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/fixtures/nm_simulator.h"
#include "tests/ui/qt/network/panel_driver.h"
#include "tests/ui/qt/network/shown_rows.h"
#include "ui/qt/network/networking.h"
#include "ui/qt/setup/updater.h"

namespace {

QLabel *networkName(const QWidget &page, const QString &name) {
  for (QLabel *label : page.findChildren<QLabel *>(QStringLiteral("ssidLabel"))) {
    if (label->text() == name) {
      return label;
    }
  }
  return nullptr;
}

}  // namespace

// The update window's Wi-Fi page with the NetworkManager simulator behind its panel.
class tst_UpdaterWifi : public QObject {
  Q_OBJECT

private:
  NmSimulator sim;
  QTemporaryDir params_root;

private slots:
  void initTestCase() {
    QVERIFY(params_root.isValid());
    qputenv("PARAMS_ROOT", params_root.path().toUtf8());
  }

  void init() { QVERIFY(sim.start()); }

  void samePanelKeptAcrossVisits() {
    sim.addAccessPoint("Home", 80, NM::Security::Wpa2Psk, QStringLiteral("right-password"));
    sim.addAccessPoint("Library", 40, NM::Security::Open);
    sim.setFault("ActivateConnection", NmSimulator::Fault::Stall);
    Updater w(QStringLiteral("/nonexistent"), QStringLiteral("m"));
    panel::fitScreen(&w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget *prompt = w.widget(0);
    QWidget *wifi = w.widget(1);
    const QList<Networking *> panels = w.findChildren<Networking *>();
    QCOMPARE(panels.size(), 1);
    Networking *networking = panels.first();
    QVERIFY(!networking->isVisible());
    QVERIFY(wifi->isAncestorOf(networking));
    QVERIFY(networking->findChild<QWidget *>(QStringLiteral("advanced_btn")) == nullptr);

    QSignalSpy refresh(networking->wifi, &WifiManager::refreshSignal);
    QVERIFY(screen::tapText(prompt, QStringLiteral("Connect to Wi-Fi")));
    QCOMPARE(w.currentWidget(), wifi);
    QVERIFY(networking->isVisible());
    QTRY_COMPARE(shownNames(*wifi), (QStringList{"Home", "Library"}));

    // A join in progress, then away and back: the same panel, still joining.
    QVERIFY(screen::tap(networkName(*wifi, QStringLiteral("Library"))));
    QTRY_COMPARE(shownNames(*wifi).value(0), QStringLiteral("Library"));
    QTRY_VERIFY(networking->wifi->isKnownConnection(QStringLiteral("Library")));
    QVERIFY(screen::tapText(wifi, QStringLiteral("Back")));
    QCOMPARE(w.currentWidget(), prompt);
    QVERIFY(!networking->isVisible());

    // Hidden, it does not follow scans.
    sim.clearCalls();
    refresh.clear();
    sim.finishScan();
    sim.settle();
    QVERIFY(sim.callsOf("GetAllAccessPoints").isEmpty());
    QCOMPARE(refresh.count(), 0);

    QVERIFY(screen::tapText(prompt, QStringLiteral("Connect to Wi-Fi")));
    QCOMPARE(w.currentWidget(), wifi);
    QCOMPARE(w.findChildren<Networking *>(), panels);
    QCOMPARE(shownNames(*wifi), (QStringList{"Library", "Home"}));
    QVERIFY(shownRows(*wifi).value(0)->findChild<QWidget *>(QStringLiteral("connecting"))->isVisible());
    QVERIFY(refresh.wait(5000));
  }

  // The update window's Wi-Fi page tells a failed join as the panel does; left for the prompt
  // meanwhile, it tells nothing there, and shows the row idle when opened again.
  void failedJoinAlertedOnThePageOnly() {
    sim.addAccessPoint("Library", 40, NM::Security::Open);
    Updater w(QStringLiteral("/nonexistent"), QStringLiteral("m"));
    panel::fitScreen(&w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget *prompt = w.widget(0);
    QWidget *wifi = w.widget(1);
    QVERIFY(screen::tapText(prompt, QStringLiteral("Connect to Wi-Fi")));
    QTRY_COMPARE(shownNames(*wifi), QStringList{"Library"});

    QCOMPARE(sim.takeAway(QStringLiteral("Library")), 1);
    panel::Dialogs dialogs;
    dialogs.thenPress(QStringLiteral("Ok"));
    QVERIFY(screen::tap(networkName(*wifi, QStringLiteral("Library"))));
    QTRY_COMPARE(dialogs.pending(), 0);
    QCOMPARE(dialogs.seen, QList<QStringList>{{"Could not connect to \"Library\"\nThe network is out of range."}});

    // Back in range (on a slow machine two scans may have missed it meanwhile), and joined again.
    QCOMPARE(sim.bringBack(QStringLiteral("Library")), 1);
    QTRY_COMPARE(shownNames(*wifi), QStringList{"Library"});
    sim.setFault("ActivateConnection", NmSimulator::Fault::Stall);
    QVERIFY(screen::tap(networkName(*wifi, QStringLiteral("Library"))));
    QTRY_VERIFY(shownRows(*wifi).value(0)->findChild<QWidget *>(QStringLiteral("connecting"))->isVisible());
    QVERIFY(screen::tapText(wifi, QStringLiteral("Back")));
    // An alert would open, and be seen, while the failure is handled.
    sim.setDeviceState(NM::DeviceState::Failed, NM::Reason::SsidNotFound);
    sim.settle();
    QCOMPARE(dialogs.seen.size(), 1);
    QCOMPARE(w.currentWidget(), prompt);
    QVERIFY(screen::tapText(prompt, QStringLiteral("Connect to Wi-Fi")));
    QVERIFY(!shownRows(*wifi).value(0)->findChild<QWidget *>(QStringLiteral("connecting"))->isVisible());
    QCOMPARE(dialogs.seen.size(), 1);
  }

  // The panel is made once at start-up, whether the Wi-Fi page is ever opened or not: making it
  // talks to NetworkManager (and applies the stored cellular settings).
  void panelMadeOnceAtStartUp() {
    sim.clearCalls();
    Updater w(QStringLiteral("/nonexistent"), QStringLiteral("m"));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.findChildren<Networking *>().size(), 1);
    QTest::qWait(200);
    QCOMPARE(w.findChildren<Networking *>().size(), 1);
    QCOMPARE(callsOf(sim.calls(), "GetDevices").size(), 1);
    QCOMPARE(w.currentIndex(), 0);
  }

  // Opened before anything is drawn, the page shows its one panel.
  void wifiPageOpenedBeforeTheFirstFrame() {
    Updater w(QStringLiteral("/nonexistent"), QStringLiteral("m"));
    w.setCurrentIndex(1);
    const QList<Networking *> panels = w.findChildren<Networking *>();
    QCOMPARE(panels.size(), 1);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::qWait(200);
    QCOMPARE(w.findChildren<Networking *>(), panels);
    QVERIFY(panels.first()->isVisible());
  }
};

QTEST_MAIN(tst_UpdaterWifi)
#include "test_updater_wifi.moc"
