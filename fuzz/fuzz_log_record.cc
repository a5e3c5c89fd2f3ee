// Any bytes in any text of a log record: what the collector receives is JSON that a real parser
// reads back to the same texts, with invalid UTF-8 as this program decodes it (U+FFFD for each
// byte that is not part of a well-formed character, as QString::fromUtf8 gives).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <memory>

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include "common/json.h"
#include "common/swaglog.h"
#include "fuzz/fuzz_support.h"
#include "tests/fixtures/log_collector.h"

namespace {

std::unique_ptr<LogCollector> collector;

QString decoded(const std::string &bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<int>(bytes.size()));
}

QJsonObject parsedObject(const std::string &json) {
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
  fuzz::check(error.error == QJsonParseError::NoError && doc.isObject(),
              QStringLiteral("a JSON object: ") + error.errorString() + QStringLiteral(" in ") + decoded(json));
  return doc.object();
}

// A member name and value as the record's context carries them.
void checkObjectMember(FuzzedDataProvider &input) {
  const std::string key = input.ConsumeRandomLengthString(64);
  const std::string value = input.ConsumeRandomLengthString(256);
  const QJsonObject object = parsedObject(Json(Json::object{{key, value}}).dump());
  fuzz::check(object.keys() == QStringList{decoded(key)}, QStringLiteral("member name"));
  fuzz::check(object.value(decoded(key)) == decoded(value), QStringLiteral("member value"));
}

// A record sent through the sink, as the collector receives it. The sink takes C strings, so each
// text ends at its first NUL byte.
void checkSentRecord(FuzzedDataProvider &input) {
  // Below the print level: nothing is printed.
  const int level = input.PickValueInArray({CLOUDLOG_DEBUG, CLOUDLOG_INFO});
  const int line = input.ConsumeIntegral<int>();
  const std::string file = input.ConsumeRandomLengthString(128).c_str();
  const std::string func = input.ConsumeRandomLengthString(128).c_str();
  const std::string msg = input.ConsumeRandomLengthString(4096).c_str();
  if (msg.empty()) {
    return;  // an empty message sends nothing
  }
  cloudlog_e(level, file.c_str(), line, func.c_str(), "%s", msg.c_str());

  const std::optional<std::string> wire = collector->receive(5000);
  fuzz::check(wire.has_value() && !wire->empty(), QStringLiteral("record received"));
  fuzz::check((*wire)[0] == static_cast<char>(level), QStringLiteral("level byte"));
  const QJsonObject record = parsedObject(wire->substr(1));
  fuzz::check(record.keys() == QStringList({"created", "ctx", "filename", "funcname", "levelnum", "lineno", "msg"}),
              QStringLiteral("record members"));
  fuzz::check(record.value("filename") == decoded(file), QStringLiteral("filename"));
  fuzz::check(record.value("funcname") == decoded(func), QStringLiteral("funcname"));
  fuzz::check(record.value("msg") == decoded(msg), QStringLiteral("msg"));
  fuzz::check(record.value("levelnum") == level && record.value("lineno") == line, QStringLiteral("numbers"));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::keepOffTheDevice();
  // The collector binds the endpoint of this process alone before the sink connects to it.
  const std::string prefix = LogCollector::unique_prefix("fuzz-log-record");
  setenv("HALCYRA_PREFIX", prefix.c_str(), 1);
  unsetenv("LOGPRINT");
  collector = std::make_unique<LogCollector>(prefix);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider input(data, size);
  checkObjectMember(input);
  checkSentRecord(input);
  return 0;
}
