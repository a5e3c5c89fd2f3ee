#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "common/util.h"
#include "tests/fixtures/qtest_std_string.h"

namespace {

void write_bytes(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

class TestUtil : public QObject {
  Q_OBJECT

private slots:
  void init() {
    QVERIFY(dir.isValid());
    root = dir.path().toStdString();
  }

  void readFileGivesWholeContent() {
    const std::string bytes("line one\n\0binary\xff tail", 22);
    write_bytes(root + "/value", bytes);
    QCOMPARE(util::read_file(root + "/value"), bytes);

    const std::string big(1 << 20, 'x');
    write_bytes(root + "/big", big);
    QCOMPARE(util::read_file(root + "/big"), big);
  }

  void readFileFailuresAreEmpty_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << "missing";
    QTest::newRow("directory") << "subdir";
    QTest::newRow("empty file") << "empty";
  }
  void readFileFailuresAreEmpty() {
    QFETCH(QString, name);
    ::mkdir((root + "/subdir").c_str(), 0755);
    write_bytes(root + "/empty", "");
    QCOMPARE(util::read_file(root + "/" + name.toStdString()), std::string());
  }

  void readFileOfKernelFileReportingSizeZero() {
    struct stat st;
    QCOMPARE(::stat("/proc/self/status", &st), 0);
    QCOMPARE(st.st_size, off_t(0));
    const std::string status = util::read_file("/proc/self/status");
    QVERIFY(status.rfind("Name:", 0) == 0);
    QVERIFY(status.find("\nPid:") != std::string::npos);
  }

  void readlinkGivesTarget() {
    // The longest target the kernel stores.
    const std::string target(4095, 'a');
    QCOMPARE(::symlink("some/where", (root + "/link").c_str()), 0);
    QCOMPARE(::symlink(target.c_str(), (root + "/long").c_str()), 0);
    write_bytes(root + "/plain", "x");

    QCOMPARE(util::readlink(root + "/link"), std::string("some/where"));
    QCOMPARE(util::readlink(root + "/long"), target);
    QCOMPARE(util::readlink(root + "/plain"), std::string());
    QCOMPARE(util::readlink(root + "/missing"), std::string());
  }

  void fileExistsFollowsLinks() {
    write_bytes(root + "/file", "");
    ::mkdir((root + "/dir").c_str(), 0755);
    QCOMPARE(::symlink((root + "/file").c_str(), (root + "/good").c_str()), 0);
    QCOMPARE(::symlink((root + "/gone").c_str(), (root + "/dangling").c_str()), 0);

    QVERIFY(util::file_exists(root + "/file"));
    QVERIFY(util::file_exists(root + "/dir"));
    QVERIFY(util::file_exists(root + "/good"));
    QVERIFY(!util::file_exists(root + "/dangling"));
    QVERIFY(!util::file_exists(root + "/missing"));
  }

  void createDirectories_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("result");
    QTest::addColumn<bool>("isDirAfter");
    QTest::newRow("nested with trailing separators") << "a/b/c//" << true << true;
    QTest::newRow("existing directory") << "a" << true << true;
    QTest::newRow("regular file in the way") << "file" << false << false;
    QTest::newRow("below a regular file") << "file/sub" << false << false;
    QTest::newRow("empty") << "" << false << false;
  }
  void createDirectories() {
    QFETCH(QString, path);
    QFETCH(bool, result);
    QFETCH(bool, isDirAfter);
    ::mkdir((root + "/a").c_str(), 0755);
    write_bytes(root + "/file", "");

    // Relative paths as well as absolute ones.
    QVERIFY(::chdir(root.c_str()) == 0);
    QCOMPARE(util::create_directories(path.toStdString(), 0755), result);
    struct stat st;
    QCOMPARE(!path.isEmpty() && ::stat(path.toStdString().c_str(), &st) == 0 && S_ISDIR(st.st_mode), isDirAfter);
  }

  void createDirectoriesUsesMode() {
    const mode_t old_mask = ::umask(0);
    const bool created = util::create_directories(root + "/x/y", 0750);
    ::umask(old_mask);
    QVERIFY(created);
    struct stat st;
    QCOMPARE(::stat((root + "/x").c_str(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0750));
    QCOMPARE(::stat((root + "/x/y").c_str(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0750));
  }

  void getenvText() {
    ::unsetenv("UTIL_TEST_VAR");
    QCOMPARE(util::getenv("UTIL_TEST_VAR", "fallback"), std::string("fallback"));
    ::setenv("UTIL_TEST_VAR", "", 1);
    QCOMPARE(util::getenv("UTIL_TEST_VAR", "fallback"), std::string());
    ::setenv("UTIL_TEST_VAR", "value", 1);
    QCOMPARE(util::getenv("UTIL_TEST_VAR", "fallback"), std::string("value"));
  }

  void getenvNumber_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("set");
    QTest::addColumn<float>("expected");
    QTest::newRow("unset gives default") << QByteArray() << false << 7.25f;
    QTest::newRow("plain") << QByteArray("2") << true << 2.0f;
    QTest::newRow("trailing text ignored") << QByteArray("1.5x") << true << 1.5f;
    QTest::newRow("leading spaces") << QByteArray("  0.75") << true << 0.75f;
    QTest::newRow("no number") << QByteArray("abc") << true << 0.0f;
    QTest::newRow("empty") << QByteArray("") << true << 0.0f;
  }
  void getenvNumber() {
    QFETCH(QByteArray, value);
    QFETCH(bool, set);
    QFETCH(float, expected);
    if (set) {
      ::setenv("UTIL_TEST_NUM", value.constData(), 1);
    } else {
      ::unsetenv("UTIL_TEST_NUM");
    }
    QCOMPARE(util::getenv("UTIL_TEST_NUM", 7.25f), expected);
  }

private:
  QTemporaryDir dir;
  std::string root;
};

QTEST_GUILESS_MAIN(TestUtil)
#include "test_util.moc"
