#include "ui/qt/widgets/toggle.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
const QColor kTrackOffColor(0x39, 0x39, 0x39);
}  // namespace

Toggle::Toggle(QWidget *parent) : QAbstractButton(parent), _height(80), _height_rect(60) {
  _anim = new QPropertyAnimation(this, "offset_circle", this);
  _radius = _height / 2;
  _x_circle = _radius;
  _y_circle = _radius;
  _y_rect = (_height - _height_rect) / 2;
  setEnabled(true);
}

void Toggle::set_offset_circle(int o) {
  _x_circle = o;
  update();
}

void Toggle::setEnabled(bool value) {
  enabled = value;
  circleColor = value ? QColor(0xfa, 0xfa, 0xfa) : QColor(0x88, 0x88, 0x88);
  green = value ? QColor(0x33, 0xab, 0x4c) : QColor(0x22, 0x77, 0x22);
}

void Toggle::paintEvent(QPaintEvent *) {
  // Owners may give a taller fixed size; the drawing is made for this height.
  setFixedHeight(_height);

  QPainter p(this);
  p.setPen(Qt::NoPen);
  p.setRenderHint(QPainter::Antialiasing, true);
  const qreal corner = _height_rect / 2;

  p.setBrush(green);
  p.drawRoundedRect(QRect(0, _y_rect, _x_circle + _radius, _height_rect), corner, corner);

  p.setBrush(kTrackOffColor);
  p.drawRoundedRect(QRect(_x_circle - _radius, _y_rect, width() - _x_circle + _radius, _height_rect), corner, corner);

  p.setBrush(circleColor);
  p.drawEllipse(_x_circle - _radius, _y_circle - _radius, 2 * _radius, 2 * _radius);
}

bool Toggle::knobAtRest() const {
  // The first frame of a slide still sits at the start end, so the running
  // animation is checked as well as the position.
  if (_anim->state() == QAbstractAnimation::Running) {
    return false;
  }
  return _x_circle == _radius || _x_circle == width() - _radius;
}

void Toggle::mouseReleaseEvent(QMouseEvent *e) {
  if (!enabled || !knobAtRest()) {
    return;
  }
  if (!rect().contains(e->localPos().toPoint()) || e->button() != Qt::LeftButton) {
    return;
  }
  togglePosition();
  emit stateChanged(on);
}

void Toggle::togglePosition() {
  on = !on;
  const int left = _radius;
  const int right = width() - _radius;
  _anim->setStartValue(on ? left + immediateOffset : right - immediateOffset);
  _anim->setEndValue(on ? right : left);
  _anim->setDuration(animation_duration);
  _anim->start();
  repaint();
}

void Toggle::enterEvent(QEvent *e) {
  QAbstractButton::enterEvent(e);
}
