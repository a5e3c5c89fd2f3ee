#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>
#include <fstream>
#include <memory>

#include "tests/fixtures/built_program.h"
#include "tests/fixtures/log_collector.h"
#include "tests/fixtures/qtest_std_string.h"

using Env = QMap<QString, QString>;
Q_DECLARE_METATYPE(Env)

namespace {

const char kModelFile[] = "/sys/firmware/devicetree/base/model";
const QStringList kContextVariables = {"DONGLE_ID",      "GIT_ORIGIN", "GIT_BRANCH", "GIT_COMMIT",
                                       "MANAGER_DAEMON", "CLEAN",      "LOGPRINT"};

struct Run {
  QByteArray out;
  QByteArray err;
  int exitCode = -1;
};

QByteArray levelByte(int level) {
  return QByteArray(1, char(level));
}

// The text between "ctx": and the member after it.
QByteArray ctxText(const std::string &message) {
  const QByteArray json = QByteArray::fromStdString(message).mid(1);
  const int start = json.indexOf("\"ctx\": ") + 7;
  const int end = json.indexOf(", \"filename\": ");
  return start < 7 || end < start ? QByteArray() : json.mid(start, end - start);
}

}  // namespace

// Each case runs the sink in a child process of its own (the sink reads its
// environment once per process) against a real collector socket.
class TestSwaglog : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    std::ofstream model;
    QDir().mkpath("/sys/firmware/devicetree/base");
    model.open(kModelFile, std::ios::binary);
    QVERIFY2(model.is_open(), "run through tests/fixtures/device_root.sh");
    model << std::string("vorna zorv\0", 11);
  }

  void init() {
    prefix = LogCollector::unique_prefix("swaglog");
    collector = std::make_unique<LogCollector>(prefix);
  }
  void cleanup() { collector.reset(); }

  void endpointFollowsPrefix() {
    QCOMPARE(collector->endpoint(), "ipc:///tmp/logmessage" + prefix);
    const Run run = runEmitter({"log", "30", "reached"});
    const auto msg = collector->receive();
    QVERIFY(msg);
    QVERIFY(msg->find("\"msg\": \"reached\"") != std::string::npos);
    QCOMPARE(run.exitCode, 0);
  }

  void printThreshold_data() {
    QTest::addColumn<Env>("env");
    QTest::addColumn<QByteArray>("printed");
    const QByteArray warnUp = "emitter.cc: w\nemitter.cc: e\n";
    QTest::newRow("unset") << Env{} << warnUp;
    QTest::newRow("debug") << Env{{"LOGPRINT", "debug"}} << QByteArray("emitter.cc: d\nemitter.cc: i\n") + warnUp;
    QTest::newRow("info") << Env{{"LOGPRINT", "info"}} << QByteArray("emitter.cc: i\n") + warnUp;
    QTest::newRow("warning") << Env{{"LOGPRINT", "warning"}} << warnUp;
    QTest::newRow("error is not a name") << Env{{"LOGPRINT", "error"}} << warnUp;
    QTest::newRow("names are case sensitive") << Env{{"LOGPRINT", "DEBUG"}} << warnUp;
    QTest::newRow("empty") << Env{{"LOGPRINT", ""}} << warnUp;
  }
  void printThreshold() {
    QFETCH(Env, env);
    QFETCH(QByteArray, printed);
    const Run run = runEmitter({"log", "10", "d", "log", "20", "i", "log", "30", "w", "log", "40", "e"}, env);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, printed);

    // Every record is sent whatever is printed, each behind its level byte.
    const std::vector<std::string> messages = collector->drain();
    QCOMPARE(messages.size(), size_t(4));
    const std::pair<int, const char *> sent[] = {{10, "d"}, {20, "i"}, {30, "w"}, {40, "e"}};
    for (size_t k = 0; k < 4; ++k) {
      const QByteArray msg = QByteArray::fromStdString(messages[k]);
      QCOMPARE(msg.left(1), levelByte(sent[k].first));
      QCOMPARE(msg.at(1), '{');
      QVERIFY(msg.endsWith(QByteArray(", \"msg\": \"") + sent[k].second + "\"}"));
      QVERIFY(msg.contains(", \"levelnum\": " + QByteArray::number(sent[k].first) + ", "));
    }
  }

  void exactRecord() {
    const Env env = {
        {"DONGLE_ID", "0123abcd"}, {"GIT_BRANCH", "release"}, {"GIT_COMMIT", "c0ffee"}, {"MANAGER_DAEMON", "updater"}};
    const double before = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    const Run run = runEmitter({"log", "30", "quote \" back \\ tab\t \xe2\x80\xa8 end"}, env);
    const double after = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    QCOMPARE(run.exitCode, 0);

    const auto msg = collector->receive();
    QVERIFY(msg);
    const QRegularExpressionMatch created =
        QRegularExpression("^\x1e\\{\"created\": ([^,]+), ").match(QString::fromStdString(*msg));
    QVERIFY2(created.hasMatch(), msg->c_str());
    const QString createdText = created.captured(1);
    const double createdValue = createdText.toDouble();
    QVERIFY(createdValue >= before - 0.01 && createdValue <= after + 0.01);
    QCOMPARE(createdText, QString::asprintf("%.17g", createdValue));

    const std::string expected =
        "\x1e{\"created\": " + createdText.toStdString() +
        ", \"ctx\": {\"branch\": \"release\", \"commit\": \"c0ffee\", \"daemon\": \"updater\", \"device\": "
        "\"zorv\\u0000\", \"dirty\": true, \"dongle_id\": \"0123abcd\", \"version\": \"0.9.8\"}, \"filename\": "
        "\"emitter.cc\", \"funcname\": \"emit\", \"levelnum\": 30, \"lineno\": 42, \"msg\": \"quote \\\" back \\\\ "
        "tab\\t \\u2028 end\"}";
    QCOMPARE(*msg, expected);
    QCOMPARE(run.out, QByteArray("emitter.cc: quote \" back \\ tab\t \xe2\x80\xa8 end\n"));
  }

  void context_data() {
    QTest::addColumn<Env>("env");
    QTest::addColumn<QByteArray>("ctx");
    const QByteArray tail = "\"version\": \"0.9.8\"}";
    QTest::newRow("nothing set: no optional keys, dirty")
        << Env{} << "{\"device\": \"zorv\\u0000\", \"dirty\": true, " + tail;
    QTest::newRow("empty values count as set")
        << Env{{"CLEAN", ""}, {"DONGLE_ID", ""}, {"GIT_ORIGIN", ""}}
        << "{\"device\": \"zorv\\u0000\", \"dirty\": false, \"dongle_id\": \"\", \"origin\": \"\", " + tail;
    QTest::newRow("all set")
        << Env{{"CLEAN", "1"},      {"DONGLE_ID", "id"}, {"GIT_ORIGIN", "o"},
               {"GIT_BRANCH", "b"}, {"GIT_COMMIT", "c"}, {"MANAGER_DAEMON", "m"}}
        << "{\"branch\": \"b\", \"commit\": \"c\", \"daemon\": \"m\", \"device\": \"zorv\\u0000\", \"dirty\": false, "
           "\"dongle_id\": \"id\", \"origin\": \"o\", " +
               tail;
  }
  void context() {
    QFETCH(Env, env);
    QFETCH(QByteArray, ctx);
    runEmitter({"log", "20", "x"}, env);
    const auto msg = collector->receive();
    QVERIFY(msg);
    QCOMPARE(ctxText(*msg), ctx);
  }

  void contextIsFixedAtFirstRecord() {
    runEmitter({"log", "20", "first", "setenv", "DONGLE_ID", "changed", "setenv", "CLEAN", "1", "log", "20", "second"});
    const std::vector<std::string> messages = collector->drain();
    QCOMPARE(messages.size(), size_t(2));
    QVERIFY(!ctxText(messages[0]).isEmpty());
    QCOMPARE(ctxText(messages[1]), ctxText(messages[0]));
    QVERIFY(!ctxText(messages[1]).contains("dongle_id"));
  }

  // Long enough that the sink gives back the room it took; the record after it is whole too.
  void longMessageGoesWhole() {
    QString text;
    for (int i = 0; text.size() < 20000; ++i)
      text += QString::number(i) + ' ';
    const Run run = runEmitter({"log", "40", text, "log", "40", "after"});
    QCOMPARE(run.out, "emitter.cc: " + text.toUtf8() + "\nemitter.cc: after\n");
    const std::vector<std::string> messages = collector->drain();
    QCOMPARE(messages.size(), size_t(2));
    QVERIFY(QByteArray::fromStdString(messages[0]).endsWith(", \"msg\": \"" + text.toUtf8() + "\"}"));
    QVERIFY(QByteArray::fromStdString(messages[1]).endsWith(", \"msg\": \"after\"}"));
  }

  void emptyMessageIsDropped() {
    const Run run = runEmitter({"log", "40", "", "log", "40", "after"});
    QCOMPARE(run.out, QByteArray("emitter.cc: after\n"));
    const std::vector<std::string> messages = collector->drain();
    QCOMPARE(messages.size(), size_t(1));
    QVERIFY(messages[0].find("\"msg\": \"after\"") != std::string::npos);
  }

  void macrosFillInCallSite() {
    const Run run = runEmitter({"callsite"});
    const QList<QByteArray> site = run.err.trimmed().split(':');
    QCOMPARE(site.size(), 3);
    const auto msg = collector->receive();
    QVERIFY(msg);
    const QJsonObject record = QJsonDocument::fromJson(QByteArray::fromStdString(msg->substr(1))).object();
    QCOMPARE(record.value("filename").toString().toUtf8(), site[0]);
    QCOMPARE(record.value("lineno").toInt(), site[1].toInt());
    QCOMPARE(record.value("funcname").toString().toUtf8(), site[2]);
    QCOMPARE(record.value("msg").toString(), QStringLiteral("call site 7"));
    QCOMPARE(run.out, site[0] + ": call site 7\n");
  }

  // Names are cached per thread from one call to the next: each record must carry its own.
  void callSiteNamesChangingOrMissing() {
    runEmitter(
        {"at", "", "", "first", "at", "a.cc", "f", "second", "at", "-", "-", "third", "at", "a.cc", "", "fourth"});
    const std::vector<std::string> messages = collector->drain();
    const QList<QPair<QString, QString>> expected = {{"", ""}, {"a.cc", "f"}, {"", ""}, {"a.cc", ""}};
    QCOMPARE(messages.size(), size_t(expected.size()));
    for (int k = 0; k < expected.size(); ++k) {
      QJsonParseError error;
      const QJsonObject record =
          QJsonDocument::fromJson(QByteArray::fromStdString(messages[k].substr(1)), &error).object();
      QVERIFY2(error.error == QJsonParseError::NoError, messages[k].c_str());
      QCOMPARE(record.value("filename").toString(), expected[k].first);
      QCOMPARE(record.value("funcname").toString(), expected[k].second);
    }
  }

  void burstWithoutCollectorNeitherWaitsNorPilesUp() {
    collector.reset();  // nobody listening while the burst runs
    QProcess emitter;
    start(emitter, {"burst", "100000", "log", "40", "burst done", "wait", "sleep"});
    QVERIFY(waitForOutput(emitter, "emitter.cc: burst done\n", 60000));

    // A collector arriving afterwards gets what the socket could queue, not 100k.
    collector = std::make_unique<LogCollector>(prefix);
    emitter.write("\n");
    QVERIFY(emitter.waitForFinished(30000));
    QCOMPARE(emitter.exitCode(), 0);
    const std::vector<std::string> messages = collector->drain(500);
    QVERIFY2(!messages.empty() && messages.size() <= 2000, std::to_string(messages.size()).c_str());
    // The oldest records were kept; those that found the queue full were dropped.
    QVERIFY(messages.front().find("\"msg\": \"burst record 0\"") != std::string::npos);
    for (const std::string &m : messages)
      QCOMPARE(m.substr(0, 1), std::string("\x0a"));
  }

  void threadsPrintWholeLines() {
    const Run run = runEmitter({"threads", "4", "500"});
    QCOMPARE(run.exitCode, 0);
    const QList<QByteArray> lines = run.out.split('\n');
    QCOMPARE(lines.size(), 2001);
    QCOMPARE(lines.last(), QByteArray());
    const QRegularExpression shape("^.*swaglog_emitter\\.cc: thread ([0-3]) record (\\d+)$");
    QSet<QString> seen;
    for (int k = 0; k < 2000; ++k) {
      const QRegularExpressionMatch m = shape.match(QString::fromUtf8(lines[k]));
      QVERIFY2(m.hasMatch(), lines[k].constData());
      seen.insert(m.captured(1) + "/" + m.captured(2));
    }
    QCOMPARE(seen.size(), 2000);
  }

