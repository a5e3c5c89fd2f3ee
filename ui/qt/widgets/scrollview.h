#pragma once

#include <QScrollArea>

// Touch-scrolled container: kinetic flicks, no overshoot, no scroll bars, and back
// at the top whenever it is shown again.
class ScrollView : public QScrollArea {
  Q_OBJECT

public:
  explicit ScrollView(QWidget *w = nullptr, QWidget *parent = nullptr);

protected:
  void hideEvent(QHideEvent *e) override;
};
