#include "ui/qt/util.h"

#include "common/params.h"

namespace {

QString read_param(const char *key) {
  const auto params = try_open_params();
  return params ? QString::fromStdString(params->get(key)) : QString();
}

}  // namespace

QString getVersion() {
  static const QString version = read_param("Version");
  return version;
}

QString getUserAgent() {
  return QStringLiteral("halcyra-") + getVersion();
}

std::optional<QString> getDongleId() {
  const QString id = read_param("DongleId");
  if (id.isEmpty() || id == QStringLiteral("UnregisteredDevice"))
    return std::nullopt;
  return id;
}
