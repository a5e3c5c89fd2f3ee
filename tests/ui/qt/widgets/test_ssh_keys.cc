#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "common/params.h"
#include "tests/ui/qt/device_root_guard.h"
#include "tests/ui/qt/http_fixture.h"
#include "ui/qt/widgets/input.h"
#include "ui/qt/widgets/ssh_keys.h"

namespace {

struct KeysRow : SshControl {
  using SshControl::btn;
  using SshControl::SshControl;
  using SshControl::title_label;
  using SshControl::value;
};

struct SshSwitch : SshToggle {
  using SshToggle::SshToggle;
  using SshToggle::title_label;
  using SshToggle::toggle;
};

// Answers every modal dialog as a user would: types `username` into a text prompt
// (cancels it when the name is null) and presses "Ok" on an alert. Records what it saw.
class DialogDriver : public QObject {
public:
  explicit DialogDriver(const QString &username) : username(username) {
    connect(&poll, &QTimer::timeout, this, &DialogDriver::answer);
    poll.start(10);
  }

  QString username;
  QStringList prompts;
  QStringList alerts;
  QList<QWidget *> parents;

private:
  static QString firstLabel(QWidget *dialog) {
    const QList<QLabel *> labels = dialog->findChildren<QLabel *>();
    return labels.isEmpty() ? QString() : labels.first()->text();
  }

  // Dialogs are placed full-screen before they run, so they are found as visible top-level windows.
  static QDialog *openDialog() {
    for (QWidget *w : QApplication::topLevelWidgets()) {
      QDialog *dialog = qobject_cast<QDialog *>(w);
      if (dialog && dialog->isVisible()) {
        return dialog;
      }
    }
    return nullptr;
  }

  void answer() {
    QDialog *dialog = openDialog();
    if (!dialog) {
      return;
    }
    parents << dialog->parentWidget();
    if (qobject_cast<InputDialog *>(dialog)) {
      prompts << firstLabel(dialog);
      if (username.isNull()) {
        dialog->reject();
      } else {
        dialog->findChild<QLineEdit *>()->setText(username);
        dialog->accept();
      }
    } else {
      alerts << firstLabel(dialog);
      for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->text() == QLatin1String("Ok")) {
          QTest::mouseClick(button, Qt::LeftButton);
          return;
        }
      }
      alerts << QStringLiteral("(alert without an Ok button)");
      dialog->reject();
    }
  }

  QTimer poll;
};

QString param(const char *key) {
  return QString::fromStdString(Params().get(key));
}

}  // namespace

class TestSshKeys : public QObject {
  Q_OBJECT

  QTemporaryDir home;

private slots:
  void initTestCase() {
    QVERIFY2(inDeviceRoot(), "run through the device root fixture");
    // No stored access token: the key request goes out without one.
    qputenv("HOME", home.path().toUtf8());
  }

  void init() {
    Params params;
    params.remove("GithubUsername");
    params.remove("GithubSshKeys");
    params.remove("SshEnabled");
  }

  void texts() {
    KeysRow row;
    QCOMPARE(row.title_label->text(), QStringLiteral("SSH Keys"));
    bool warningShown = false;
    for (QLabel *label : row.findChildren<QLabel *>()) {
      warningShown |=
          label->text() == QLatin1String(
                               "Warning: This grants SSH access to all public keys in your GitHub settings. Never "
                               "enter a GitHub username other than your own. A vorna employee will NEVER ask you "
                               "to add their GitHub username.");
    }
    QVERIFY(warningShown);
    QCOMPARE(row.btn.text(), QStringLiteral("ADD"));
    QVERIFY(row.value->text().isEmpty());

    SshSwitch toggle;
    QCOMPARE(toggle.title_label->text(), QStringLiteral("Enable SSH"));
  }

  void fetch_data() {
    QTest::addColumn<QString>("username");
    QTest::addColumn<QString>("served");  // keys body for `username`; null: the name is unknown
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<QString>("path");   // what the server must have been asked for
    QTest::addColumn<QString>("alert");  // null: none

    const QString keys = QStringLiteral("ssh-ed25519 AAAAC3Nza alice@höst\nssh-rsa AAAAB3Nza second\n");
    QTest::newRow("user with keys") << "alice" << keys << true << "/alice.keys" << QString();
    QTest::newRow("empty answer") << "bob"
                                  << "" << true << "/bob.keys"
                                  << "Username 'bob' has no keys on GitHub";
    QTest::newRow("unknown user") << "carol" << QString() << true << "/carol.keys"
                                  << "Username 'carol' doesn't exist on GitHub";
    QTest::newRow("name with slash, question mark and hash")
        << "we/ird?na#me" << keys << true << "/we%2Fird%3Fna%23me.keys" << QString();
    QTest::newRow("dot segments stay inside the name") << "../alice" << QString() << true << "/..%2Falice.keys"
                                                       << "Username '../alice' doesn't exist on GitHub";
    QTest::newRow("server unreachable") << "dave" << keys << false << QString()
                                        << "Username 'dave' doesn't exist on GitHub";
  }

