#include <signal.h>
#include <sys/stat.h>

#include <memory>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/fixtures/message_log.h"
#include "tools/screen_driver/driver.h"
#include "ui/qt/setup/updater.h"

namespace {

QByteArray readAll(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A quoted debug line, as the toolkit writes a text.
QString quoted(const QString &line) {
  return QLatin1Char('"') + line + QLatin1Char('"');
}

}  // namespace

class TestUpdater : public QObject {
  Q_OBJECT

private:
  QTemporaryDir dir;
  QString sudo_log;
  // What the window writes to the debug output, so the tests can tell a dropped line from a shown one.
  std::unique_ptr<MessageLog> log;

  QString writeFile(const QString &name, const QByteArray &content, bool executable = false) {
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size()) {
      qFatal("cannot write %s", qPrintable(path));
    }
    f.close();
    chmod(QFile::encodeName(path).constData(), executable ? 0755 : 0644);
    return path;
  }

  QString writeScript(const QString &name, const QByteArray &body) {
    return writeFile(name, "#!/bin/sh\n" + body + "\n", true);
  }

  static QLabel *statusLabel(Updater &w) { return w.widget(2)->findChild<QLabel *>(); }
  static QProgressBar *progressBar(Updater &w) { return w.widget(2)->findChild<QProgressBar *>(); }
  static QPushButton *rebootButton(Updater &w) { return w.widget(2)->findChild<QPushButton *>(); }
  static QLabel *timeLeftLabel(Updater &w) { return w.widget(2)->findChild<QLabel *>(QStringLiteral("time_left")); }

private slots:
  void initTestCase() {
    QVERIFY(dir.isValid());
    sudo_log = qEnvironmentVariable("FAKE_SUDO_LOG");
    QVERIFY2(!sudo_log.isEmpty(), "run through the device root fixture, which records sudo calls");
    log = std::make_unique<MessageLog>(MessageLog::KeepDebugQuiet);
  }

  void cleanupTestCase() { log.reset(); }

  void init() {
    log->clear();
    QFile::remove(sudo_log);
  }

  void startsOnPromptAndNavigatesToWifiAndBack() {
    Updater w(QStringLiteral("/nonexistent"), QStringLiteral("m"));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.currentIndex(), 0);
    QWidget *prompt = w.widget(0);
    QWidget *wifi = w.widget(1);

