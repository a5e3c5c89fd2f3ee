#include <QDBusReply>
#include <QSignalSpy>
#include <QStackedLayout>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include "common/params.h"
#include "tests/fixtures/nm_raw.h"
#include "tests/fixtures/nm_simulator.h"
#include "tests/ui/qt/network/panel_driver.h"
#include "ui/qt/network/networking.h"
#include "ui/qt/widgets/toggle.h"

namespace {

const QString kHotspotSsid = QStringLiteral("vireda");

QString rowTitle(const AbstractControl *row) {
  const QList<QPushButton *> buttons = row->findChildren<QPushButton *>(QString(), Qt::FindDirectChildrenOnly);
  return buttons.isEmpty() ? QString() : buttons.first()->text();
}

QString description(const AbstractControl *row) {
  for (const QLabel *label : row->findChildren<QLabel *>()) {
    if (label->wordWrap()) {
      return label->text();
    }
  }
  return {};
}

// Every label text of a row, its title and description aside.
QStringList rowTexts(const AbstractControl *row) {
  QStringList texts;
  for (const QLabel *label : row->findChildren<QLabel *>()) {
    if (!label->text().isEmpty() && label->wordWrap() == false) {
      texts << label->text();
    }
  }
  return texts;
}

void putParam(const std::string &key, const QString &value) {
  Params params;
  if (value.isNull()) {
    params.remove(key);
  } else {
    params.put(key, value.toStdString());
  }
}

QString param(const std::string &key) {
  return QString::fromStdString(Params().get(key));
}

}  // namespace

class tst_AdvancedNetworking : public QObject {
  Q_OBJECT

private:
  NmSimulator sim;
  QTemporaryDir params_root;
  QDBusObjectPath lte;

  std::unique_ptr<Networking> shownPanel(bool show_advanced = true) {
    auto panel = std::make_unique<Networking>(nullptr, show_advanced);
    panel::fitScreen(panel.get());
    QSignalSpy refresh(panel->wifi, &WifiManager::refreshSignal);
    panel->show();
    if (!QTest::qWaitForWindowExposed(panel.get()) || (refresh.isEmpty() && !refresh.wait(5000))) {
      return nullptr;
    }
    return panel;
  }

  // The panel on its advanced page, opened with the Advanced button.
  std::unique_ptr<Networking> advancedPage() {
    auto panel = shownPanel();
    QWidget *advanced = panel ? panel->findChild<QWidget *>(QStringLiteral("advanced_btn")) : nullptr;
    if (advanced == nullptr || !screen::tap(advanced)) {
      return nullptr;
    }
    return currentPage(*panel) == page(*panel) ? std::move(panel) : nullptr;
  }

  static AdvancedNetworking *page(const Networking &panel) { return panel.findChild<AdvancedNetworking *>(); }
  static QWidget *currentPage(const Networking &panel) { return panel.findChild<QStackedLayout *>()->currentWidget(); }

  static AbstractControl *row(const Networking &panel, const QString &title) {
    for (AbstractControl *r : page(panel)->findChildren<AbstractControl *>()) {
      if (rowTitle(r) == title) {
        return r;
      }
    }
    return nullptr;
  }

  // The button at the right of a button row.
  static QWidget *rowButton(const Networking &panel, const QString &title) {
    AbstractControl *r = row(panel, title);
    return r ? r->findChildren<QPushButton *>(QString(), Qt::FindDirectChildrenOnly).value(1) : nullptr;
  }

  static Toggle *rowToggle(const Networking &panel, const QString &title) {
    AbstractControl *r = row(panel, title);
    return r ? r->findChild<Toggle *>() : nullptr;
  }

  // A switch takes taps only once its knob has come to rest.
  static bool settled(const Toggle *toggle) {
    const auto *slide = toggle->findChild<QPropertyAnimation *>();
    return QTest::qWaitFor([slide] { return slide->state() == QAbstractAnimation::Stopped; });
  }

  bool rescanned(Networking &panel) {
    QSignalSpy refresh(panel.wifi, &WifiManager::refreshSignal);
    sim.finishScan();
    return refresh.wait(5000);
  }

  Connection lteSettings() { return nmraw::settings(lte); }

private slots:
  void initTestCase() {
    QVERIFY(params_root.isValid());
    nm::registerTypes();
    panel::isolateStore(params_root.path());
  }

  void init() {
    for (const char *key : {"GsmRoaming", "GsmApn", "GsmMetered", "SshEnabled", "GithubUsername", "GithubSshKeys"}) {
      putParam(key, QString());
    }
    QVERIFY(sim.start(NmSimulator::WithModem));
    lte = nmraw::addConnection(nmraw::gsmProfile());
    QVERIFY(!lte.path().isEmpty());
  }

