#include "tests/ui/qt/http_fixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>

HttpFixture::~HttpFixture() {
  if (server.state() != QProcess::NotRunning) {
    server.kill();
    server.waitForFinished();
  }
}

bool HttpFixture::start(const QJsonObject &keys) {
  const QString keysPath = dir.filePath(QStringLiteral("keys.json"));
  QFile keysFile(keysPath);
  if (!keysFile.open(QIODevice::WriteOnly) || keysFile.write(QJsonDocument(keys).toJson()) < 0) {
    return false;
  }
  keysFile.close();

  server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  server.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral(HTTP_SERVER_SCRIPT), QStringLiteral("--log"),
                dir.filePath(QStringLiteral("requests.log")), QStringLiteral("--keys"), keysPath});
  while (!server.canReadLine()) {
    if (!server.waitForReadyRead(10000)) {
      return false;
    }
  }
  port = server.readLine().trimmed().toUShort();
  return port != 0;
}

QString HttpFixture::url(const QString &path) const {
  return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path);
}

QList<QJsonObject> HttpFixture::requests() const {
  QList<QJsonObject> result;
  QFile log(dir.filePath(QStringLiteral("requests.log")));
  if (log.open(QIODevice::ReadOnly)) {
    while (!log.atEnd()) {
      result << QJsonDocument::fromJson(log.readLine()).object();
    }
  }
  return result;
}

QString HttpFixture::refusedUrl() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost);
  const quint16 freePort = probe.serverPort();
  probe.close();
  return QStringLiteral("http://127.0.0.1:%1/").arg(freePort);
}
