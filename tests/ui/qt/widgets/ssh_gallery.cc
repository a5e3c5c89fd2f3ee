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
#include "tests/ui/qt/widgets/gallery.h"
#include "tools/screen_driver/driver.h"
#include "ui/qt/widgets/input.h"
#include "ui/qt/widgets/ssh_keys.h"

namespace {

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

// The row's button, not its title (also a push button), once the row shows.
void tapButton(SshControl *row) {
  if (screen::waitForText(row->text())) {
    screen::tapText(row, row->text());
  }
}

// Types `name` into the user-name prompt once it is open; `then` runs after the prompt is gone.
void answerPrompt(const QString &name, std::function<void()> then) {
  QTimer::singleShot(200, qApp, [name, then]() {
    if (QDialog *d = gallery::openDialog()) {
      screen::type(name, d);
      screen::tapText(d, ENTER_KEY);
    }
    QTimer::singleShot(100, qApp, then);
  });
}

QMap<QString, std::function<void(QWidget *)>> scenes() {
  return {
      {QStringLiteral("add"),
       [](QWidget *screen) {
         addRows(screen)->showDescription();
         gallery::announceReady();
       }},
      {QStringLiteral("remove"),
       [](QWidget *screen) {
         Params params;
         params.putBool("SshEnabled", true);
         params.put("GithubUsername", "octo-user");
         params.put("GithubSshKeys", "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5 octo-user\n");
         addRows(screen);
         gallery::announceReady();
       }},
      {QStringLiteral("prompt"),
       [](QWidget *screen) {
         SshControl *keys = addRows(screen);
         QTimer::singleShot(200, qApp, []() {
           if (QDialog *d = gallery::openDialog()) {
             screen::type(QStringLiteral("octo-user"), d);
           }
           gallery::announceReady();
         });
         tapButton(keys);
       }},
      {QStringLiteral("loading"),
       [](QWidget *screen) {
         // Takes the connection and never answers.
         auto *silent = new QTcpServer(screen);
         silent->listen(QHostAddress::LocalHost);
         qputenv("SSH_KEYS_BASE_URL", QStringLiteral("http://127.0.0.1:%1/").arg(silent->serverPort()).toUtf8());
         SshControl *keys = addRows(screen);
         answerPrompt(QStringLiteral("octo-user"), gallery::announceReady);
         tapButton(keys);
       }},
      {QStringLiteral("alert"),
       [](QWidget *screen) {
         QTcpServer probe;
         probe.listen(QHostAddress::LocalHost);
         qputenv("SSH_KEYS_BASE_URL", QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort()).toUtf8());
         probe.close();
         SshControl *keys = addRows(screen);
         answerPrompt(QStringLiteral("octo-user"), []() { QTimer::singleShot(300, qApp, gallery::announceReady); });
         tapButton(keys);
       }},
  };
}

}  // namespace

int main(int argc, char *argv[]) {
  return gallery::run(argc, argv, scenes);
}
