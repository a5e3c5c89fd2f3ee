#pragma once

#include <openssl/rsa.h>

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QTimer>

namespace VornaApi {

// The device's key, loaded once and kept for the life of the process; owned here.
RSA *get_rsa_private_key();
// PKCS#1 v1.5 signature of a SHA-256 digest; empty without a usable key.
QByteArray rsa_sign(const QByteArray &data);
// Compact RS256 token; the signature part is empty without a usable key.
QString create_jwt(const QJsonObject &payloads = {}, int expiry = 3600);

}  // namespace VornaApi

// One GET or DELETE at a time, authorised and bounded by a time-out.
class HttpRequest : public QObject {
  Q_OBJECT

public:
  enum Method { GET = 0, DELETE = 1 };

  explicit HttpRequest(QObject *parent, bool create_jwt = true, int timeout = 20000);
  void sendRequest(const QString &requestURL, const Method method = Method::GET);
  bool active() const;
  bool timeout() const;
  static QNetworkAccessManager *nam();

signals:
  void requestDone(const QString &response, bool success, QNetworkReply::NetworkError error);

protected:
  QNetworkReply *reply = nullptr;

private:
  QString authorizationToken() const;

  QTimer *networkTimer = nullptr;
  bool create_jwt;

private slots:
  void requestTimeout();
  void requestFinished();
};
