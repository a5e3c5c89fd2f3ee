#include "tests/ui/qt/widgets/gallery.h"

#include <cstdio>

#include <QFont>
#include <QPalette>
#include <QTimer>

#include "ui/qt/qt_window.h"

namespace gallery {

void announceReady() {
  QTimer::singleShot(400, qApp, []() {
    std::printf("ready\n");
    std::fflush(stdout);
  });
}

int run(int argc, char *argv[], const std::function<Scenes()> &scenes) {
  QApplication app(argc, argv);
  const Scenes all = scenes();
  const QString scene = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
  if (scene == QStringLiteral("--list") || !all.contains(scene)) {
    for (const QString &name : all.keys()) {
      std::printf("%s\n", qPrintable(name));
    }
    return scene == QStringLiteral("--list") ? 0 : 2;
  }

  // The screens of the program are white on black; the rows take their colours from it.
  QPalette dark = app.palette();
  dark.setColor(QPalette::Window, Qt::black);
  dark.setColor(QPalette::WindowText, Qt::white);
  dark.setColor(QPalette::ButtonText, Qt::white);
  QApplication::setPalette(dark);
  QApplication::setFont(QFont(QStringLiteral("Inter")));

  QWidget screen;
  setMainWindow(&screen);
  const auto show = all.value(scene);
  QTimer::singleShot(0, &screen, [&screen, show]() { show(&screen); });
  return app.exec();
}

}  // namespace gallery
