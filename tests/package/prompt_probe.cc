// Preloaded (LD_PRELOAD) into an installed program to report what it shows, without changing the
// program: once its event loop runs, prints one line per visible label or button of every shown
// window, "shown: TEXT [FONT FAMILY]", one per compiled-in SVG image, "image: PATH WIDTHxHEIGHT"
// (0x0 when it cannot be read), saves the window to $PROMPT_PROBE_SHOT when that is set, and ends
// with "probe: done".
#include <cstdio>

#include <QAbstractButton>
#include <QApplication>
#include <QDirIterator>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QTimer>

namespace {

QString shownText(QWidget *widget) {
  if (auto *label = qobject_cast<QLabel *>(widget)) {
    return label->text();
  }
  if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
    return button->text();
  }
  return QString();
}

void report() {
  for (QWidget *window : QApplication::topLevelWidgets()) {
    if (!window->isVisible()) {
      continue;
    }
    for (QWidget *widget : window->findChildren<QWidget *>()) {
      const QString text = shownText(widget);
      if (widget->isVisible() && !text.isEmpty()) {
        std::printf("shown: %s [%s]\n", qPrintable(text), qPrintable(QFontInfo(widget->font()).family()));
      }
    }
    const QString shot = qEnvironmentVariable("PROMPT_PROBE_SHOT");
    if (!shot.isEmpty() && !window->grab().save(shot)) {
      std::printf("probe: cannot save %s\n", qPrintable(shot));
    }
  }
  QDirIterator images(QStringLiteral(":/"), {QStringLiteral("*.svg")}, QDir::Files, QDirIterator::Subdirectories);
  while (images.hasNext()) {
    const QString path = images.next();
    const QImage image(path);
    std::printf("image: %s %dx%d\n", qPrintable(path), image.width(), image.height());
  }
  std::printf("probe: done\n");
  std::fflush(stdout);
}

void startProbe() {
  QTimer::singleShot(0, qApp, report);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
