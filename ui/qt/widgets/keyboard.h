#pragma once

#include <QAbstractButton>
#include <QFrame>
#include <QMap>
#include <QPushButton>
#include <QStackedLayout>
#include <QString>
#include <QStringList>
#include <QVector>

extern const QString BACKSPACE_KEY;
extern const QString ENTER_KEY;
extern const QMap<QString, int> KEY_STRETCH;
extern const QStringList CONTROL_BUTTONS;

// One key. A finger down and up act as a left-button press and release, so a
// touch that ends off the key is no tap.
class KeyButton : public QPushButton {
  Q_OBJECT

public:
  explicit KeyButton(const QString &text, QWidget *parent = nullptr);
  bool event(QEvent *event) override;
};

// One page of keys; every tap goes to the parent's handleButton slot.
class KeyboardLayout : public QWidget {
  Q_OBJECT

public:
  KeyboardLayout(QWidget *parent, const QVector<QStringList> &layout);
};

// Full-width on-screen keyboard with four pages. It never edits text itself;
// it reports keys through its signals.
class Keyboard : public QFrame {
  Q_OBJECT

public:
  explicit Keyboard(QWidget *parent = nullptr);

signals:
  void emitKey(const QString &s);
  void emitBackspace();
  void emitEnter();

private slots:
  void handleButton(QAbstractButton *m_button);

private:
  QStackedLayout *main_layout;
};
