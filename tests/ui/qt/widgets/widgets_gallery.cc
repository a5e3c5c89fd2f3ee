// Shows one scene of the widget toolkit full-screen and prints "ready" once it is on
// screen, for scripts/screenshots/widgets.sh to photograph. `--list` prints the scenes.
#include <QApplication>
#include <QMap>
#include <QPalette>
#include <QScrollBar>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "tests/ui/qt/widgets/gallery.h"
#include "tools/screen_driver/driver.h"
#include "ui/qt/widgets/controls.h"
#include "ui/qt/widgets/input.h"
#include "ui/qt/widgets/keyboard.h"
#include "ui/qt/widgets/scrollview.h"

namespace {

// Runs `prepare` on the open dialog, then announces it.
void whenDialogOpen(std::function<void(QWidget *)> prepare) {
  QTimer::singleShot(100, qApp, [prepare]() {
    if (QWidget *d = gallery::openDialog<DialogBase>()) {
      prepare(d);
    }
    gallery::announceReady();
  });
}

void textDialog(QWidget *screen, const QString &subtitle, bool secret, int minLength,
                std::function<void(QWidget *)> prepare) {
  whenDialogOpen(prepare);
  InputDialog::getText(secret ? QStringLiteral("Enter password") : QStringLiteral("Enter SSID"), screen, subtitle,
                       secret, minLength);
}

void rows(QWidget *screen, bool scrolledDown) {
  auto *list = new ListWidget;
  auto *desc = new ButtonControl(QStringLiteral("Tethering Password"), QStringLiteral("EDIT"),
                                 QStringLiteral("The description unfolds under the title when the title is tapped; "
                                                "it folds again whenever the screen is left."));
  desc->showDescription();
  list->addItem(desc);
  list->addItem(new ToggleControl(QStringLiteral("Enable Tethering"), QString(),
                                  QStringLiteral(":/img_circled_slash.svg"), true));
  list->addItem(new ToggleControl(QStringLiteral("Cellular Metered"), QString(), QString(), false));
  auto *disabled = new ToggleControl(QStringLiteral("Disabled switch, on"), QString(), QString(), true);
  disabled->setEnabled(false);
  list->addItem(disabled);
  auto *offDisabled = new ToggleControl(QStringLiteral("Disabled switch, off"), QString(), QString(), false);
  offDisabled->setEnabled(false);
  list->addItem(offDisabled);
  auto *value = new LabelControl(QStringLiteral("Elided value"));
  value->setValue(QString(QStringLiteral("a network name far too long to fit beside its title ")).repeated(6));
  list->addItem(value);
  auto *greyed = new ButtonControl(QStringLiteral("Disabled button"), QStringLiteral("REMOVE"));
  greyed->setEnabled(false);
  list->addItem(greyed);
  list->addItem(new LabelControl(QStringLiteral("IP Address"), QStringLiteral("192.168.43.1")));

  auto *layout = new QVBoxLayout(screen);
  layout->setContentsMargins(50, 25, 50, 25);
  auto *view = new ScrollView(list, screen);
  layout->addWidget(view);
  if (scrolledDown) {
    QTimer::singleShot(0, view,
                       [view]() { view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum()); });
  }
  gallery::announceReady();
}

const QMap<QString, std::function<void(QWidget *)>> &scenes() {
  static const QMap<QString, std::function<void(QWidget *)>> all = {
      {"rows", [](QWidget *s) { rows(s, false); }},
      {"rows-scrolled-down", [](QWidget *s) { rows(s, true); }},
      {"text",
       [](QWidget *s) {
         textDialog(s, QString(), false, -1, [](QWidget *d) { screen::type(QStringLiteral("home"), d); });
       }},
      {"text-subtitle",
       [](QWidget *s) {
         textDialog(s, QStringLiteral("for \"home\""), false, -1,
                    [](QWidget *d) { screen::type(QStringLiteral("abc"), d); });
       }},
      {"secret-eye-open",
       [](QWidget *s) {
         textDialog(s, QString(), true, 8, [](QWidget *d) { screen::type(QStringLiteral("secret"), d); });
       }},
      {"secret-eye-closed",
       [](QWidget *s) {
         textDialog(s, QString(), true, 8, [](QWidget *d) {
           screen::type(QStringLiteral("secret"), d);
           for (QPushButton *b : d->findChildren<QPushButton *>()) {
             if (b->isCheckable()) {
               screen::tap(b);
             }
           }
         });
       }},
      {"min-length",
       [](QWidget *s) {
         textDialog(s, QString(), true, 8, [](QWidget *d) {
           screen::type(QStringLiteral("short"), d);
           screen::tapText(d, ENTER_KEY);
         });
       }},
      {"keyboard-lower", [](QWidget *s) { textDialog(s, QString(), false, -1, [](QWidget *) {}); }},
      {"keyboard-upper",
       [](QWidget *s) {
         textDialog(s, QString(), false, -1, [](QWidget *d) { screen::tapText(d, QStringLiteral("↑")); });
       }},
      {"keyboard-digits",
       [](QWidget *s) {
         textDialog(s, QString(), false, -1, [](QWidget *d) { screen::tapText(d, QStringLiteral("123")); });
       }},
      {"keyboard-symbols",
       [](QWidget *s) {
         textDialog(s, QString(), false, -1, [](QWidget *d) {
           screen::tapTexts(d, {QStringLiteral("123"), QStringLiteral("#+=")});
         });
       }},
      {"confirm",
       [](QWidget *s) {
         whenDialogOpen([](QWidget *) {});
         ConfirmationDialog::confirm(QStringLiteral("Forget Wi-Fi Network \"home\"?"), QStringLiteral("Forget"), s);
       }},
      {"alert",
       [](QWidget *s) {
         whenDialogOpen([](QWidget *) {});
         ConfirmationDialog::alert(QStringLiteral("Username 'nobody' has no keys on the code-hosting service"), s);
       }},
  };
  return all;
}

}  // namespace

int main(int argc, char *argv[]) {
  return gallery::run(argc, argv, scenes);
}
