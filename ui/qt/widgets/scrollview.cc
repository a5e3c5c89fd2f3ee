#include "ui/qt/widgets/scrollview.h"

#include <QScrollBar>
#include <QScroller>
#include <QScrollerProperties>

namespace {

const char *const kScrollBarStyle = R"(
  QScrollBar:vertical {
    border: none;
    background: transparent;
    width: 10px;
    margin: 0;
  }
  QScrollBar::handle:vertical {
    min-height: 0px;
    border-radius: 5px;
    background-color: white;
  }
  QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical {
    height: 0px;
  }
  QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical {
    background: none;
  }
)";

QVariant overshootOff() {
  // Enumeration values in scroller properties need their metatype registered.
  static const int registered =
      qRegisterMetaType<QScrollerProperties::OvershootPolicy>("QScrollerProperties::OvershootPolicy");
  Q_UNUSED(registered);
  return QVariant::fromValue(QScrollerProperties::OvershootAlwaysOff);
}

}  // namespace

ScrollView::ScrollView(QWidget *w, QWidget *parent) : QScrollArea(parent) {
  // Styled before the widget comes in: setWidget shows, and so polishes, the widget, and in a
  // window that already has a style sheet a later sheet here would not reach it.
  setStyleSheet(QStringLiteral("background-color: transparent; border:none"));
  const QString barStyle = QLatin1String(kScrollBarStyle);
  verticalScrollBar()->setStyleSheet(barStyle);
  horizontalScrollBar()->setStyleSheet(barStyle);

  setWidget(w);
  setWidgetResizable(true);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  QScroller *scroller = QScroller::scroller(viewport());
  QScrollerProperties sp = scroller->scrollerProperties();
  sp.setScrollMetric(QScrollerProperties::VerticalOvershootPolicy, overshootOff());
  sp.setScrollMetric(QScrollerProperties::HorizontalOvershootPolicy, overshootOff());
  // Taps on rows inside the view must not wait for the default press delay.
  sp.setScrollMetric(QScrollerProperties::MousePressEventDelay, 0.01);
  scroller->grabGesture(viewport(), QScroller::LeftMouseButtonGesture);
  scroller->setScrollerProperties(sp);
}

void ScrollView::hideEvent(QHideEvent *) {
  verticalScrollBar()->setValue(0);
}