  void storedCellularSettingsAppliedAtConstruction_data() {
    QTest::addColumn<bool>("show_advanced");
    QTest::addColumn<QString>("roaming");
    QTest::addColumn<QString>("apn");
    QTest::addColumn<QString>("metered");
    QTest::addColumn<bool>("home_only");
    QTest::addColumn<int>("metered_setting");
    QTest::newRow("roaming on, rest unset") << true << "1" << QString() << QString() << false << 2;
    QTest::newRow("roaming off, APN, metered")
        << true << "0" << QStringLiteral("internet.example") << QStringLiteral("1") << true << 0;
    QTest::newRow("without Advanced button")
        << false << QString() << QStringLiteral("apn.example") << QStringLiteral("0") << true << 2;
  }

  void storedCellularSettingsAppliedAtConstruction() {
    QFETCH(bool, show_advanced);
    QFETCH(QString, roaming);
    QFETCH(QString, apn);
    QFETCH(QString, metered);
    QFETCH(bool, home_only);
    QFETCH(int, metered_setting);
    putParam("GsmRoaming", roaming);
    putParam("GsmApn", apn);
    putParam("GsmMetered", metered);
    sim.clearCalls();

    auto panel = shownPanel(show_advanced);
    QVERIFY(panel);
    QVERIFY(page(*panel) != nullptr);
    QCOMPARE(panel->findChild<QWidget *>(QStringLiteral("advanced_btn")) != nullptr, show_advanced);
    QCOMPARE(sim.callsOf("UpdateUnsaved").size(), 1);
    const Connection settings = lteSettings();
    QCOMPARE(settings["gsm"].value("home-only").toBool(), home_only);
    QCOMPARE(settings["gsm"].contains("apn"), !apn.isEmpty());
    QCOMPARE(settings["gsm"].value("apn").toString(), apn);
    QCOMPARE(settings["connection"].value("metered").toInt(), metered_setting);
    QCOMPARE(rowToggle(*panel, "Enable Roaming")->on, roaming == "1");
    QCOMPARE(rowToggle(*panel, "Cellular Metered")->on, metered == "1");
  }

  void rowsInOrder() {
    auto panel = advancedPage();
    QVERIFY(panel);
    QStringList titles;
    for (const AbstractControl *r : page(*panel)->findChildren<AbstractControl *>()) {
      titles << rowTitle(r);
    }
    QCOMPARE(titles, (QStringList{"Enable Tethering", "Tethering Password", "IP Address", "Enable SSH", "SSH Keys",
                                  "Enable Roaming", "APN Setting", "Cellular Metered", "Hidden Network"}));
    QCOMPARE(static_cast<QPushButton *>(rowButton(*panel, "Tethering Password"))->text(), QStringLiteral("EDIT"));
    QCOMPARE(static_cast<QPushButton *>(rowButton(*panel, "APN Setting"))->text(), QStringLiteral("EDIT"));
    QCOMPARE(static_cast<QPushButton *>(rowButton(*panel, "Hidden Network"))->text(), QStringLiteral("CONNECT"));
    QCOMPARE(static_cast<QPushButton *>(rowButton(*panel, "SSH Keys"))->text(), QStringLiteral("ADD"));
    QCOMPARE(description(row(*panel, "Cellular Metered")),
             QStringLiteral("Prevent large data uploads when on a metered connection"));
  }

  void backReturnsToWifiScreen() {
    auto panel = advancedPage();
    QVERIFY(panel);
    QVERIFY(screen::tapText(page(*panel), "Back"));
    QVERIFY(currentPage(*panel) != page(*panel));
    QVERIFY(currentPage(*panel)->findChild<QWidget *>(QStringLiteral("wifiWidget")) != nullptr);
  }

