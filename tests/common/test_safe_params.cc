#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "common/safe_params.h"
#include "tests/fixtures/log_collector.h"
#include "tests/fixtures/qtest_std_string.h"

// The program's forgiving way to the store: the same results as the store while it can be
// opened, empty reads and refused writes (never an exception) when it cannot.
class TestSafeParams : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    QVERIFY(tmp.isValid());
    prefix = LogCollector::unique_prefix("safe-params");
    qputenv("HALCYRA_PREFIX", QByteArray::fromStdString(prefix));
    collector = std::make_unique<LogCollector>(prefix);
    QFile in_the_way(tmp.filePath(QStringLiteral("file")));
    QVERIFY(in_the_way.open(QIODevice::WriteOnly));
  }

  void operations_data() {
    QTest::addColumn<QString>("root");
    QTest::addColumn<bool>("usable");
    QTest::newRow("usable store") << tmp.filePath(QStringLiteral("params")) << true;
    QTest::newRow("a file in the way") << tmp.filePath(QStringLiteral("file/params")) << false;
  }

  void operations() {
    QFETCH(QString, root);
    QFETCH(bool, usable);
    collector->drain(0);

    SafeParams params(root.toStdString());
    QCOMPARE(params.put("Key", std::string("a\0b", 3)), usable ? 0 : -1);
    QCOMPARE(params.get("Key"), usable ? std::string("a\0b", 3) : std::string());
    QCOMPARE(params.putBool("Flag", true), usable ? 0 : -1);
    QCOMPARE(params.getBool("Flag"), usable);
    QCOMPARE(params.remove("Key"), usable ? 0 : -1);
    QCOMPARE(params.remove("Key"), -1);

    // One error record for the store that cannot be opened, none for its use.
    const std::vector<std::string> records = collector->drain(usable ? 100 : 500);
    QCOMPARE(int(records.size()), usable ? 0 : 1);
    for (const std::string &record : records) {
      QCOMPARE(record.substr(0, 1), std::string("\x28"));
      QVERIFY2(
          record.find("\"msg\": \"Failed to open params: Failed to ensure params path, errno=20") != std::string::npos,
          record.c_str());
    }
  }

private:
  QTemporaryDir tmp;
  std::string prefix;
  std::unique_ptr<LogCollector> collector;
};

QTEST_GUILESS_MAIN(TestSafeParams)
#include "test_safe_params.moc"
