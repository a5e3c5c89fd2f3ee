#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QProcess>
#include <QSurfaceFormat>
#include <QTimer>
#include <QtTest>

#include "ui/qt/util.h"

namespace {

const QString kBacklight = QStringLiteral("/sys/class/backlight/panel0-backlight/");

QByteArray readAll(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The backlight a device would have; only ever made inside the device root fixture's private mounts.
void makeBacklight() {
  if (qEnvironmentVariableIsEmpty("DEVICE_ROOT_SCRATCH")) {
    qFatal("run through the device root fixture");
  }
  QDir().mkpath(kBacklight);
  QFile max(kBacklight + QStringLiteral("max_brightness"));
  if (!max.open(QIODevice::WriteOnly) || max.write("1000\n") != 5) {
    qFatal("cannot make the backlight files");
  }
}

}  // namespace

class TestQtUtil : public QObject {
  Q_OBJECT

private slots:
  void initAppPreparesProcess() {
    QCOMPARE(readAll(kBacklight + QStringLiteral("bl_power")), QByteArray("0\n"));
    QCOMPARE(readAll(kBacklight + QStringLiteral("brightness")), QByteArray("650\n"));
    QCOMPARE(qgetenv("QT_DBL_CLICK_DIST"), QByteArray("150"));
    QCOMPARE(QDir::currentPath(), QCoreApplication::applicationDirPath());

    const QSurfaceFormat fmt = QSurfaceFormat::defaultFormat();
    QCOMPARE(fmt.renderableType(), QSurfaceFormat::OpenGLES);
    QCOMPARE(fmt.samples(), 16);
    QCOMPARE(fmt.stencilBufferSize(), 1);
  }

  // Runs last per signal: afterwards the default action is back, which a second signal would take.
  void signalQuitsEventLoop_data() {
    QTest::addColumn<int>("sig");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
  }

  void signalQuitsEventLoop() {
    QFETCH(int, sig);
    struct sigaction sa = {};
    QCOMPARE(sigaction(sig, nullptr, &sa), 0);
    QVERIFY(sa.sa_handler == &sigTermHandler);

    // Sent by another process, so it lands at an arbitrary point of the event loop.
    QTimer::singleShot(0, this, [sig] {
      QProcess::startDetached(QStringLiteral("kill"),
                              {QStringLiteral("-%1").arg(sig), QString::number(QCoreApplication::applicationPid())});
    });
    QTimer::singleShot(10000, this, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);

    QCOMPARE(sigaction(sig, nullptr, &sa), 0);
    QVERIFY(sa.sa_handler == SIG_DFL);
  }

  void interFontResolves() {
    const QFontInfo info(InterFont(30, QFont::Bold));
    QCOMPARE(info.family(), QStringLiteral("Inter"));
    QVERIFY(info.exactMatch());
    QCOMPARE(info.pixelSize(), 30);
    QCOMPARE(info.weight(), int(QFont::Bold));
  }
};

int main(int argc, char *argv[]) {
  makeBacklight();
  qputenv("QT_DBL_CLICK_DIST", "5");
  // Started elsewhere, so the change of directory shows.
  QDir::setCurrent(QDir::rootPath());
  initApp(argc, argv);
  QApplication app(argc, argv);
  TestQtUtil test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_qt_util.moc"
