#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPropertyAnimation>

// On/off switch that paints itself and keeps its own enabled flag, so a greyed-out
// switch still receives events (its row stays tappable).
class Toggle : public QAbstractButton {
  Q_OBJECT
  Q_PROPERTY(int offset_circle READ offset_circle WRITE set_offset_circle)

public:
  explicit Toggle(QWidget *parent = nullptr);

  void togglePosition();
  // Hides QWidget::setEnabled on purpose: only the look and the tap handling change.
  void setEnabled(bool value);
  bool getEnabled() const { return enabled; }

  int offset_circle() const { return _x_circle; }
  void set_offset_circle(int o);

  bool on = false;
  int animation_duration = 150;
  int immediateOffset = 0;

signals:
  void stateChanged(bool new_state);

protected:
  void mouseReleaseEvent(QMouseEvent *e) override;
  void enterEvent(QEvent *e) override;
  void paintEvent(QPaintEvent *e) override;

private:
  bool knobAtRest() const;

  QColor circleColor;
  QColor green;
  bool enabled = true;
  int _x_circle;
  int _y_circle;
  int _height;
  int _radius;
  int _height_rect;
  int _y_rect;
  QPropertyAnimation *_anim = nullptr;
};
