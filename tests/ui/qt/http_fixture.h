#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// The loopback HTTP server of http_server.py, run as a child process for one test.
class HttpFixture {
public:
  HttpFixture() = default;
  ~HttpFixture();
  Q_DISABLE_COPY(HttpFixture)

  // keys: user name -> body served at /<name>.keys. False when the server did not come up.
  bool start(const QJsonObject &keys = {});
  QString url(const QString &path) const;
  // Requests received so far, oldest first: {"method", "path", "headers": {...}, "client_port"}.
  QList<QJsonObject> requests() const;

  // An address on loopback where nothing listens.
  static QString refusedUrl();

private:
  QTemporaryDir dir;
  QProcess server;
  quint16 port = 0;
};
