#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtTest>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "common/json.h"
#include "tests/fixtures/qtest_std_string.h"

Q_DECLARE_METATYPE(Json)

namespace {

// Each value's text is what the C library's %.17g gives.
void dumpedAsPrintfDoes(const std::vector<double> &values) {
  for (const double value : values) {
    char expected[40];
    snprintf(expected, sizeof(expected), "%.17g", value);
    std::string out;
    Json::dump_number(value, out);
    if (out != expected)
      QFAIL(qPrintable(QString("%1 dumped as %2").arg(expected).arg(out.c_str())));
  }
}

}  // namespace

// Expected texts are what the log collector's parser has always received:
// compact form, byte-ordered keys, ", " and ": ", %.17g doubles.
class TestJson : public QObject {
  Q_OBJECT

private slots:
  void dump_data() {
    QTest::addColumn<Json>("value");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("null") << Json() << QByteArray("null");
    QTest::newRow("booleans") << Json(Json::array{true, false}) << QByteArray("[true, false]");
    QTest::newRow("integers") << Json(Json::array{0, -1, INT_MAX, INT_MIN})
                              << QByteArray("[0, -1, 2147483647, -2147483648]");
    QTest::newRow("doubles with 17 digits")
        << Json(Json::array{0.1, 1.0, -0.0, 1e300, 5e-324, 1700000000.123456789})
        << QByteArray(
               "[0.10000000000000001, 1, -0, 1.0000000000000001e+300, 4.9406564584124654e-324, "
               "1700000000.1234567]");
    QTest::newRow("non-finite doubles") << Json(Json::array{std::nan(""), std::numeric_limits<double>::infinity()})
                                        << QByteArray("[null, null]");
    QTest::newRow("empty containers") << Json(Json::array{Json::array{}, Json::object{}, ""})
                                      << QByteArray("[[], {}, \"\"]");
    QTest::newRow("keys in byte order")
        << Json(Json::object{{"b", 1}, {"a", 2}, {"ab", 3}, {"B", 4}, {"_", 5}, {"\xc3\xa9", 6}, {"", 7}})
        << QByteArray("{\"\": 7, \"B\": 4, \"_\": 5, \"a\": 2, \"ab\": 3, \"b\": 1, \"\xc3\xa9\": 6}");
    QTest::newRow("nested") << Json(Json::object{{"k", Json::array{Json::object{{"x", nullptr}}, 1.5}}})
                            << QByteArray("{\"k\": [{\"x\": null}, 1.5]}");
    QTest::newRow("null C string") << Json(static_cast<const char *>(nullptr)) << QByteArray("null");
  }
  void dump() {
    QFETCH(Json, value);
    QFETCH(QByteArray, expected);
    QCOMPARE(value.dump(), expected.toStdString());
  }

