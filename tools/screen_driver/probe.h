#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QStringList>

class QLocalSocket;

// Answers questions about the screens of the program it runs in, one request per connection on a
// local socket, so that a script can tap them from outside (scripts/screenshots/drive.sh). A
// request is one line of fields separated by tabs; the answer starts with "ok" or "no":
//   find K TEXT   "ok X Y": a screen point that taps the k-th widget showing TEXT, brought into view
//   where K TEXT  "ok X Y": the screen point of that widget's centre where it is now, in view or not
//   shown TEXT    "ok" when a widget shows TEXT where a user can act
//   key C         "ok X Y type" for the key of character C, "ok X Y page" for a page key towards it
//   texts         "ok" and every text shown, one per line
//   taps          "ok N": how many taps the program has taken so far, so that a script can wait
//                 until its tap has been handled before it asks the next question
// A request it does not know is answered "error".
class ScreenProbe : public QObject {
  Q_OBJECT

public:
  explicit ScreenProbe(const QString &socket_path, QObject *parent = nullptr);

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void serve(QLocalSocket *client);
  QByteArray answer(const QStringList &request) const;

  QLocalServer server;
  quint64 taps = 0;
};