private:
  QProcessEnvironment environment(const Env &env) const {
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString &name : kContextVariables)
      e.remove(name);
    for (auto it = env.begin(); it != env.end(); ++it)
      e.insert(it.key(), it.value());
    e.insert("HALCYRA_PREFIX", QString::fromStdString(prefix));
    return e;
  }

  void start(QProcess &process, const QStringList &args, const Env &env = {}) {
    process.setProcessEnvironment(environment(env));
    startBuiltProgram(process, SWAGLOG_EMITTER, args);
    QVERIFY(process.waitForStarted());
  }

  Run runEmitter(const QStringList &args, const Env &env = {}) {
    QProcess process;
    start(process, args, env);
    process.closeWriteChannel();
    Run run;
    if (!process.waitForFinished(60000))
      return run;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
  }

  static bool waitForOutput(QProcess &process, const QByteArray &text, int timeout_ms) {
    QElapsedTimer timer;
    timer.start();
    QByteArray out;
    while (!out.contains(text) && timer.elapsed() < timeout_ms) {
      process.waitForReadyRead(100);
      out += process.readAllStandardOutput();
    }
    return out.contains(text);
  }

  std::string prefix;
  std::unique_ptr<LogCollector> collector;
};

QTEST_GUILESS_MAIN(TestSwaglog)
#include "test_swaglog.moc"
