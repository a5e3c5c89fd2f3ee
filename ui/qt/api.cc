#include "ui/qt/api.h"

#include <openssl/objects.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QJsonDocument>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

#include "common/util.h"
#include "ui/qt/util.h"

namespace {

const char *const RSA_KEY_PATH = "/persist/vorna/id_rsa";
constexpr int SHA256_DIGEST_SIZE = 32;

using RsaPtr = std::unique_ptr<RSA, decltype(&RSA_free)>;

RsaPtr &key_cache() {
  static RsaPtr key(nullptr, RSA_free);
  return key;
}

QByteArray base64url(const QByteArray &data) {
  return data.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray json_part(const QJsonObject &object) {
  return base64url(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// A stored token with a line break in it would add headers of its own to every request.
bool fitsInHeader(const QString &value) {
  return std::none_of(value.cbegin(), value.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

}  // namespace

RSA *VornaApi::get_rsa_private_key() {
  RsaPtr &cache = key_cache();
  if (cache) {
    return cache.get();
  }

  std::unique_ptr<FILE, decltype(&fclose)> fp(fopen(RSA_KEY_PATH, "rb"), fclose);
  if (!fp) {
    qDebug("No RSA private key found, please run manager.py or registration.py");
    return nullptr;
  }
  cache.reset(PEM_read_RSAPrivateKey(fp.get(), nullptr, nullptr, nullptr));
  return cache.get();
}

QByteArray VornaApi::rsa_sign(const QByteArray &data) {
  RSA *key = get_rsa_private_key();
  if (!key || data.size() != SHA256_DIGEST_SIZE) {
    return {};
  }

  QByteArray sig(RSA_size(key), Qt::Uninitialized);
  unsigned int sig_len = 0;
  const int ok = RSA_sign(NID_sha256, reinterpret_cast<const unsigned char *>(data.constData()), data.size(),
                          reinterpret_cast<unsigned char *>(sig.data()), &sig_len, key);
  // A key too small for the digest info fails here; a token then goes out unsigned
  // rather than with a signature that no verifier accepts.
  if (ok != 1 || sig_len != static_cast<unsigned int>(sig.size())) {
    return {};
  }
  return sig;
}

QString VornaApi::create_jwt(const QJsonObject &payloads, int expiry) {
  const QJsonObject header = {{QStringLiteral("alg"), QStringLiteral("RS256")}};

  const qint64 now = QDateTime::currentSecsSinceEpoch();
  QJsonObject payload = {
      {QStringLiteral("identity"), getDongleId().value_or(QString())},
      {QStringLiteral("nbf"), now},
      {QStringLiteral("iat"), now},
      {QStringLiteral("exp"), now + expiry},
  };
  for (auto it = payloads.begin(); it != payloads.end(); ++it) {
    payload.insert(it.key(), it.value());
  }

  const QByteArray signing_input = json_part(header) + '.' + json_part(payload);
  const QByteArray digest = QCryptographicHash::hash(signing_input, QCryptographicHash::Sha256);
  return QString::fromLatin1(signing_input + '.' + base64url(rsa_sign(digest)));
}

HttpRequest::HttpRequest(QObject *parent, bool create_jwt, int timeout) : QObject(parent), create_jwt(create_jwt) {
  networkTimer = new QTimer(this);
  networkTimer->setSingleShot(true);
  networkTimer->setInterval(timeout);
  connect(networkTimer, &QTimer::timeout, this, &HttpRequest::requestTimeout);
}

bool HttpRequest::active() const {
  return reply != nullptr;
}

bool HttpRequest::timeout() const {
  return reply && reply->error() == QNetworkReply::OperationCanceledError;
}

QNetworkAccessManager *HttpRequest::nam() {
  // Guarded so a second application object in the same process gets a fresh manager.
  static QPointer<QNetworkAccessManager> manager;
  if (!manager) {
    manager = new QNetworkAccessManager(QCoreApplication::instance());
  }
  return manager;
}

QString HttpRequest::authorizationToken() const {
  if (create_jwt) {
    return VornaApi::create_jwt({}, 3600);
  }
  const std::string path = util::getenv("HOME") + "/.vorna/auth.json";
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(util::read_file(path)));
  const QString token = doc.object().value(QStringLiteral("access_token")).toString();
  return fitsInHeader(token) ? token : QString();
}

void HttpRequest::sendRequest(const QString &requestURL, const Method method) {
  if (active()) {
    qDebug("HttpRequest is active");
    return;
  }

  const QString token = authorizationToken();
  QNetworkRequest request(QUrl(requestURL, QUrl::TolerantMode));
  request.setRawHeader("User-Agent", getUserAgent().toUtf8());
  if (!token.isEmpty()) {
    request.setRawHeader("Authorization", ("JWT " + token).toUtf8());
  }

  reply = method == Method::GET ? nam()->get(request) : nam()->deleteResource(request);
  networkTimer->start();
  connect(reply, &QNetworkReply::finished, this, &HttpRequest::requestFinished);
}

void HttpRequest::requestTimeout() {
  reply->abort();
}

void HttpRequest::requestFinished() {
  networkTimer->stop();

  const QNetworkReply::NetworkError error = reply->error();
  if (error == QNetworkReply::NoError) {
    const QByteArray body = reply->readAll();
    const int end = body.indexOf('\0');
    emit requestDone(QString::fromUtf8(end < 0 ? body : body.left(end)), true, error);
  } else {
    QString text;
    if (error == QNetworkReply::OperationCanceledError) {
      // The connection that never answered must not be reused by the next request.
      nam()->clearAccessCache();
      nam()->clearConnectionCache();
      text = QStringLiteral("Request timed out");
    } else {
      text = reply->errorString();
    }
    emit requestDone(text, false, error);
  }

  reply->deleteLater();
  reply = nullptr;
}
