#pragma once

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/qt/widgets/toggle.h"

// Label that cuts its text with an ellipsis to the width it is given.
class ElidedLabel : public QLabel {
  Q_OBJECT

public:
  explicit ElidedLabel(QWidget *parent = nullptr);
  explicit ElidedLabel(const QString &text, QWidget *parent = nullptr);

signals:
  void clicked();

protected:
  void mouseReleaseEvent(QMouseEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

  QString lastText_;
  QString elidedText_;
};

// A full-width settings row: optional icon, title, value, and a description that
// unfolds under the title when the title is tapped.
class AbstractControl : public QFrame {
  Q_OBJECT

public:
  AbstractControl(const QString &title, const QString &desc = QString(), const QString &icon = QString(),
                  QWidget *parent = nullptr);
  void setValue(const QString &val) { value->setText(val); }

signals:
  void showDescriptionEvent();

public slots:
  void showDescription() { description->setVisible(true); }

protected:
  void hideEvent(QHideEvent *e) override;

  QLabel *icon_label;
  QPixmap icon_pixmap;
  QHBoxLayout *hlayout;
  QPushButton *title_label;
  ElidedLabel *value;
  QLabel *description = nullptr;

private:
  void titleTapped();
};

class LabelControl : public AbstractControl {
  Q_OBJECT

public:
  LabelControl(const QString &title, const QString &text = QString(), const QString &desc = QString(),
               QWidget *parent = nullptr);
  void setText(const QString &text) { label.setText(text); }

protected:
  ElidedLabel label;
};

class ButtonControl : public AbstractControl {
  Q_OBJECT

public:
  ButtonControl(const QString &title, const QString &text, const QString &desc = QString(), QWidget *parent = nullptr);
  void setText(const QString &text) { btn.setText(text); }
  QString text() const { return btn.text(); }

signals:
  void clicked();

public slots:
  // Only the button is greyed out; the title stays tappable.
  void setEnabled(bool enabled) { btn.setEnabled(enabled); }

protected:
  QPushButton btn;
};

class ToggleControl : public AbstractControl {
  Q_OBJECT

public:
  ToggleControl(const QString &title, const QString &desc = QString(), const QString &icon = QString(),
                bool state = false, QWidget *parent = nullptr);
  void setEnabled(bool enabled);

signals:
  void toggleFlipped(bool state);

protected:
  Toggle toggle;
};

// Vertical stack of rows with a separator line in the gap under each visible row.
class ListWidget : public QWidget {
  Q_OBJECT

public:
  explicit ListWidget(QWidget *parent = nullptr);
  void addItem(QWidget *w) { inner_layout.addWidget(w); }
  // Puts `w`, one of the list's rows, at `index`.
  void moveItem(QWidget *w, int index);

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  QVBoxLayout outer_layout;
  QVBoxLayout inner_layout;
};
