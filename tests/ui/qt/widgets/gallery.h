#pragma once

#include <functional>

#include <QApplication>
#include <QDialog>
#include <QMap>
#include <QString>
#include <QWidget>

// Support for the gallery programs that show one scene full-screen for the screenshot scripts.
namespace gallery {

using Scenes = QMap<QString, std::function<void(QWidget *screen)>>;

// Prints "ready" once the window system has had time to put the last frame on screen.
void announceReady();

// The visible top-level dialog of type D, if any.
template <typename D = QDialog>
D *openDialog() {
  for (QWidget *w : QApplication::topLevelWidgets()) {
    if (auto *d = qobject_cast<D *>(w); d != nullptr && d->isVisible()) {
      return d;
    }
  }
  return nullptr;
}

// `--list` prints the scene names; a scene name shows that scene on a full-screen, white-on-black
// screen. `scenes` is called once the application object exists.
int run(int argc, char *argv[], const std::function<Scenes()> &scenes);

}  // namespace gallery
