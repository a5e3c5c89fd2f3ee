#include "ui/qt/widgets/keyboard.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QTouchEvent>
#include <QVBoxLayout>

const QString BACKSPACE_KEY = QStringLiteral("⌫");
const QString ENTER_KEY = QStringLiteral("→");
const QMap<QString, int> KEY_STRETCH = {{QStringLiteral("  "), 3}, {ENTER_KEY, 2}};
const QStringList CONTROL_BUTTONS = {QStringLiteral("↑"),
                                     QStringLiteral("↓"),
                                     QStringLiteral("ABC"),
                                     QStringLiteral("#+="),
                                     QStringLiteral("123"),
                                     BACKSPACE_KEY,
                                     ENTER_KEY};

namespace {

enum Page { kLowercase = 0, kUppercase = 1, kNumbers = 2, kSymbols = 3 };

const int kKeyHeight = 155;
const int kSecondRowInset = 90;
const double kKeyMarginH = 10;
const double kKeyMarginV = 7.5;

// "&&" shows a single "&": one ampersand would mark a shortcut letter.
const QVector<QStringList> kLowercaseKeys = {
    {"q", "w", "e", "r", "t", "y", "u", "i", "o", "p"},
    {"a", "s", "d", "f", "g", "h", "j", "k", "l"},
    {"↑", "z", "x", "c", "v", "b", "n", "m", BACKSPACE_KEY},
    {"123", "/", "-", "  ", ".", ENTER_KEY},
};

const QVector<QStringList> kUppercaseKeys = {
    {"Q", "W", "E", "R", "T", "Y", "U", "I", "O", "P"},
    {"A", "S", "D", "F", "G", "H", "J", "K", "L"},
    {"↓", "Z", "X", "C", "V", "B", "N", "M", BACKSPACE_KEY},
    {"123", "  ", ".", ENTER_KEY},
};

const QVector<QStringList> kNumberKeys = {
    {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0"},
    {"-", "/", ":", ";", "(", ")", "$", "&&", "@", "\""},
    {"#+=", ".", ",", "?", "!", "`", BACKSPACE_KEY},
    {"ABC", "  ", ".", ENTER_KEY},
};

const QVector<QStringList> kSymbolKeys = {
    {"[", "]", "{", "}", "#", "%", "^", "*", "+", "="},
    {"_", "\\", "|", "~", "<", ">", "€", "£", "¥", "•"},
    {"123", ".", ",", "?", "!", "'", BACKSPACE_KEY},
    {"ABC", "  ", ".", ENTER_KEY},
};

const char *const kKeyStyle = R"(
  QPushButton {
    font-size: 75px;
    margin-left: %1px;
    margin-right: %1px;
    margin-top: %2px;
    margin-bottom: %2px;
    padding: 0px;
    border-radius: 10px;
    color: #dddddd;
    background-color: #444444;
  }
  QPushButton:pressed {
    background-color: #333333;
  }
)";

const char *const kEnterKeyStyle = R"(
  QPushButton {
    background-color: #465BEA;
  }
  QPushButton:pressed {
    background-color: #444444;
  }
)";

}  // namespace

KeyButton::KeyButton(const QString &text, QWidget *parent) : QPushButton(text, parent) {
  setAttribute(Qt::WA_AcceptTouchEvents);
  // Tapping a key must leave the focus in the text field.
  setFocusPolicy(Qt::NoFocus);
}

bool KeyButton::event(QEvent *event) {
  const bool touchBegin = event->type() == QEvent::TouchBegin;
  if (touchBegin || event->type() == QEvent::TouchEnd) {
    QTouchEvent *touch = static_cast<QTouchEvent *>(event);
    if (!touch->touchPoints().isEmpty()) {
      QMouseEvent mouse(touchBegin ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease,
                        touch->touchPoints().front().pos(), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
      QPushButton::event(&mouse);
      touch->accept();
      if (parentWidget() != nullptr) {
        parentWidget()->update();
      }
      return true;
    }
  }
  return QPushButton::event(event);
}

KeyboardLayout::KeyboardLayout(QWidget *parent, const QVector<QStringList> &layout) : QWidget(parent) {
  QVBoxLayout *main_layout = new QVBoxLayout(this);
  main_layout->setContentsMargins(0, 0, 0, 0);
  main_layout->setSpacing(0);

  QButtonGroup *btn_group = new QButtonGroup(this);
  // The page knows its parent only as a widget, hence the connection by name.
  QObject::connect(btn_group, SIGNAL(buttonClicked(QAbstractButton *)), parent, SLOT(handleButton(QAbstractButton *)));

  for (const QStringList &row : layout) {
    QHBoxLayout *hlayout = new QHBoxLayout;
    hlayout->setSpacing(0);
    const bool secondRow = main_layout->count() == 1;
    if (secondRow) {
      hlayout->addSpacing(kSecondRowInset);
    }
    for (const QString &label : row) {
      KeyButton *btn = new KeyButton(label);
      if (label == BACKSPACE_KEY) {
        btn->setAutoRepeat(true);
      } else if (label == ENTER_KEY) {
        btn->setStyleSheet(QLatin1String(kEnterKeyStyle));
      }
      btn->setFixedHeight(kKeyHeight);
      btn_group->addButton(btn);
      hlayout->addWidget(btn, KEY_STRETCH.value(label, 1));
    }
    if (secondRow) {
      hlayout->addSpacing(kSecondRowInset);
    }
    main_layout->addLayout(hlayout);
  }

  setStyleSheet(QString(QLatin1String(kKeyStyle)).arg(kKeyMarginH).arg(kKeyMarginV));
}

Keyboard::Keyboard(QWidget *parent) : QFrame(parent) {
  main_layout = new QStackedLayout(this);
  main_layout->setContentsMargins(0, 0, 0, 0);
  main_layout->addWidget(new KeyboardLayout(this, kLowercaseKeys));
  main_layout->addWidget(new KeyboardLayout(this, kUppercaseKeys));
  main_layout->addWidget(new KeyboardLayout(this, kNumberKeys));
  main_layout->addWidget(new KeyboardLayout(this, kSymbolKeys));
  main_layout->setCurrentIndex(kLowercase);
}

void Keyboard::handleButton(QAbstractButton *m_button) {
  const QString key = m_button->text();
  if (CONTROL_BUTTONS.contains(key)) {
    if (key == QStringLiteral("↓") || key == QStringLiteral("ABC")) {
      main_layout->setCurrentIndex(kLowercase);
    } else if (key == QStringLiteral("↑")) {
      main_layout->setCurrentIndex(kUppercase);
    } else if (key == QStringLiteral("123")) {
      main_layout->setCurrentIndex(kNumbers);
    } else if (key == QStringLiteral("#+=")) {
      main_layout->setCurrentIndex(kSymbols);
    } else if (key == ENTER_KEY) {
      main_layout->setCurrentIndex(kLowercase);
      emit emitEnter();
    } else if (key == BACKSPACE_KEY) {
      emit emitBackspace();
    }
    return;
  }
  // Shift is one-shot: an upper-case letter brings the lower-case page back.
  if (key >= QStringLiteral("A") && key <= QStringLiteral("Z")) {
    main_layout->setCurrentIndex(kLowercase);
  }
  emit emitKey(key);
}
