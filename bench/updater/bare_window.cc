#include <QApplication>
#include <QWidget>

// The least a full-screen widgets program does: one fixed-size window, shown full-screen.
int main(int argc, char *argv[]) {
  QApplication app(argc, argv);
  QWidget w;
  w.setStyleSheet(QStringLiteral("background-color: black;"));
  w.setFixedSize(2160, 1080);
  w.show();
  w.setWindowState(Qt::WindowFullScreen);
  w.setVisible(true);
  return app.exec();
}
