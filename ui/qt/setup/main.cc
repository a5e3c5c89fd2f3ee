#include <QApplication>

#include "ui/qt/qt_window.h"
#include "ui/qt/setup/updater.h"
#include "ui/qt/util.h"

namespace {

// A missing argument reads as empty text, which the Updater refuses.
QString arg(int argc, char *argv[], int i) {
  return i < argc ? QString::fromUtf8(argv[i]) : QString();
}

}  // namespace

int main(int argc, char *argv[]) {
  initApp(argc, argv);
  QApplication a(argc, argv);
  Updater updater(arg(argc, argv, 1), arg(argc, argv, 2));
  setMainWindow(&updater);
  return a.exec();
}
