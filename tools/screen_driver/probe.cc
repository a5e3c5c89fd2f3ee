#include "tools/screen_driver/probe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLocalSocket>
#include <QMouseEvent>
#include <QWidget>

#include "tools/screen_driver/finder.h"

namespace {

QByteArray screenPoint(const QWidget *w, const QPoint &p, const char *suffix = "") {
  const QPoint global = w->mapToGlobal(p);
  return QByteArray("ok ") + QByteArray::number(global.x()) + ' ' + QByteArray::number(global.y()) + suffix + '\n';
}

QByteArray findAnswer(int k, const QString &text) {
  QWidget *w = screen::find(text, k);
  if (w == nullptr) {
    return "no\n";
  }
  screen::bringIntoView(w);
  const std::optional<QPoint> point = screen::tapPoint(w);
  return point ? screenPoint(w, *point) : QByteArray("no\n");
}

QByteArray whereAnswer(int k, const QString &text) {
  const QWidget *w = screen::find(text, k);
  return w != nullptr ? screenPoint(w, w->rect().center()) : QByteArray("no\n");
}

QByteArray keyAnswer(const QString &c) {
  const QWidgetList windows = screen::activeWindows();
  const screen::KeyStep step =
      c.size() == 1 && !windows.isEmpty() ? screen::nextKey(windows.first(), c[0]) : screen::KeyStep();
  const std::optional<QPoint> point = step.key ? screen::tapPoint(step.key) : std::nullopt;
  return point ? screenPoint(step.key, *point, step.types ? " type" : " page") : QByteArray("no\n");
}

}  // namespace

ScreenProbe::ScreenProbe(const QString &socket_path, QObject *parent) : QObject(parent) {
  QCoreApplication::instance()->installEventFilter(this);
  QLocalServer::removeServer(socket_path);
  server.setSocketOptions(QLocalServer::UserAccessOption);
  if (!server.listen(socket_path)) {
    qWarning("screen probe: cannot listen on %s: %s", qPrintable(socket_path), qPrintable(server.errorString()));
    return;
  }
  connect(&server, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket *client = server.nextPendingConnection()) {
      connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      connect(client, &QLocalSocket::readyRead, this, [this, client] { serve(client); });
    }
  });
}

// Counted as the release or the lifted finger reaches the program: the question that follows is
// answered only once the handler of the tap has run, or has opened a dialog and waits in it. A
// finger counts once, as its touch ends at the window: the keys take touches themselves, and
// other widgets get a mouse release made from it.
bool ScreenProbe::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    taps += static_cast<const QMouseEvent *>(event)->source() == Qt::MouseEventNotSynthesized ? 1 : 0;
  } else if (event->type() == QEvent::TouchEnd && watched->isWindowType()) {
    ++taps;
  }
  return QObject::eventFilter(watched, event);
}

void ScreenProbe::serve(QLocalSocket *client) {
  if (!client->canReadLine()) {
    return;
  }
  const QString line = QString::fromUtf8(client->readLine()).chopped(1);
  client->write(answer(line.split(QLatin1Char('\t'))));
  client->disconnectFromServer();
}

QByteArray ScreenProbe::answer(const QStringList &request) const {
  const QString &verb = request.first();
  if (verb == QLatin1String("find") && request.size() == 3) {
    return findAnswer(request[1].toInt(), request[2]);
  }
  if (verb == QLatin1String("where") && request.size() == 3) {
    return whereAnswer(request[1].toInt(), request[2]);
  }
  if (verb == QLatin1String("shown") && request.size() == 2) {
    return screen::find(request[1]) ? "ok\n" : "no\n";
  }
  if (verb == QLatin1String("key") && request.size() == 2) {
    return keyAnswer(request[1]);
  }
  if (verb == QLatin1String("taps") && request.size() == 1) {
    return "ok " + QByteArray::number(taps) + '\n';
  }
  if (verb == QLatin1String("texts") && request.size() == 1) {
    return "ok\n" + screen::shownTexts().join(QLatin1Char('\n')).toUtf8() + '\n';
  }
  return "error: unknown request\n";
}
