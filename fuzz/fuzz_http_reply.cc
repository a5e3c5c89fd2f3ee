// Any reply from a real server on loopback, and any stored access token: the request goes out
// with well-formed headers (the token never adds one of its own), ends with exactly one
// requestDone within its time-out, and leaves the request free to be sent again.
#include <fuzzer/FuzzedDataProvider.h>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include "fuzz/fuzz_support.h"
#include "ui/qt/api.h"

namespace {

constexpr int kRequestTimeoutMs = 3000;

// Answers every connection with the same bytes once the request's head is in, then hangs up.
class ReplyServer : public QObject {
public:
  ReplyServer() {
    server.listen(QHostAddress::LocalHost);
    connect(&server, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket *socket = server.nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      }
    });
  }

  QString url() const { return QStringLiteral("http://127.0.0.1:%1/user.keys").arg(server.serverPort()); }

  QByteArray reply;
  QByteArray head;  // of the last request, each line ending in "\r\n"

private:
  void answer(QTcpSocket *socket) {
    QByteArray &received = pending[socket];
    received += socket->readAll();
    const int end = received.indexOf("\r\n\r\n");
    if (end < 0) {
      return;
    }
    head = received.left(end + 2);
    pending.remove(socket);
    socket->write(reply);
    socket->disconnectFromHost();
  }

  QTcpServer server;
  QHash<QTcpSocket *, QByteArray> pending;
};

ReplyServer *server = nullptr;
QString authFile;

void storeToken(const std::string &token) {
  QFile file(authFile);
  fuzz::check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), QStringLiteral("token file"));
  const QJsonObject auth{{QStringLiteral("access_token"), QString::fromStdString(token)}};
  file.write(QJsonDocument(auth).toJson());
}

// The head: the request line, then one "Name: value" line per header, each name once.
void checkHead(const QByteArray &head, const QString &token) {
  QList<QByteArray> lines = head.split('\n');
  lines.removeLast();  // after the last line's end
  fuzz::check(lines.value(0) == "GET /user.keys HTTP/1.1\r", QStringLiteral("request line: ") + lines.value(0));
  const QRegularExpression header(QStringLiteral("^([A-Za-z-]+): ([^\\x00-\\x1f\\x7f]*)\\r$"));
  QMap<QString, QString> headers;
  for (const QByteArray &line : lines.mid(1)) {
    const QRegularExpressionMatch m = header.match(QString::fromLatin1(line));
    fuzz::check(m.hasMatch(), QStringLiteral("header line: ") + QString::fromLatin1(line.toPercentEncoding()));
    fuzz::check(!headers.contains(m.captured(1)), QStringLiteral("one ") + m.captured(1));
    headers[m.captured(1)] = m.captured(2);
  }
  const QStringList known = {"Host", "User-Agent", "Authorization", "Connection", "Accept-Encoding", "Accept-Language"};
  for (const QString &name : headers.keys()) {
    fuzz::check(known.contains(name), QStringLiteral("unexpected header ") + name);
  }
  if (headers.contains(QStringLiteral("Authorization"))) {
    // The line was read as Latin-1: back to its bytes.
    fuzz::check(headers.value(QStringLiteral("Authorization")).toLatin1() == "JWT " + token.toUtf8(),
                QStringLiteral("authorization"));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::application();
  static QTemporaryDir home;
  QDir(home.path()).mkpath(QStringLiteral(".vorna"));
  qputenv("HOME", home.path().toUtf8());
  authFile = home.filePath(QStringLiteral(".vorna/auth.json"));
  for (const char *proxy : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
    qunsetenv(proxy);
  }
  server = new ReplyServer;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string token = input.ConsumeRandomLengthString(128);
  const std::string reply = input.ConsumeRemainingBytesAsString();
  storeToken(token);
  server->reply = QByteArray::fromStdString(reply);
  server->head.clear();

  HttpRequest request(nullptr, false, kRequestTimeoutMs);
  int done = 0;
  QEventLoop loop;
  QObject::connect(&request, &HttpRequest::requestDone, &loop, [&] {
    ++done;
    loop.quit();
  });
  QTimer::singleShot(2 * kRequestTimeoutMs, &loop, &QEventLoop::quit);
  request.sendRequest(server->url(), HttpRequest::GET);
  loop.exec();
  // A second requestDone would be queued by now; the finished reply is deleted here, as the
  // program's event loop would.
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  fuzz::check(done == 1, QStringLiteral("one requestDone, got %1").arg(done));
  fuzz::check(!request.active(), QStringLiteral("idle again"));
  if (!server->head.isEmpty()) {
    checkHead(server->head, QString::fromStdString(token));
  }
  return 0;
}
