#include "ui/qt/display_loss.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include <QCoreApplication>
#include <QThread>
#include <QtGlobal>

namespace display_loss {

namespace {

std::function<void()> &lossCall() {
  static std::function<void()> call;
  return call;
}

QtMessageHandler earlier = nullptr;

// Qt 5.15's words for a connection that broke, just before it ends the process.
bool tellsOfLoss(QtMsgType type, const QString &message) {
  return type == QtWarningMsg &&
         (message.startsWith(QLatin1String("The Wayland connection broke")) ||
          message.startsWith(QLatin1String("The Wayland connection experienced a fatal error")) ||
          message.startsWith(QLatin1String("The X11 connection broke")));
}

// On the program's own thread, once, whichever thread found the loss first.
void takeOver() {
  static std::atomic_bool taken{false};
  if (taken.exchange(true)) {
    return;
  }
  if (lossCall()) {
    lossCall()();
  }
  // As Qt ends it, but with what was printed and logged sent on.
  std::exit(1);
}

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message) {
  earlier(type, context, message);
  QCoreApplication *app = QCoreApplication::instance();
  if (!tellsOfLoss(type, message) || app == nullptr) {
    return;
  }
  if (QThread::currentThread() == app->thread()) {
    takeOver();
    return;
  }
  // One of Qt's own threads (its Wayland event threads) found it: the program's thread takes over,
  // and this one must not end the process first.
  QMetaObject::invokeMethod(app, &takeOver, Qt::QueuedConnection);
  for (;;) {
    pause();
  }
}

}  // namespace

void onLoss(std::function<void()> call) {
  if (earlier == nullptr) {
    earlier = qInstallMessageHandler(handleMessage);
  }
  lossCall() = std::move(call);
}

}  // namespace display_loss