  void fetch() {
    QFETCH(QString, username);
    QFETCH(QString, served);
    QFETCH(bool, reachable);
    QFETCH(QString, path);
    QFETCH(QString, alert);

    // "alice" is always known, so a request that escaped its segment would find her keys.
    QJsonObject known = {{QStringLiteral("alice"), QStringLiteral("escaped")}};
    if (!served.isNull()) {
      known.insert(username, served);
    }
    HttpFixture server;
    QVERIFY(server.start(known));
    qputenv("SSH_KEYS_BASE_URL", (reachable ? server.url(QStringLiteral("/")) : HttpFixture::refusedUrl()).toUtf8());

    KeysRow row;
    DialogDriver driver(username);
    QTest::mouseClick(&row.btn, Qt::LeftButton);
    QCOMPARE(driver.prompts, QStringList{QStringLiteral("Enter your GitHub username")});
    QCOMPARE(row.btn.text(), QStringLiteral("LOADING"));
    QVERIFY(!row.btn.isEnabled());

    QTRY_VERIFY_WITH_TIMEOUT(row.btn.isEnabled(), 10000);
    QVERIFY(!driver.parents.contains(nullptr));
    QVERIFY(std::all_of(driver.parents.begin(), driver.parents.end(), [&](QWidget *p) { return p == &row; }));

    const bool stored = alert.isNull();
    QCOMPARE(driver.alerts, stored ? QStringList() : QStringList{alert});
    QCOMPARE(param("GithubUsername"), stored ? username : QString());
    QCOMPARE(param("GithubSshKeys"), stored ? served : QString());
    QCOMPARE(row.value->text(), stored ? username : QString());
    QCOMPARE(row.btn.text(), stored ? QStringLiteral("REMOVE") : QStringLiteral("ADD"));

    const QList<QJsonObject> requests = server.requests();
    QCOMPARE(requests.size(), reachable ? 1 : 0);
    if (reachable) {
      QCOMPARE(requests[0].value(QStringLiteral("path")).toString(), path);
      QVERIFY(!requests[0].value(QStringLiteral("headers")).toObject().contains(QStringLiteral("Authorization")));
    }
  }

  void noNameStartsNothing_data() {
    QTest::addColumn<QString>("answer");
    QTest::newRow("cancelled") << QString();
    QTest::newRow("empty name") << QStringLiteral("");
  }

  void noNameStartsNothing() {
    QFETCH(QString, answer);
    HttpFixture server;
    QVERIFY(server.start());
    qputenv("SSH_KEYS_BASE_URL", server.url(QStringLiteral("/")).toUtf8());

    KeysRow row;
    DialogDriver driver(answer);
    QTest::mouseClick(&row.btn, Qt::LeftButton);
    QCOMPARE(driver.prompts.size(), 1);
    QCOMPARE(row.btn.text(), QStringLiteral("ADD"));
    QVERIFY(row.btn.isEnabled());
    QTest::qWait(200);
    QCOMPARE(server.requests().size(), 0);
    QVERIFY(driver.alerts.isEmpty());
  }

  void timeout() {
    HttpFixture server;
    QVERIFY(server.start({{QStringLiteral("slow"), QJsonValue::Null}}));
    // A base address without the final "/" still gets one before the name.
    qputenv("SSH_KEYS_BASE_URL", server.url(QString()).toUtf8());

    KeysRow row;
    DialogDriver driver(QStringLiteral("slow"));
    QElapsedTimer elapsed;
    elapsed.start();
    QTest::mouseClick(&row.btn, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(row.btn.isEnabled(), 40000);
    // Coarse timers may fire up to 5% early.
    QVERIFY(elapsed.elapsed() >= 19000);
    QCOMPARE(driver.alerts, QStringList{QStringLiteral("Request timed out")});
    QCOMPARE(row.btn.text(), QStringLiteral("ADD"));
    QVERIFY(param("GithubSshKeys").isEmpty());
    QCOMPARE(server.requests().size(), 1);
  }

  void remove() {
    Params params;
    params.put("GithubUsername", "alice");
    params.put("GithubSshKeys", "ssh-ed25519 AAAA alice\n");

    KeysRow row;
    QCOMPARE(row.value->text(), QStringLiteral("alice"));
    QCOMPARE(row.btn.text(), QStringLiteral("REMOVE"));

    DialogDriver driver(QStringLiteral("unused"));
    QTest::mouseClick(&row.btn, Qt::LeftButton);
    QVERIFY(driver.prompts.isEmpty());
    QVERIFY(!QFile::exists(QString::fromStdString(params.getParamPath("GithubUsername"))));
    QVERIFY(!QFile::exists(QString::fromStdString(params.getParamPath("GithubSshKeys"))));
    QCOMPARE(row.value->text(), QString());
    QCOMPARE(row.btn.text(), QStringLiteral("ADD"));
    QVERIFY(row.btn.isEnabled());
  }

  void toggle_data() {
    QTest::addColumn<QByteArray>("stored");  // null: no parameter
    QTest::addColumn<bool>("on");
    QTest::newRow("enabled") << QByteArray("1") << true;
    QTest::newRow("disabled") << QByteArray("0") << false;
    QTest::newRow("never set") << QByteArray() << false;
  }

  void toggle() {
    QFETCH(QByteArray, stored);
    QFETCH(bool, on);
    if (!stored.isNull()) {
      Params().put("SshEnabled", stored.toStdString());
    }

    SshSwitch row;
    row.resize(1000, 200);
    row.show();
    QVERIFY(QTest::qWaitForWindowExposed(&row));
    QCOMPARE(row.toggle.on, on);

    // Taps are taken only while the knob rests: its slide has ended.
    const QPropertyAnimation *slide = row.toggle.findChild<QPropertyAnimation *>();
    QVERIFY(slide);
    for (bool next : {!on, on}) {
      QTRY_COMPARE(slide->state(), QAbstractAnimation::Stopped);
      QTest::mouseClick(&row.toggle, Qt::LeftButton, Qt::NoModifier, QPoint(75, 40));
      QCOMPARE(param("SshEnabled"), next ? QStringLiteral("1") : QStringLiteral("0"));
    }
  }
};

QTEST_MAIN(TestSshKeys)
#include "test_ssh_keys.moc"
