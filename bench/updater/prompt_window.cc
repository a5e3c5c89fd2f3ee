// Baseline for the start-up figures: what the update program's first frame shows, the prompt's texts
// and buttons in the same fonts, sizes and style, made with the program's own start-up and full-screen
// placement and linked with its libraries, and nothing else. Its first frame against the bare window's
// is Qt's own cost of those fonts, texts and libraries; the program's against it is the program's own.
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/qt/qt_window.h"
#include "ui/qt/util.h"

namespace {

const char *const kStyle = R"(
  * {
    color: white;
    outline: none;
    font-family: Inter;
  }
  #window {
    background-color: black;
  }
  QPushButton#navBtn {
    height: 160px;
    font-size: 55px;
    font-weight: 400;
    border-radius: 10px;
    background-color: #333333;
  }
)";

QPushButton *navButton(const QString &label, QWidget *parent) {
  auto *btn = new QPushButton(label, parent);
  btn->setObjectName(QStringLiteral("navBtn"));
  return btn;
}

}  // namespace

int main(int argc, char *argv[]) {
  initApp(argc, argv);
  QApplication app(argc, argv);

  QWidget window;
  window.setObjectName(QStringLiteral("window"));
  window.setAttribute(Qt::WA_StyledBackground);
  window.setStyleSheet(QLatin1String(kStyle));
  auto *layout = new QVBoxLayout(&window);
  layout->setContentsMargins(100, 250, 100, 100);

  auto *title = new QLabel(QStringLiteral("Update Required"), &window);
  title->setStyleSheet(QStringLiteral("font-size: 80px; font-weight: bold;"));
  layout->addWidget(title);
  layout->addSpacing(75);
  auto *desc = new QLabel(QStringLiteral("An operating system update is required. Connect your device to Wi-Fi for the "
                                         "fastest update experience. The download size is approximately 1GB."),
                          &window);
  desc->setWordWrap(true);
  desc->setStyleSheet(QStringLiteral("font-size: 65px;"));
  layout->addWidget(desc);
  layout->addStretch();

  auto *buttons = new QHBoxLayout;
  buttons->setSpacing(30);
  layout->addLayout(buttons);
  buttons->addWidget(navButton(QStringLiteral("Connect to Wi-Fi"), &window));
  auto *install = navButton(QStringLiteral("Install"), &window);
  install->setStyleSheet(QStringLiteral("QPushButton { background-color: #465BEA; }"));
  buttons->addWidget(install);

  setMainWindow(&window);
  return app.exec();
}
