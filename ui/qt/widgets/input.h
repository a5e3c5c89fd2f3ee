#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QVBoxLayout>

#include "ui/qt/widgets/keyboard.h"

// Full-screen modal dialog that is cancelled as soon as the screen that opened it is hidden.
class DialogBase : public QDialog {
  Q_OBJECT

protected:
  explicit DialogBase(QWidget *parent);
  bool eventFilter(QObject *o, QEvent *e) override;

public slots:
  int exec() override;
};

// Text entry with the on-screen keyboard.
class InputDialog : public DialogBase {
  Q_OBJECT

public:
  InputDialog(const QString &title, QWidget *parent, const QString &subtitle = QString(), bool secret = false);
  // A null string when cancelled; a non-null one, possibly empty, when accepted.
  static QString getText(const QString &title, QWidget *parent, const QString &subtitle = QString(),
                         bool secret = false, int minLength = -1, const QString &defaultText = QString());

signals:
  void cancel();
  void emitText(const QString &text);

private slots:
  void handleEnter();

private:
  void addHeader(const QString &title, const QString &subtitle);
  void addTextBox(bool secret);
  void addKeyboard();
  void showSecret(bool masked);

  int minLength = -1;
  QLineEdit *line = nullptr;
  Keyboard *k = nullptr;
  QLabel *label = nullptr;
  QLabel *sublabel = nullptr;
  QVBoxLayout *main_layout = nullptr;
  QPushButton *eye_btn = nullptr;
};

// A question with a confirm and a cancel button, or an alert with "Ok" only.
class ConfirmationDialog : public DialogBase {
  Q_OBJECT

public:
  ConfirmationDialog(const QString &prompt_text, const QString &confirm_text, const QString &cancel_text,
                     QWidget *parent);
  static bool alert(const QString &prompt_text, QWidget *parent);
  static bool confirm(const QString &prompt_text, const QString &confirm_text, QWidget *parent);
};
