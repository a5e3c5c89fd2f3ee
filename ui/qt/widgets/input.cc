#include "ui/qt/widgets/input.h"

#include <QEvent>
#include <QHBoxLayout>

#include "ui/qt/qt_window.h"
#include "ui/qt/util.h"
#include "ui/qt/widgets/button_style.h"

namespace {

const char *const kDialogStyle = R"(
  * {
    outline: none;
    color: white;
    font-family: Inter;
  }
  DialogBase {
    background-color: black;
  }
)";

const char *const kCancelButtonStyle = R"(
  QPushButton {
    font-size: 48px;
    border-radius: 10px;
    color: #E4E4E4;
    background-color: #333333;
  }
  QPushButton:pressed {
    background-color: #444444;
  }
)";

const char *const kTextBoxStyle = R"(
  #textbox {
    margin-left: 50px;
    margin-right: 50px;
    border-radius: 0;
    border-bottom: 3px solid #BDBDBD;
  }
  * {
    border: none;
    font-size: 80px;
    font-weight: light;
    background-color: transparent;
  }
)";

const char *const kConfirmPanelStyle = R"(
  QFrame {
    background-color: #1B1B1B;
    color: #C9C9C9;
  }
)";

}  // namespace

DialogBase::DialogBase(QWidget *parent) : QDialog(parent) {
  Q_ASSERT(parent != nullptr);
  parent->installEventFilter(this);
  setStyleSheet(QLatin1String(kDialogStyle) + largeButtonStyle({QStringLiteral("QPushButton")}));
}

bool DialogBase::eventFilter(QObject *o, QEvent *e) {
  if (o == parent() && e->type() == QEvent::Hide) {
    reject();
  }
  return QDialog::eventFilter(o, e);
}

int DialogBase::exec() {
  // Modality must be known before the placement shows the window, or the window
  // is shown as an ordinary one and other windows keep taking input.
  setWindowModality(Qt::ApplicationModal);
  setMainWindow(this);
  return QDialog::exec();
}

InputDialog::InputDialog(const QString &title, QWidget *parent, const QString &subtitle, bool secret)
    : DialogBase(parent) {
  main_layout = new QVBoxLayout(this);
  main_layout->setContentsMargins(50, 55, 50, 50);
  main_layout->setSpacing(0);

  addHeader(title, subtitle);
  main_layout->addStretch(2);
  addTextBox(secret);
  main_layout->addSpacing(25);
  addKeyboard();
}

void InputDialog::addHeader(const QString &title, const QString &subtitle) {
  QHBoxLayout *header_layout = new QHBoxLayout;
  QVBoxLayout *vlayout = new QVBoxLayout;
  header_layout->addLayout(vlayout);

  // Titles and prompts carry network names, which any access point may choose: never markup.
  label = new QLabel(title, this);
  label->setTextFormat(Qt::PlainText);
  label->setStyleSheet(QStringLiteral("font-size: 90px; font-weight: bold;"));
  vlayout->addWidget(label, 1, Qt::AlignTop | Qt::AlignLeft);

  if (!subtitle.isEmpty()) {
    sublabel = new QLabel(subtitle, this);
    sublabel->setTextFormat(Qt::PlainText);
    sublabel->setStyleSheet(QStringLiteral("font-size: 55px; font-weight: light; color: #BDBDBD;"));
    vlayout->addWidget(sublabel, 1, Qt::AlignTop | Qt::AlignLeft);
  }

  QPushButton *cancel_btn = new QPushButton(tr("Cancel"), this);
  cancel_btn->setFixedSize(386, 125);
  cancel_btn->setStyleSheet(QLatin1String(kCancelButtonStyle));
  header_layout->addWidget(cancel_btn, 0, Qt::AlignRight);
  connect(cancel_btn, &QPushButton::clicked, this, &InputDialog::reject);
  connect(cancel_btn, &QPushButton::clicked, this, &InputDialog::cancel);

  main_layout->addLayout(header_layout);
}

void InputDialog::addTextBox(bool secret) {
  QWidget *textbox_widget = new QWidget(this);
  textbox_widget->setObjectName(QStringLiteral("textbox"));
  textbox_widget->setStyleSheet(QLatin1String(kTextBoxStyle));
  QHBoxLayout *textbox_layout = new QHBoxLayout(textbox_widget);
  textbox_layout->setContentsMargins(50, 0, 50, 0);

  // Made without a parent: a field born under a styled parent keeps the inherited
  // style hints and would ignore its own password character.
  line = new QLineEdit;
  line->setStyleSheet(QStringLiteral("lineedit-password-character: 8226; lineedit-password-mask-delay: 1500;"));
  textbox_layout->addWidget(line, 1);

  if (secret) {
    eye_btn = new QPushButton(textbox_widget);
    eye_btn->setCheckable(true);
    eye_btn->setFixedSize(150, 120);
    connect(eye_btn, &QPushButton::toggled, this, &InputDialog::showSecret);
    // Runs the rule both ways so the icon is set; the dialog opens readable.
    eye_btn->toggle();
    eye_btn->setChecked(false);
    textbox_layout->addWidget(eye_btn);
  }

  main_layout->addWidget(textbox_widget, 0, Qt::AlignBottom);
}

