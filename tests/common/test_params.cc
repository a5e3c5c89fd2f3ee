#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <fstream>
#include <memory>

#include "common/params.h"
#include "tests/common/hammer_value.h"
#include "tests/fixtures/built_program.h"
#include "tests/fixtures/full_file_system.h"
#include "tests/fixtures/log_collector.h"
#include "tests/fixtures/qtest_std_string.h"

namespace {

std::string raw_read(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void raw_write(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

QStringList temp_values(const std::string &root) {
  return QDir(QString::fromStdString(root)).entryList({".tmp_value_*"}, QDir::Files | QDir::Hidden | QDir::System);
}

}  // namespace

// The store as the device's processes use it: real files, real child processes.
class TestParams : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    // One sink endpoint for the whole process: the log state reads it once.
    prefix = LogCollector::unique_prefix("params");
    qputenv("HALCYRA_PREFIX", QByteArray::fromStdString(prefix));
    collector = std::make_unique<LogCollector>(prefix);
    QVERIFY(tmp.isValid());
  }

  void init() {
    root = tmp.path().toStdString() + "/" + QTest::currentTestFunction() + "-" +
           std::to_string(QRandomGenerator::global()->generate());
    collector->drain(0);
  }

  void roundTrip_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("text") << QByteArray("hello");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("NUL bytes") << QByteArray("a\0b\0\0c", 6);
    QTest::newRow("trailing line feed") << QByteArray("1\n");
    QTest::newRow("one MiB binary") << QByteArray(1 << 20, '\xfe');
  }
  void roundTrip() {
    QFETCH(QByteArray, value);
    Params params(root);
    QCOMPARE(params.put("Key", value.toStdString()), 0);
    QCOMPARE(params.get("Key"), value.toStdString());
    QCOMPARE(raw_read(root + "/" + prefix + "/Key"), value.toStdString());
    QVERIFY(temp_values(root).isEmpty());

    // The char-pointer form stores exactly value_size bytes.
    QCOMPARE(params.put("Raw", value.constData(), value.size()), 0);
    QCOMPARE(params.get("Raw"), value.toStdString());
  }

  void missingKeyReadsAsEmptyValue() {
    Params params(root);
    QCOMPARE(params.get("Never"), std::string());
    QCOMPARE(params.put("Empty", ""), 0);
    struct stat st;
    QCOMPARE(::stat(params.getParamPath("Empty").c_str(), &st), 0);
    QCOMPARE(st.st_size, off_t(0));
    QCOMPARE(params.get("Empty"), params.get("Never"));
  }

  void overwriteReplacesWholeValue() {
    Params params(root);
    QCOMPARE(params.put("Key", std::string(10000, 'x')), 0);
    QCOMPARE(params.put("Key", "short"), 0);
    QCOMPARE(params.get("Key"), std::string("short"));
  }

  void getBool_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("present");
    QTest::addColumn<bool>("expected");
    QTest::newRow("1") << QByteArray("1") << true << true;
    QTest::newRow("0") << QByteArray("0") << true << false;
    QTest::newRow("empty") << QByteArray("") << true << false;
    QTest::newRow("missing") << QByteArray() << false << false;
    QTest::newRow("1 and line feed") << QByteArray("1\n") << true << false;
    QTest::newRow("11") << QByteArray("11") << true << false;
    QTest::newRow("true") << QByteArray("true") << true << false;
  }
  void getBool() {
    QFETCH(QByteArray, stored);
    QFETCH(bool, present);
    QFETCH(bool, expected);
    Params params(root);
    if (present)
      QCOMPARE(params.put("Flag", stored.toStdString()), 0);
    QCOMPARE(params.getBool("Flag"), expected);
  }

  void putBoolWritesOneByte() {
    Params params(root);
    QCOMPARE(params.putBool("On", true), 0);
    QCOMPARE(params.putBool("Off", false), 0);
    QCOMPARE(raw_read(params.getParamPath("On")), std::string("1"));
    QCOMPARE(raw_read(params.getParamPath("Off")), std::string("0"));
  }

  void removeDeletesOnce() {
    Params params(root);
    QCOMPARE(params.remove("Never"), -1);
    QCOMPARE(params.put("Key", "v"), 0);
    QCOMPARE(params.remove("Key"), 0);
    QVERIFY(!QFile::exists(QString::fromStdString(params.getParamPath("Key"))));
    QCOMPARE(params.get("Key"), std::string());
    QCOMPARE(params.remove("Key"), -1);
  }

  void onDiskLayout() {
    Params params(root);
    QCOMPARE(params.getParamPath(), root + "/" + prefix);
    QCOMPARE(params.getParamPath("DongleId"), root + "/" + prefix + "/DongleId");

    // The key directory is a link to a private directory inside the root.
    const QFileInfo keyDir(QString::fromStdString(params.getParamPath()));
    QVERIFY(keyDir.isSymLink());
    const QString target = keyDir.symLinkTarget();
    QVERIFY2(QRegularExpression("^" + QRegularExpression::escape(QString::fromStdString(root)) + "/\\.tmp_.{6}$")
                 .match(target)
                 .hasMatch(),
             qPrintable(target));
    QVERIFY(QFileInfo(target).isDir());

    QCOMPARE(params.put("Key", "v"), 0);
    const QFileInfo lock(QString::fromStdString(root + "/.lock"));
    QVERIFY(lock.isFile());
    QCOMPARE(lock.size(), 0);
  }

  void reopeningKeepsValues() {
    QCOMPARE(Params(root).put("Key", "kept"), 0);
    QCOMPARE(Params(root).get("Key"), std::string("kept"));
  }

  void rootFromEnvironment() {
    qputenv("PARAMS_ROOT", QByteArray::fromStdString(root));
    QCOMPARE(Params().put("Key", "env"), 0);
    qunsetenv("PARAMS_ROOT");
    QCOMPARE(Params(root).get("Key"), std::string("env"));
    // An explicit path wins over the variable.
    qputenv("PARAMS_ROOT", "/nonexistent/elsewhere");
    QCOMPARE(Params(root).get("Key"), std::string("env"));
    qunsetenv("PARAMS_ROOT");
  }

  void prefixSelectsKeyDirectory() {
    QCOMPARE(Params(root).put("Key", "default"), 0);
    qputenv("HALCYRA_PREFIX", "test");
    Params other(root);
    const int put = other.put("Key", "other");
    qputenv("HALCYRA_PREFIX", QByteArray::fromStdString(prefix));

    QCOMPARE(put, 0);
    QCOMPARE(other.getParamPath("Key"), root + "/test/Key");
    QCOMPARE(raw_read(root + "/test/Key"), std::string("other"));
    QCOMPARE(Params(root).get("Key"), std::string("default"));
    // Both share the root's one lock file.
    QCOMPARE(QDir(QString::fromStdString(root)).entryList({"*lock*"}, QDir::Files | QDir::Hidden),
             QStringList{".lock"});
  }

  void danglingKeyDirectoryIsReplaced() {
    Params first(root);
    QCOMPARE(first.put("Key", "old"), 0);
    const QString oldTarget = QFileInfo(QString::fromStdString(first.getParamPath())).symLinkTarget();
    QVERIFY(QDir(oldTarget).removeRecursively());

    Params second(root);
    const QString newTarget = QFileInfo(QString::fromStdString(second.getParamPath())).symLinkTarget();
    QVERIFY(newTarget != oldTarget);
    QVERIFY(QFileInfo(newTarget).isDir());
    QCOMPARE(second.get("Key"), std::string());
    QCOMPARE(second.put("Key", "new"), 0);
    QCOMPARE(second.get("Key"), std::string("new"));
  }

  void constructorFailure_data() {
    QTest::addColumn<QString>("rootBelowFile");
    QTest::newRow("root is a regular file") << "";
    QTest::newRow("root below a regular file") << "/sub";
  }
  void constructorFailure() {
    QFETCH(QString, rootBelowFile);
    QVERIFY(QDir().mkpath(QString::fromStdString(root)));
    raw_write(root + "/file", "x");
    const std::string bad_root = root + "/file" + rootBelowFile.toStdString();
    try {
      Params params(bad_root);
      QFAIL("no error raised");
    } catch (const std::runtime_error &e) {
      QCOMPARE(std::string(e.what()), "Failed to ensure params path, errno=" + std::to_string(ENOTDIR) +
                                          ", path=" + bad_root + ", param_prefix=/" + prefix);
    }
  }

  void unsafeKeysAreRefused_data() {
    QTest::addColumn<QByteArray>("key");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("dot") << QByteArray(".");
    QTest::newRow("dot dot") << QByteArray("..");
    QTest::newRow("parent path") << QByteArray("../escape");
    QTest::newRow("sub path") << QByteArray("sub/key");
    QTest::newRow("absolute") << QByteArray("/abs");
    QTest::newRow("NUL byte") << QByteArray("escape\0tail", 11);
  }
  void unsafeKeysAreRefused() {
    QFETCH(QByteArray, key);
    const std::string k = key.toStdString();
    Params params(root);
    raw_write(root + "/escape", "outside");
    const QStringList before = QDir(QString::fromStdString(root)).entryList(QDir::AllEntries | QDir::Hidden);

    QCOMPARE(params.put(k, "value"), -1);
    QCOMPARE(params.putBool(k, true), -1);
    QCOMPARE(params.get(k), std::string());
    QCOMPARE(params.getBool(k), false);
    QCOMPARE(params.remove(k), -1);

    QCOMPARE(raw_read(root + "/escape"), std::string("outside"));
    QCOMPARE(QDir(QString::fromStdString(root)).entryList(QDir::AllEntries | QDir::Hidden), before);
    QVERIFY(QDir(QString::fromStdString(params.getParamPath()))
                .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
  }

  void unlockableLockFileIsLoggedAndWriteGoesOn() {
    Params params(root);
    // Opening a directory as the lock file fails whatever the process's rights.
    QVERIFY(QDir().mkpath(QString::fromStdString(root + "/.lock")));

    QCOMPARE(params.put("Key", "still written"), 0);
    QCOMPARE(params.get("Key"), std::string("still written"));
    QCOMPARE(params.remove("Key"), 0);
    QVERIFY(!QFile::exists(QString::fromStdString(params.getParamPath("Key"))));

    const std::string expected_msg = "Failed to lock file " + root + "/.lock, errno=" + std::to_string(EISDIR);
    const std::vector<std::string> records = collector->drain();
    QCOMPARE(records.size(), size_t(2));
    for (const std::string &record : records) {
      QCOMPARE(record.substr(0, 1), std::string("\x28"));
      QVERIFY2(record.find(", \"msg\": \"" + expected_msg + "\"}") != std::string::npos, record.c_str());
    }
  }

  void fullFileSystem_data() {
    QTest::addColumn<bool>("noInodes");
    QTest::addColumn<int>("expected");
    QTest::newRow("no space left for the value") << false << -20;
    QTest::newRow("no inode left for the temporary file") << true << -1;
  }
  void fullFileSystem() {
    QFETCH(bool, noInodes);
    QFETCH(int, expected);
    QVERIFY(QDir().mkpath(QString::fromStdString(root)));
    QVERIFY2(::mount("tiny", root.c_str(), "tmpfs", 0, "size=256k,nr_inodes=64") == 0,
             "run through tests/fixtures/device_root.sh");
    const std::string store = root + "/params";
    Params params(store);
    QCOMPARE(params.put("Key", "old value"), 0);
    noInodes ? full_file_system::exhaust_inodes(root) : full_file_system::exhaust_space(root);

    QCOMPARE(params.put("Key", std::string(64 * 1024, 'n')), expected);
    QCOMPARE(params.get("Key"), std::string("old value"));
    QVERIFY(temp_values(store).isEmpty());
    QCOMPARE(::umount(root.c_str()), 0);
  }

  void concurrentWritersAndReadersSeeWholeValues() {
    QVERIFY(QDir().mkpath(QString::fromStdString(root)));
    const QString stopFile = QString::fromStdString(root + "/stop");
    std::vector<std::unique_ptr<QProcess>> writers, readers;
    for (int r = 0; r < 2; ++r) {
      readers.push_back(hammer({"read", QString::fromStdString(root), stopFile, "120"}));
    }
    for (int w = 0; w < 4; ++w) {
      writers.push_back(hammer({"write", QString::fromStdString(root), QString::number(w), "150"}));
    }
    for (auto &writer : writers) {
      QVERIFY(writer->waitForFinished(120000));
      QCOMPARE(writer->exitCode(), 0);
    }
    raw_write(stopFile.toStdString(), "");
    for (auto &reader : readers) {
      QVERIFY(reader->waitForFinished(120000));
      const QByteArray report = reader->readAllStandardOutput();
      QCOMPARE(reader->exitCode(), 0);
      QVERIFY2(report.contains(" torn=0"), report.constData());
      QVERIFY2(!report.startsWith("reads=0 "), report.constData());
    }
    for (int k = 0; k < 4; ++k)
      QVERIFY(hammer::is_whole(Params(root).get("K" + std::to_string(k))));
  }

  // The first processes to open a store make its key directory together: what each of them
  // writes must stay visible, so they all end up in one directory.
  void processesMakingTheStoreTogetherShareIt() {
    QVERIFY(QDir().mkpath(QString::fromStdString(root)));
    for (int round = 0; round < 30; ++round) {
      const std::string store = root + "/round" + std::to_string(round);
      const std::string start = root + "/start" + std::to_string(round);
      QCOMPARE(::mkfifo(start.c_str(), 0600), 0);
      std::vector<std::unique_ptr<QProcess>> openers;
      for (int w = 0; w < 8; ++w) {
        openers.push_back(
            hammer({"open", QString::fromStdString(store), QString::fromStdString(start), QString::number(w)}));
      }
      // Each waits in its open of the FIFO; opening it for writing lets them all go at once. The
      // write end stays open until they end, so one that reaches its open late (under emulation
      // starting takes longer than the pause) goes on too instead of waiting for good.
      QTest::qWait(100);
      const int fd = ::open(start.c_str(), O_WRONLY | O_CLOEXEC);
      QVERIFY(fd >= 0);
      bool all_ended = true;
      for (auto &opener : openers) {
        all_ended = opener->waitForFinished(30000) && all_ended;
      }
      ::close(fd);
      QVERIFY(all_ended);
      for (auto &opener : openers) {
        QCOMPARE(opener->exitCode(), 0);
      }
      const Params params(store);
      for (int w = 0; w < 8; ++w) {
        QCOMPARE(params.get("W" + std::to_string(w)), std::to_string(w));
      }
    }
  }

  void killedWriterLeavesWholeValues() {
    QVERIFY(QDir().mkpath(QString::fromStdString(root)));
    Params params(root);
    QSet<QByteArray> values;
    int killedMidWrite = 0;
    for (int round = 0; round < 200; ++round) {
      auto writer = hammer({"write", QString::fromStdString(root), QString::number(round), "0"});
      // The kill lands at a random point of its writing, so wait until it writes: starting can take
      // longer than the whole window (under emulation it does).
      const std::string own_value = "w" + std::to_string(round) + "-";
      QDeadlineTimer writing(30000);
      while (params.get("K0").rfind(own_value, 0) != 0 && temp_values(root).isEmpty() && !writing.hasExpired())
        QThread::usleep(200);
      QVERIFY(!writing.hasExpired());
      QThread::usleep(QRandomGenerator::global()->bounded(30000));
      QVERIFY(writer->processId() > 0);  // 0 or -1 would signal far more than the writer
      ::kill(writer->processId(), SIGKILL);
      QVERIFY(writer->waitForFinished(10000));
      QCOMPARE(writer->exitStatus(), QProcess::CrashExit);

      for (int k = 0; k < 4; ++k) {
        const std::string value = params.get("K" + std::to_string(k));
        if (value.empty())
          continue;  // not written yet
        QVERIFY2(hammer::is_whole(value), qPrintable(QString("round %1 key %2").arg(round).arg(k)));
        values.insert(QByteArray::fromStdString(value.substr(0, value.find(':'))));
      }
      // A temporary value left behind means the kill hit between creating and renaming it.
      const QStringList leftovers = temp_values(root);
      killedMidWrite += !leftovers.isEmpty();
      for (const QString &name : leftovers)
        QFile::remove(QString::fromStdString(root + "/") + name);
    }
    QVERIFY2(killedMidWrite > 0 && values.size() > 1,
             qPrintable(QString("mid-write kills %1, values seen %2").arg(killedMidWrite).arg(values.size())));
    qInfo("%d of 200 kills landed mid-write; %d distinct values seen", killedMidWrite, int(values.size()));
  }

private:
  std::unique_ptr<QProcess> hammer(const QStringList &args) {
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    startBuiltProgram(*process, PARAMS_HAMMER, args);
    process->waitForStarted();
    return process;
  }

  QTemporaryDir tmp;
  std::string root;
  std::string prefix;
  std::unique_ptr<LogCollector> collector;
};

QTEST_GUILESS_MAIN(TestParams)
#include "test_params.moc"
