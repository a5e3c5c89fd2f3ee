#include "ui/qt/widgets/controls.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include "ui/qt/widgets/button_style.h"

ElidedLabel::ElidedLabel(QWidget *parent) : ElidedLabel(QString(), parent) {}

ElidedLabel::ElidedLabel(const QString &text, QWidget *parent) : QLabel(parent) {
  // Values come from outside (network names from the air, user names): read as markup, a name such as
  // <img src=/dev/zero> would be measured by loading that file. The paint draws plain text anyway.
  setTextFormat(Qt::PlainText);
  setText(text.trimmed());
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  // Lets a layout squeeze the label to any width; the paint elides to fit.
  setMinimumWidth(1);
}

void ElidedLabel::resizeEvent(QResizeEvent *event) {
  QLabel::resizeEvent(event);
  lastText_.clear();
  elidedText_.clear();
}

void ElidedLabel::paintEvent(QPaintEvent *) {
  const QRect cr = contentsRect();
  if (text() != lastText_) {
    elidedText_ = fontMetrics().elidedText(text(), Qt::ElideRight, cr.width());
    lastText_ = text();
  }

  QPainter painter(this);
  drawFrame(&painter);
  QStyleOption opt;
  opt.initFrom(this);
  style()->drawItemText(&painter, cr, alignment(), opt.palette, isEnabled(), elidedText_, foregroundRole());
}

void ElidedLabel::mouseReleaseEvent(QMouseEvent *event) {
  if (rect().contains(event->localPos().toPoint())) {
    emit clicked();
  }
}

AbstractControl::AbstractControl(const QString &title, const QString &desc, const QString &icon, QWidget *parent)
    : QFrame(parent) {
  QVBoxLayout *main_layout = new QVBoxLayout(this);
  main_layout->setContentsMargins(0, 0, 0, 0);

  hlayout = new QHBoxLayout;
  hlayout->setContentsMargins(0, 0, 0, 0);
  hlayout->setSpacing(20);

  icon_label = new QLabel(this);
  hlayout->addWidget(icon_label);
  if (!icon.isEmpty()) {
    icon_pixmap = QPixmap(icon).scaledToWidth(80, Qt::SmoothTransformation);
    icon_label->setPixmap(icon_pixmap);
    icon_label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  }
  icon_label->setVisible(!icon.isEmpty());

  title_label = new QPushButton(title);
  title_label->setFixedHeight(120);
  title_label->setStyleSheet(QStringLiteral("font-size: 50px; font-weight: 400; text-align: left; border: none;"));
  hlayout->addWidget(title_label, 1);

  value = new ElidedLabel;
  value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  value->setStyleSheet(QStringLiteral("color: #aaaaaa"));
  hlayout->addWidget(value);

  main_layout->addLayout(hlayout);

  description = new QLabel(desc);
  description->setContentsMargins(40, 20, 40, 20);
  description->setStyleSheet(QStringLiteral("font-size: 40px; color: grey"));
  description->setWordWrap(true);
  description->setVisible(false);
  main_layout->addWidget(description);

  connect(title_label, &QPushButton::clicked, this, &AbstractControl::titleTapped);

  main_layout->addStretch();
}

void AbstractControl::titleTapped() {
  if (description->isHidden()) {
    emit showDescriptionEvent();
  }
  if (!description->text().isEmpty()) {
    description->setVisible(description->isHidden());
  }
}

void AbstractControl::hideEvent(QHideEvent *) {
  // Every screen comes back with its rows folded.
  if (description != nullptr) {
    description->hide();
  }
}

LabelControl::LabelControl(const QString &title, const QString &text, const QString &desc, QWidget *parent)
    : AbstractControl(title, desc, QString(), parent) {
  label.setText(text);
  label.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  hlayout->addWidget(&label);
}

ButtonControl::ButtonControl(const QString &title, const QString &text, const QString &desc, QWidget *parent)
    : AbstractControl(title, desc, QString(), parent) {
  btn.setText(text);
  btn.setStyleSheet(QStringLiteral(R"(
    QPushButton {
      padding: 0;
      border-radius: 50px;
      font-size: 35px;
      font-weight: 500;
      color: #E4E4E4;
    }
    QPushButton:disabled {
      color: #33E4E4E4;
    }
  )") + panelButtonStyle({QStringLiteral("QPushButton")}));
  btn.setFixedSize(250, 100);
  connect(&btn, &QPushButton::clicked, this, &ButtonControl::clicked);
  hlayout->addWidget(&btn);
}

ToggleControl::ToggleControl(const QString &title, const QString &desc, const QString &icon, bool state,
                             QWidget *parent)
    : AbstractControl(title, desc, icon, parent) {
  toggle.setFixedSize(150, 100);
  if (state) {
    toggle.togglePosition();
  }
  hlayout->addWidget(&toggle);
  connect(&toggle, &Toggle::stateChanged, this, &ToggleControl::toggleFlipped);
}

void ToggleControl::setEnabled(bool enabled) {
  toggle.setEnabled(enabled);
  toggle.update();
}

ListWidget::ListWidget(QWidget *parent) : QWidget(parent) {
  outer_layout.setContentsMargins(0, 0, 0, 0);
  outer_layout.setSpacing(0);
  outer_layout.addLayout(&inner_layout);
  inner_layout.setContentsMargins(0, 0, 0, 0);
  inner_layout.setSpacing(25);
  outer_layout.addStretch();
  setLayout(&outer_layout);
}

// The row's layout item itself moves: the widget is not taken out and put back, and the sizes the
// item holds stay valid. The rows stay the list's children in the order shown, the order in which
// anything that walks the screen (accessibility, test drivers) reads them.
void ListWidget::moveItem(QWidget *w, int index) {
  const int from = inner_layout.indexOf(w);
  if (from < 0 || from == index) {
    return;
  }
  inner_layout.insertItem(index, inner_layout.takeAt(from));
  QLayoutItem *next = inner_layout.itemAt(index + 1);
  if (next != nullptr && next->widget() != nullptr) {
    w->stackUnder(next->widget());
  } else {
    w->raise();
  }
}

// Only the separators in the painted area are drawn: a long list in a scroll view shows a few.
void ListWidget::paintEvent(QPaintEvent *event) {
  QPainter p(this);
  const QRect painted = event->rect();
  for (int i = 0; i < inner_layout.count() - 1; ++i) {
    QLayoutItem *item = inner_layout.itemAt(i);
    const QWidget *w = item->widget();
    if (w != nullptr && !w->isVisible()) {
      continue;
    }
    const QRect r = item->geometry();
    const int y = r.bottom() + inner_layout.spacing() / 2;
    if (y >= painted.top() && y <= painted.bottom()) {
      // The pixels of a one-pixel line, filled: the line drawer costs a screen's worth per line.
      p.fillRect(QRect(QPoint(r.left() + 40, y), QPoint(r.right() - 40, y)), Qt::gray);
    }
  }
}