  void stringEscaping_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("quote and backslash") << QByteArray("a\"b\\c") << QByteArray("\"a\\\"b\\\\c\"");
    QTest::newRow("short escapes") << QByteArray("\b\f\n\r\t") << QByteArray("\"\\b\\f\\n\\r\\t\"");
    QTest::newRow("other control bytes") << QByteArray("\x01\x1f", 2) << QByteArray("\"\\u0001\\u001f\"");
    QTest::newRow("NUL byte") << QByteArray("a\0b", 3) << QByteArray("\"a\\u0000b\"");
    QTest::newRow("DEL and slash stay") << QByteArray("\x7f/") << QByteArray("\"\x7f/\"");
    QTest::newRow("UTF-8 stays") << QByteArray("caf\xc3\xa9 \xe2\x82\xac")
                                 << QByteArray("\"caf\xc3\xa9 \xe2\x82\xac\"");
    QTest::newRow("line separator") << QByteArray("a\xe2\x80\xa8z") << QByteArray("\"a\\u2028z\"");
    QTest::newRow("paragraph separator") << QByteArray("\xe2\x80\xa9") << QByteArray("\"\\u2029\"");
    QTest::newRow("neighbour of the separators stays")
        << QByteArray("\xe2\x80\xa7\xe2\x80\xaa") << QByteArray("\"\xe2\x80\xa7\xe2\x80\xaa\"");
    QTest::newRow("4-byte character stays") << QByteArray("\xf0\x9f\x98\x80") << QByteArray("\"\xf0\x9f\x98\x80\"");
    // Each byte that is not part of a well-formed character is one U+FFFD.
    const QByteArray fffd("\xef\xbf\xbd");
    QTest::newRow("cut separator at the end") << QByteArray("x\xe2\x80") << "\"x" + fffd + fffd + "\"";
    QTest::newRow("bytes that start nothing") << QByteArray("\xff\xfe\x80") << "\"" + fffd + fffd + fffd + "\"";
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << "\"" + fffd + fffd + "\"";
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << "\"" + fffd + fffd + fffd + "\"";
    QTest::newRow("above U+10FFFF") << QByteArray(
                                           "\xf4\x90\x80\x80"
                                           "a")
                                    << "\"" + fffd + fffd + fffd + fffd + "a\"";
    QTest::newRow("cut 4-byte character, then a quote")
        << QByteArray("\xf0\x9f\x98\"") << "\"" + fffd + fffd + fffd + "\\\"\"";
  }
  void stringEscaping() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(Json(text.toStdString()).dump(), expected.toStdString());
    // Keys follow the same rules.
    const std::string object = Json(Json::object{{text.toStdString(), 0}}).dump();
    QCOMPARE(object, ("{" + expected + ": 0}").toStdString());
    // A real parser reads the text back as this program decodes it.
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(QByteArray::fromStdString(object), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(parsed.object().keys(), QStringList{QString::fromUtf8(text.constData(), text.size())});
  }

  void numbersMatchPrintf() {
    // The C library's %.17g is the reference, over values of every magnitude.
    QRandomGenerator rng(20240611);
    std::vector<double> values;
    for (int i = 0; i < 200000; ++i) {
      const quint64 bits = rng.generate64();
      double value;
      memcpy(&value, &bits, sizeof(value));
      if (std::isfinite(value))
        values.push_back(value);
    }
    dumpedAsPrintfDoes(values);
  }

  // Values from 1 up to 2^52 take a path of their own: clock readings, whole numbers, every
  // count of whole digits and each side of a power of ten, halfway cases and values that round up
  // to one more digit.
  void numbersFromOneTo2Pow52MatchPrintf() {
    QRandomGenerator rng(20261210);
    std::vector<double> values = {1.5,
                                  9.9999999999999999,
                                  99999999999999.99,
                                  1796926335.6281838,
                                  0.5 + 1,
                                  std::nextafter(2.0, 1.0),
                                  std::nextafter(9007199254740992.0, 0.0),
                                  4503599627370495.5,
                                  std::nextafter(4503599627370496.0, 0.0),
                                  4503599627370496.0,
                                  1000000000.0000001,
                                  1.0000000000000002,
                                  1.0,
                                  1700000000.0};
    for (double power = 1; power < 1e17; power *= 10) {
      values.push_back(power);
      values.push_back(std::nextafter(power, 0.0));
      values.push_back(std::nextafter(power, 1e300));
    }
    for (int i = 0; i < 200000; ++i) {
      const int whole_bits = 1 + int(rng.bounded(53));
      values.push_back(std::ldexp(1.0 + rng.generateDouble(), whole_bits - 1));
      values.push_back(std::floor(values.back()));
      values.push_back(1.7e9 + rng.bounded(1e8));  // a clock reading of these years
    }
    dumpedAsPrintfDoes(values);
  }

  void logRecord() {
    const Json ctx = Json::object{
        {"version", "0.9.8"}, {"dirty", true},      {"device", "zorv"},
        {"branch", "main"},   {"commit", "abc123"}, {"dongle_id", "0123456789abcdef"},
    };
    const Json record = Json::object{
        {"ctx", ctx},
        {"levelnum", 40},
        {"filename", "common/params.cc"},
        {"lineno", 52},
        {"funcname", "FileLock"},
        {"created", 1700000000.25},
        {"msg", "Failed to lock file /data/params/.lock, errno=21"},
    };
    QCOMPARE(record.dump(),
             std::string("{\"created\": 1700000000.25, \"ctx\": {\"branch\": \"main\", \"commit\": \"abc123\", "
                         "\"device\": \"zorv\", \"dirty\": true, \"dongle_id\": \"0123456789abcdef\", \"version\": "
                         "\"0.9.8\"}, \"filename\": \"common/params.cc\", \"funcname\": \"FileLock\", \"levelnum\": "
                         "40, \"lineno\": 52, \"msg\": \"Failed to lock file /data/params/.lock, errno=21\"}"));
  }
};

QTEST_GUILESS_MAIN(TestJson)
#include "test_json.moc"