void InputDialog::addKeyboard() {
  k = new Keyboard(this);
  connect(k, &Keyboard::emitEnter, this, &InputDialog::handleEnter);
  connect(k, &Keyboard::emitBackspace, this, [this]() { line->backspace(); });
  // The space bar sends two spaces and the ampersand key "&&": one character is typed.
  connect(k, &Keyboard::emitKey, this, [this](const QString &key) { line->insert(key.left(1)); });
  main_layout->addWidget(k, 2, Qt::AlignBottom);
}

void InputDialog::showSecret(bool masked) {
  if (masked) {
    eye_btn->setIcon(QPixmap(ASSET_PATH + QStringLiteral("img_eye_closed.svg")));
    eye_btn->setIconSize(QSize(81, 54));
  } else {
    eye_btn->setIcon(QPixmap(ASSET_PATH + QStringLiteral("img_eye_open.svg")));
    eye_btn->setIconSize(QSize(81, 44));
  }
  line->setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
}

void InputDialog::handleEnter() {
  if (line->text().length() < minLength) {
    label->setText(tr("Need at least %n character(s)!", "", minLength));
    return;
  }
  accept();
  emit emitText(line->text());
}

QString InputDialog::getText(const QString &title, QWidget *parent, const QString &subtitle, bool secret, int minLength,
                             const QString &defaultText) {
  InputDialog d(title, parent, subtitle, secret);
  d.line->setText(defaultText);
  d.minLength = minLength;
  if (d.exec() != QDialog::Accepted) {
    return QString();
  }
  const QString text = d.line->text();
  // Callers tell an accepted empty entry from a cancel by isNull().
  return text.isNull() ? QString::fromLatin1("") : text;
}

ConfirmationDialog::ConfirmationDialog(const QString &prompt_text, const QString &confirm_text,
                                       const QString &cancel_text, QWidget *parent)
    : DialogBase(parent) {
  QFrame *container = new QFrame(this);
  container->setStyleSheet(QLatin1String(kConfirmPanelStyle) + actionButtonStyle({QStringLiteral("#confirm_btn")}));
  QVBoxLayout *panel_layout = new QVBoxLayout(container);
  panel_layout->setContentsMargins(32, 120, 32, 32);

  QLabel *prompt = new QLabel(prompt_text, this);
  prompt->setTextFormat(Qt::PlainText);
  prompt->setWordWrap(true);
  prompt->setAlignment(Qt::AlignHCenter);
  prompt->setStyleSheet(QStringLiteral("font-size: 70px; font-weight: bold;") + QStringLiteral(" margin: 45px;"));
  panel_layout->addWidget(prompt, 1, Qt::AlignTop);

  QHBoxLayout *btn_layout = new QHBoxLayout;
  btn_layout->setSpacing(30);
  panel_layout->addLayout(btn_layout);

  if (!cancel_text.isEmpty()) {
    QPushButton *cancel_btn = new QPushButton(cancel_text);
    btn_layout->addWidget(cancel_btn);
    connect(cancel_btn, &QPushButton::clicked, this, &ConfirmationDialog::reject);
  }
  if (!confirm_text.isEmpty()) {
    QPushButton *confirm_btn = new QPushButton(confirm_text);
    confirm_btn->setObjectName(QStringLiteral("confirm_btn"));
    btn_layout->addWidget(confirm_btn);
    connect(confirm_btn, &QPushButton::clicked, this, &ConfirmationDialog::accept);
  }

  QVBoxLayout *outer_layout = new QVBoxLayout(this);
  outer_layout->setContentsMargins(200, 200, 200, 200);
  outer_layout->addWidget(container);
}

bool ConfirmationDialog::alert(const QString &prompt_text, QWidget *parent) {
  ConfirmationDialog d(prompt_text, tr("Ok"), QString(), parent);
  return d.exec() == QDialog::Accepted;
}

bool ConfirmationDialog::confirm(const QString &prompt_text, const QString &confirm_text, QWidget *parent) {
  ConfirmationDialog d(prompt_text, confirm_text, tr("Cancel"), parent);
  return d.exec() == QDialog::Accepted;
}
