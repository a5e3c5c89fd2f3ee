// Shows the SSH rows in one state full-screen and prints "ready" once it is on screen, for
// scripts/screenshots/ssh_keys.sh. Writes the parameter store, so it runs in the device root.
// `--list` prints the scenes.
#include <QApplication>
#include <QMap>
#include <QPalette>
#include <QPushButton>
#include <QTcpServer>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <functional>

#include "common/params.h"
#include "ui/qt/qt_window.h"
#include "ui/qt/widgets/input.h"
#include "ui/qt/widgets/ssh_keys.h"

namespace {

void announceReady() {
  // Leaves the window system time to put the last frame on screen.
  QTimer::singleShot(400, qApp, []() {
    std::printf("ready\n");
    std::fflush(stdout);
  });
}

QDialog *openDialog() {
  for (QWidget *w : QApplication::topLevelWidgets()) {
    if (auto *d = qobject_cast<QDialog *>(w); d != nullptr && d->isVisible()) {
      return d;
    }
  }
  return nullptr;
}

SshControl *addRows(QWidget *screen) {
  auto *layout = new QVBoxLayout(screen);
  layout->setContentsMargins(50, 50, 50, 50);
  auto *list = new ListWidget(screen);
  list->addItem(new SshToggle);
  auto *keys = new SshControl;
  list->addItem(keys);
  layout->addWidget(list);
  layout->addStretch(1);
  return keys;
}

// The row's button, not its title (also a push button).
void clickButton(SshControl *row) {
  for (QPushButton *button : row->findChildren<QPushButton *>()) {
    if (button->text() == row->text()) {
      button->click();
      return;
    }
  }
}

// Types `name` into the user-name prompt once it is open; `then` runs after the prompt is gone.
void answerPrompt(const QString &name, std::function<void()> then) {
  QTimer::singleShot(200, qApp, [name, then]() {
    if (QDialog *d = openDialog()) {
      d->findChild<QLineEdit *>()->setText(name);
      d->accept();
    }
    QTimer::singleShot(100, qApp, then);
  });
}

QMap<QString, std::function<void(QWidget *)>> scenes() {
  return {
      {QStringLiteral("add"),
       [](QWidget *screen) {
         addRows(screen)->showDescription();
         announceReady();
       }},
      {QStringLiteral("remove"),
       [](QWidget *screen) {
         Params params;
         params.putBool("SshEnabled", true);
         params.put("GithubUsername", "octo-user");
         params.put("GithubSshKeys", "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5 octo-user\n");
         addRows(screen);
         announceReady();
       }},
      {QStringLiteral("prompt"),
       [](QWidget *screen) {
         SshControl *keys = addRows(screen);
         QTimer::singleShot(200, qApp, []() {
           if (QDialog *d = openDialog()) {
             d->findChild<QLineEdit *>()->setText(QStringLiteral("octo-user"));
           }
           announceReady();
         });
         clickButton(keys);
       }},
      {QStringLiteral("loading"),
       [](QWidget *screen) {
         // Takes the connection and never answers.
         auto *silent = new QTcpServer(screen);
         silent->listen(QHostAddress::LocalHost);
         qputenv("SSH_KEYS_BASE_URL", QStringLiteral("http://127.0.0.1:%1/").arg(silent->serverPort()).toUtf8());
         SshControl *keys = addRows(screen);
         answerPrompt(QStringLiteral("octo-user"), announceReady);
         clickButton(keys);
       }},
      {QStringLiteral("alert"),
       [](QWidget *screen) {
         QTcpServer probe;
         probe.listen(QHostAddress::LocalHost);
         qputenv("SSH_KEYS_BASE_URL", QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort()).toUtf8());
         probe.close();
         SshControl *keys = addRows(screen);
         answerPrompt(QStringLiteral("octo-user"), []() { QTimer::singleShot(300, qApp, announceReady); });
         clickButton(keys);
       }},
  };
}

}  // namespace

int main(int argc, char *argv[]) {
  QApplication app(argc, argv);
  const QString scene = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
  if (scene == QStringLiteral("--list") || !scenes().contains(scene)) {
    for (const QString &name : scenes().keys()) {
      std::printf("%s\n", qPrintable(name));
    }
    return scene == QStringLiteral("--list") ? 0 : 2;
  }

  // The screens of the program are white on black; the rows take their colours from it.
  QPalette dark = app.palette();
  dark.setColor(QPalette::Window, Qt::black);
  dark.setColor(QPalette::WindowText, Qt::white);
  dark.setColor(QPalette::ButtonText, Qt::white);
  QApplication::setPalette(dark);
  QApplication::setFont(QFont(QStringLiteral("Inter")));

  QWidget screen;
  setMainWindow(&screen);
  QTimer::singleShot(0, &screen, [&screen, scene]() { scenes().value(scene)(&screen); });
  return app.exec();
}