  void cellularToggles_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("key");
    QTest::newRow("roaming") << "Enable Roaming"
                             << "GsmRoaming";
    QTest::newRow("metered") << "Cellular Metered"
                             << "GsmMetered";
  }

  void cellularToggles() {
    QFETCH(QString, title);
    QFETCH(QString, key);
    // The other settings come from the store each time.
    putParam("GsmApn", "stored.apn");
    auto panel = advancedPage();
    QVERIFY(panel);
    Toggle *toggle = rowToggle(*panel, title);

    QVERIFY(screen::tap(toggle));
    QCOMPARE(param(key.toStdString()), QStringLiteral("1"));
    Connection settings = lteSettings();
    const bool roaming = key == "GsmRoaming";
    QCOMPARE(settings["gsm"].value("home-only").toBool(), !roaming);
    QCOMPARE(settings["connection"].value("metered").toInt(), roaming ? 2 : 0);
    QCOMPARE(settings["gsm"].value("apn").toString(), QStringLiteral("stored.apn"));

    QVERIFY(settled(toggle));
    QVERIFY(screen::tap(toggle));
    QCOMPARE(param(key.toStdString()), QStringLiteral("0"));
    settings = lteSettings();
    QVERIFY(settings["gsm"].value("home-only").toBool());
    QCOMPARE(settings["connection"].value("metered").toInt(), 2);
    QCOMPARE(settings["gsm"].value("apn").toString(), QStringLiteral("stored.apn"));
  }

  void apn_data() {
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("spaces around") << false << "  internet.example  "
                                   << "internet.example";
    QTest::newRow("only spaces") << false << "   " << QString();
    QTest::newRow("cancelled") << true << QString() << "old.apn";
  }

  void apn() {
    QFETCH(bool, cancel);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    putParam("GsmApn", "old.apn");
    auto panel = advancedPage();
    QVERIFY(panel);
    QCOMPARE(lteSettings()["gsm"].value("apn").toString(), QStringLiteral("old.apn"));
    sim.clearCalls();

    panel::Dialogs dialogs;
    if (cancel) {
      dialogs.thenPress("Cancel");
    } else {
      dialogs.then([typed](QWidget *d) { QVERIFY(panel::replace(d, typed)); });
    }
    QVERIFY(screen::tap(rowButton(*panel, "APN Setting")));
    QCOMPARE(dialogs.seen.size(), 1);
    QCOMPARE(dialogs.seen.first(),
             (QStringList{"Enter APN", "leave blank for automatic configuration", "line:old.apn"}));

    QCOMPARE(param("GsmApn"), stored.isNull() ? QString() : stored);
    QCOMPARE(QFile::exists(QString::fromStdString(Params().getParamPath("GsmApn"))), !stored.isNull());
    const Connection settings = lteSettings();
    QCOMPARE(settings["gsm"].contains("apn"), !stored.isNull());
    QCOMPARE(settings["gsm"].value("apn").toString(), stored.isNull() ? QString() : stored);
    QCOMPARE(sim.callsOf("UpdateUnsaved").size(), cancel ? 0 : 1);
  }

  void tetheringOnAndOff() {
    auto panel = advancedPage();
    QVERIFY(panel);
    Toggle *toggle = rowToggle(*panel, "Enable Tethering");
    QVERIFY(!toggle->on);
    QVERIFY(toggle->getEnabled());

    QVERIFY(screen::tap(toggle));
    QVERIFY(!toggle->getEnabled());
    QTRY_VERIFY(panel->wifi->isTetheringEnabled());
    const QList<QDBusObjectPath> hotspot = nmraw::connectionsWithSsid(kHotspotSsid.toUtf8());
    QCOMPARE(hotspot.size(), 1);
    QCOMPARE(nmraw::settings(hotspot.first())["802-11-wireless"].value("mode").toString(), QStringLiteral("ap"));
    QVERIFY(rescanned(*panel));
    QVERIFY(toggle->getEnabled());
    QVERIFY(settled(toggle));

    QVERIFY(screen::tap(toggle));
    QVERIFY(!toggle->getEnabled());
    QTRY_VERIFY(!panel->wifi->isTetheringEnabled());
    QVERIFY(rescanned(*panel));
    QVERIFY(toggle->getEnabled());
    QVERIFY(!toggle->on);
  }

  void tetheringPassword() {
    auto panel = advancedPage();
    QVERIFY(panel);
    panel::Dialogs dialogs;
    dialogs.then([](QWidget *d) {
      // Too short: the dialog stays and says why.
      QVERIFY(panel::replace(d, "short"));
      QVERIFY(d->isVisible());
      QVERIFY(panel::replace(d, "longer-secret"));
    });
    QVERIFY(screen::tap(rowButton(*panel, "Tethering Password")));
    QCOMPARE(dialogs.seen.size(), 1);
    QCOMPARE(dialogs.seen.first(), (QStringList{"Enter new tethering password", "line:plumtreeorbit"}));
    const QDBusObjectPath hotspot = nmraw::connectionsWithSsid(kHotspotSsid.toUtf8()).value(0);
    const auto psk = [&] {
      return nmraw::secrets(hotspot, "802-11-wireless-security")
          .value("802-11-wireless-security")
          .value("psk")
          .toString();
    };
    QCOMPARE(psk(), QStringLiteral("longer-secret"));

    dialogs.thenPress("Cancel");
    QVERIFY(screen::tap(rowButton(*panel, "Tethering Password")));
    QCOMPARE(dialogs.seen.size(), 2);
    QCOMPARE(dialogs.seen.last().last(), QStringLiteral("line:longer-secret"));
    QCOMPARE(psk(), QStringLiteral("longer-secret"));
  }

  void ipAddressAfterScan() {
    auto panel = advancedPage();
    QVERIFY(panel);
    QVERIFY(!rowTexts(row(*panel, "IP Address")).contains("10.1.2.3"));
    sim.addActiveConnection("802-11-wireless", "10.1.2.3");
    QVERIFY(rescanned(*panel));
    QVERIFY(rowTexts(row(*panel, "IP Address")).contains("10.1.2.3"));
  }

  void hiddenNetwork_data() {
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("joined");
    QTest::addColumn<QString>("psk");
    QTest::newRow("with password") << QStringList{"attic", "attic-pass"} << true << "attic-pass";
    QTest::newRow("empty password, open") << QStringList{"attic", ""} << true << QString();
    QTest::newRow("cancelled at SSID") << QStringList{"Cancel"} << false << QString();
    QTest::newRow("cancelled at password") << QStringList{"attic", "Cancel"} << false << QString();
  }

  void hiddenNetwork() {
    QFETCH(QStringList, answers);
    QFETCH(bool, joined);
    QFETCH(QString, psk);
    auto panel = advancedPage();
    QVERIFY(panel);
    const QList<QDBusObjectPath> before = nmraw::listConnections();
    panel::Dialogs dialogs;
    for (const QString &answer : answers) {
      if (answer == "Cancel") {
        dialogs.thenPress(answer);
      } else {
        dialogs.thenType(answer);
      }
    }
    QVERIFY(screen::tap(rowButton(*panel, "Hidden Network")));
    QTRY_COMPARE(dialogs.seen.size(), answers.size());
    QCOMPARE(dialogs.seen.first().first(), QStringLiteral("Enter SSID"));
    if (answers.size() > 1) {
      QCOMPARE(dialogs.seen[1].mid(0, 2), (QStringList{"Enter password", "for \"attic\""}));
    }

    const QList<QDBusObjectPath> added = nmraw::newConnections(before);
    QCOMPARE(added.size(), joined ? 1 : 0);
    QCOMPARE(currentPage(*panel) == page(*panel), !joined);
    if (joined) {
      const Connection settings = nmraw::settings(added.first());
      QCOMPARE(settings["802-11-wireless"].value("ssid").toByteArray(), QByteArray("attic"));
      QVERIFY(settings["802-11-wireless"].value("hidden").toBool());
      QCOMPARE(settings.contains("802-11-wireless-security"), !psk.isEmpty());
      if (!psk.isEmpty()) {
        QCOMPARE(nmraw::secrets(added.first(), "802-11-wireless-security")
                     .value("802-11-wireless-security")
                     .value("psk")
                     .toString(),
                 psk);
      }
    }
  }

  void sshSwitch() {
    auto panel = advancedPage();
    QVERIFY(panel);
    Toggle *ssh = rowToggle(*panel, "Enable SSH");
    QVERIFY(!ssh->on);
    QVERIFY(screen::tap(ssh));
    QCOMPARE(param("SshEnabled"), QStringLiteral("1"));
    QVERIFY(settled(ssh));
    QVERIFY(screen::tap(ssh));
    QCOMPARE(param("SshEnabled"), QStringLiteral("0"));
  }

  // A window that styles itself before it builds the panel (as the update program does) shows
  // both of the panel's pages exactly as one that is styled afterwards.
  void lookIndependentOfWhenWindowIsStyled() {
    const auto shots = [this](bool styled_first) {
      QWidget window;
      const QString style = QStringLiteral("* { color: white; font-family: Inter; }");
      if (styled_first) {
        window.setStyleSheet(style);
      }
      auto *panel = new Networking(&window, true);
      (new QVBoxLayout(&window))->addWidget(panel);
      if (!styled_first) {
        window.setStyleSheet(style);
      }
      panel::fitScreen(&window);
      QSignalSpy refresh(panel->wifi, &WifiManager::refreshSignal);
      window.show();
      QList<QImage> pages;
      if (QTest::qWaitForWindowExposed(&window) && refresh.wait(5000)) {
        // Each page is grabbed once its layouts have settled.
        QTest::qWait(100);
        pages << window.grab().toImage();
        panel->findChild<QStackedLayout *>()->setCurrentWidget(page(*panel));
        QTest::qWait(100);
        pages << window.grab().toImage();
      }
      return pages;
    };

    const QList<QImage> first = shots(true);
    const QList<QImage> after = shots(false);
    QCOMPARE(first.size(), 2);
    QCOMPARE(after.size(), 2);
    QVERIFY2(first[0] == after[0], "Wi-Fi screen");
    QVERIFY2(first[1] == after[1], "advanced page");
  }
};

QTEST_MAIN(tst_AdvancedNetworking)
#include "test_advanced_networking.moc"
