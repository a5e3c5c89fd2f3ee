// Prints one token made in a fresh process, so each test case starts with an empty key cache.
// Usage: jwt_print [payload-json [expiry]]
#include <cstdio>

#include <QCoreApplication>
#include <QJsonDocument>

#include "ui/qt/api.h"

int main(int argc, char *argv[]) {
  QCoreApplication app(argc, argv);
  const QJsonObject payloads = argc > 1 ? QJsonDocument::fromJson(argv[1]).object() : QJsonObject();
  const int expiry = argc > 2 ? QByteArray(argv[2]).toInt() : 3600;
  printf("%s\n", qPrintable(VornaApi::create_jwt(payloads, expiry)));
  return 0;
}