    // The network panel on the Wi-Fi page has a "Back" of its own, on its hidden advanced page.
    QVERIFY(screen::tapText(prompt, QStringLiteral("Connect to Wi-Fi")));
    QCOMPARE(w.currentWidget(), wifi);
    QVERIFY(screen::tapText(wifi, QStringLiteral("Back")));
    QCOMPARE(w.currentWidget(), prompt);
    QVERIFY(screen::tapText(prompt, QStringLiteral("Connect to Wi-Fi")));
    QCOMPARE(w.currentWidget(), wifi);
    // The three pages, and after them the one a copy started during another's update shows.
    QCOMPARE(w.count(), 4);
  }

  void backButtonSitsBottomLeft() {
    Updater w(QStringLiteral("/nonexistent"), QStringLiteral("m"));
    w.setFixedSize(2160, 1080);
    w.setCurrentIndex(1);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect back = screen::findIn(w.widget(1), QStringLiteral("Back"))->geometry();
    QCOMPARE(back.left(), 100);
    QCOMPARE(back.bottom() + 1, 1080 - 100);
    QCOMPARE(back.height(), 160);
  }

  // Each chunk reaches the window in one read; the child then waits until the window goes.
  void progressLines_data() {
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("value");
    QTest::addColumn<QStringList>("debug");

    const QString loading = QStringLiteral("Loading...");
    QTest::newRow("decimal truncated") << QByteArray("Downloading:45.9\n") << "Downloading" << 45 << QStringList();
    QTest::newRow("space after colon") << QByteArray("Installing: 80") << "Installing" << 80 << QStringList();
    QTest::newRow("chunk padded") << QByteArray("  \t Installing: 80 \r\n ") << "Installing" << 80 << QStringList();
    QTest::newRow("two colons") << QByteArray("a:b:80\n") << loading << -1 << QStringList{quoted("a:b:80")};
    QTest::newRow("nothing after colon") << QByteArray("Verifying:") << "Verifying" << 0 << QStringList();
    QTest::newRow("two lines applied in order") << QByteArray("A:10\nB:20\n") << "B" << 20 << QStringList();
    QTest::newRow("label keeps its space") << QByteArray("label :50") << "label " << 50 << QStringList();
    QTest::newRow("only line feeds") << QByteArray("\n\n\n") << loading << -1 << QStringList{quoted("")};
    QTest::newRow("bad line between good ones")
        << QByteArray("A:10\nno colon\nB:20") << "B" << 20 << QStringList{quoted("no colon")};
    QTest::newRow("not a number") << QByteArray("Step:abc") << "Step" << 0 << QStringList();
    QTest::newRow("number with trailing text") << QByteArray("Step:12abc") << "Step" << 0 << QStringList();
    QTest::newRow("above range keeps bar") << QByteArray("A:40\nStep:150") << "Step" << 40 << QStringList();
    QTest::newRow("below range keeps bar") << QByteArray("A:40\nStep:-3") << "Step" << 40 << QStringList();
    QTest::newRow("top of range truncated") << QByteArray("Step:100.9") << "Step" << 100 << QStringList();
    QTest::newRow("just below zero truncates to zero") << QByteArray("A:40\nStep:-0.5") << "Step" << 0 << QStringList();
    QTest::newRow("huge number keeps bar") << QByteArray("A:40\nStep:1e300") << "Step" << 40 << QStringList();
    QTest::newRow("infinity keeps bar") << QByteArray("A:40\nStep:inf") << "Step" << 40 << QStringList();
    QTest::newRow("nan keeps bar") << QByteArray("A:40\nStep:nan") << "Step" << 40 << QStringList();
    QTest::newRow("NUL ends the text") << QByteArray("Half:50\0Hidden:90\n", 18) << "Half" << 50 << QStringList();
    QTest::newRow("NUL first") << QByteArray("\0Hidden:90\n", 11) << loading << -1 << QStringList{quoted("")};
    QTest::newRow("invalid UTF-8") << QByteArray("Caf\xff\xfe:30") << QStringLiteral("Caf\uFFFD\uFFFD") << 30
                                   << QStringList();
    QTest::newRow("CR-only separators") << QByteArray("A:10\rB:20\r") << loading << -1
                                        << QStringList{quoted("A:10\\rB:20")};
    QTest::newRow("markup shown as text") << QByteArray("<b>Bold</b>:5") << "<b>Bold</b>" << 5 << QStringList();
  }

  void progressLines() {
    QFETCH(QByteArray, chunk);
    QFETCH(QString, label);
    QFETCH(int, value);
    QFETCH(QStringList, debug);

    const QString child = writeScript(QStringLiteral("emit.sh"), "cat \"$2\"\nexec sleep 60");
    const QString manifest = writeFile(QStringLiteral("chunk"), chunk);
    Updater w(child, manifest);
    QLabel *text = statusLabel(w);
    w.installUpdate();
    QCOMPARE(w.currentIndex(), 2);

    QTRY_VERIFY(text->text() != QStringLiteral("Loading...") || !log->lines(QtDebugMsg).isEmpty());
    QCOMPARE(text->text(), label);
    QCOMPARE(progressBar(w)->value(), value);
    QCOMPARE(log->lines(QtDebugMsg), debug);
    QVERIFY(rebootButton(w)->isHidden());
  }

  // Output far larger than a pipe's buffer arrives in many reads; the program keeps up and shows what follows.
  void tenMegabyteLine() {
    const QString child = writeScript(QStringLiteral("flood.sh"),
                                      "head -c 10000000 /dev/zero | tr '\\0' x\nprintf '\\nDone:70\\n'\nexec sleep 60");
    Updater w(child, QStringLiteral("m"));
    w.installUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(statusLabel(w)->text(), QStringLiteral("Done"), 30000);
    QCOMPARE(progressBar(w)->value(), 70);
    qsizetype dropped = 0;
    for (const QString &line : log->lines(QtDebugMsg)) {
      QVERIFY(line.startsWith(QLatin1String("\"xxx")));
      dropped += line.size() - 2;
    }
    QCOMPARE(dropped, qsizetype(10000000));
  }

  void childEnd_data() {
    QTest::addColumn<QString>("script");  // empty: no such file
    QTest::addColumn<bool>("executable");
    QTest::addColumn<bool>("reboots");
    QTest::addColumn<int>("value");

    QTest::newRow("exit 0 reboots") << "echo Installing:80\nexit 0" << true << true << 80;
    QTest::newRow("exit 3 fails") << "echo Installing:80\nexit 3" << true << false << 80;
    QTest::newRow("killed by signal fails") << "echo Installing:80\nkill -KILL $$" << true << false << 80;
    QTest::newRow("missing executable fails") << QString() << true << false << -1;
    QTest::newRow("not executable fails") << "exit 0" << false << false << -1;
  }

  void childEnd() {
    QFETCH(QString, script);
    QFETCH(bool, executable);
    QFETCH(bool, reboots);
    QFETCH(int, value);

    QString path = dir.filePath(QStringLiteral("missing"));
    if (!script.isNull()) {
      path = writeFile(QStringLiteral("end.sh"), "#!/bin/sh\n" + script.toUtf8() + "\n", executable);
    }
    Updater w(path, QStringLiteral("m"));
    w.installUpdate();

    if (reboots) {
      QTRY_COMPARE(readAll(sudo_log), QByteArray("reboot\n"));
      QVERIFY(rebootButton(w)->isHidden());
      QCOMPARE(log->lines(QtDebugMsg).last(), QStringLiteral("finished with 0"));
      return;
    }
    QTRY_VERIFY(!rebootButton(w)->isHidden());
    QCOMPARE(statusLabel(w)->text(), QStringLiteral("Update failed"));
    QCOMPARE(progressBar(w)->value(), value);
    QCOMPARE(readAll(sudo_log), QByteArray());

    QTest::mouseClick(rebootButton(w), Qt::LeftButton);
    QCOMPARE(readAll(sudo_log), QByteArray("reboot\n"));
  }

  // Once a phase runs steadily the time it has left shows under the bar, smaller and grey, and moves
  // nothing; the next phase starts over, and a failure takes it away.
  void timeLeftUnderTheBar() {
    const QString next = dir.filePath(QStringLiteral("next"));
    const QString fail = dir.filePath(QStringLiteral("fail"));
    QFile::remove(next);
    QFile::remove(fail);
    // Each phase counts up by 0.1 % every 0.1 s until the test moves it on.
    const QString child = writeScript(
        QStringLiteral("phases.sh"),
        "phase() { i=0; while [ ! -e \"$2\" ]; do echo \"$1:$((i / 10)).$((i % 10))\"; i=$((i + 1)); sleep 0.1; "
        "done; }\nphase Downloading " +
            QFile::encodeName(next) + "\nphase Installing " + QFile::encodeName(fail) + "\nexit 1");
    Updater w(child, QStringLiteral("m"));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.installUpdate();
    QLabel *text = statusLabel(w);
    QProgressBar *bar = progressBar(w);
    QLabel *time_left = timeLeftLabel(w);
    QVERIFY(time_left);
    QTRY_COMPARE(text->text(), QStringLiteral("Downloading"));
    QVERIFY(time_left->text().isEmpty());
    const QRect text_at = text->geometry();
    const QRect bar_at = bar->geometry();

    QTRY_VERIFY_WITH_TIMEOUT(time_left->text().endsWith(QStringLiteral(" left")), 15000);
    QCOMPARE(text->geometry(), text_at);
    QCOMPARE(bar->geometry(), bar_at);
    QVERIFY(time_left->isVisible());
    QCOMPARE(time_left->x(), bar_at.x());
    QVERIFY(time_left->y() > bar_at.bottom());
    QVERIFY(time_left->height() >= time_left->fontMetrics().height());
    QVERIFY(QFontInfo(time_left->font()).pixelSize() < QFontInfo(text->font()).pixelSize());
    const QColor grey = time_left->palette().color(QPalette::WindowText);
    QVERIFY2(grey.red() == grey.green() && grey.green() == grey.blue() && grey.red() < 200, qPrintable(grey.name()));

    QVERIFY(QFile(next).open(QIODevice::WriteOnly));
    QTRY_COMPARE(text->text(), QStringLiteral("Installing"));
    QVERIFY(time_left->text().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!time_left->text().isEmpty(), 15000);

    QVERIFY(QFile(fail).open(QIODevice::WriteOnly));
    QTRY_VERIFY(!rebootButton(w)->isHidden());
    QCOMPARE(text->text(), QStringLiteral("Update failed"));
    QVERIFY(time_left->text().isEmpty());
  }

  // A crash can report exit code 0; it must not pass for a finished update.
  void crashWithExitCodeZeroFails() {
    Updater w(QStringLiteral("/nonexistent"), QStringLiteral("m"));
    w.updateFinished(0, QProcess::CrashExit);
    QVERIFY(!rebootButton(w)->isHidden());
    QCOMPARE(statusLabel(w)->text(), QStringLiteral("Update failed"));
    QCOMPARE(readAll(sudo_log), QByteArray());
  }

  void childReceivesSwapAndManifest() {
    const QString record = dir.filePath(QStringLiteral("record"));
    const QString child = writeScript(QStringLiteral("record.sh"), "{ printf '%s\\n' \"$#\" \"$@\"; pwd; } >" +
                                                                       QFile::encodeName(record) + "\nexit 3");
    Updater w(child, QStringLiteral("dir with space/manifest.json"));
    w.installUpdate();
    QTRY_VERIFY(!rebootButton(w)->isHidden());
    const QByteArray expected =
        "2\n--swap\ndir with space/manifest.json\n" + QFile::encodeName(QDir::currentPath()) + "\n";
    QCOMPARE(readAll(record), expected);
  }

  // Going away mid-update kills and reaps the child without taking its death for a finished update.
  void destroyingWindowKillsChildWithoutReboot() {
    const QString pid_file = dir.filePath(QStringLiteral("pid"));
    const QString child =
        writeScript(QStringLiteral("hang.sh"), "echo $$ >" + QFile::encodeName(pid_file) + "\nexec sleep 60");
    QFile::remove(pid_file);
    pid_t pid = 0;
    {
      Updater w(child, QStringLiteral("m"));
      w.installUpdate();
      QTRY_VERIFY(!readAll(pid_file).trimmed().isEmpty());
      pid = readAll(pid_file).trimmed().toInt();
      QVERIFY(pid > 0);
      QCOMPARE(::kill(pid, 0), 0);
    }
    QCOMPARE(::kill(pid, 0), -1);
    QCOMPARE(errno, ESRCH);
    QCOMPARE(readAll(sudo_log), QByteArray());
  }
};

QTEST_MAIN(TestUpdater)
#include "test_updater.moc"
