#include "ui/qt/setup/updater.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

#include <QDebug>
#include <QEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QWindow>

#include "common/swaglog.h"
#include "system/hardware/zorv/hardware.h"
#include "ui/qt/display_loss.h"
#include "ui/qt/network/networking.h"
#include "ui/qt/qt_window.h"
#include "ui/qt/require.h"
#include "ui/qt/setup/progress.h"
#include "ui/qt/util.h"
#include "ui/qt/widgets/button_style.h"

namespace {

const QString kWindowStyle = QStringLiteral(R"(
  * {
    color: white;
    outline: none;
    font-family: Inter;
  }
  Updater {
    color: white;
    background-color: black;
  }
  QProgressBar {
    border: none;
    background-color: #292929;
  }
  QProgressBar::chunk {
    background-color: #364DEF;
  }
)") + largeButtonStyle({QStringLiteral("QPushButton#navBtn")});

// How often a copy waiting for another one tries the update lock again, and how often an update
// that goes on without a screen looks whether the program was asked to stop.
constexpr int kRetryLockMs = 1000;
constexpr int kQuitCheckMs = 200;

// A page that opens with a title and the text under it, as the prompt does; what the page adds
// comes at its foot.
QVBoxLayout *headedPage(QWidget *parent, const QString &title, const QString &description) {
  auto *page = new QWidget(parent);
  auto *layout = new QVBoxLayout(page);
  layout->setContentsMargins(100, 250, 100, 100);

  auto *heading = new QLabel(title, page);
  heading->setStyleSheet(QStringLiteral("font-size: 80px; font-weight: bold;"));
  layout->addWidget(heading);

  layout->addSpacing(75);

  auto *desc = new QLabel(description, page);
  desc->setWordWrap(true);
  desc->setStyleSheet(QStringLiteral("font-size: 65px;"));
  layout->addWidget(desc);

  layout->addStretch();
  return layout;
}

// Only a normal exit with 0 is a success; a crash says nothing reliable through its exit code.
bool updateSucceeded(int exit_code, QProcess::ExitStatus exit_status) {
  return exit_code == 0 && exit_status == QProcess::NormalExit;
}

QPushButton *navButton(const QString &label, QWidget *parent) {
  auto *btn = new QPushButton(label, parent);
  btn->setObjectName(QStringLiteral("navBtn"));
  return btn;
}

QPushButton *sideButton(const QString &label, QWidget *parent) {
  auto *btn = navButton(label, parent);
  btn->setStyleSheet(QStringLiteral("padding-left: 60px; padding-right: 60px;"));
  return btn;
}

// One line of text kept just under another widget of its page, outside the page's layout: showing
// or changing it moves nothing else.
class Caption : public QLabel {
public:
  Caption(QWidget *above, int gap) : QLabel(above->parentWidget()), above(above), gap(gap) {
    setTextFormat(Qt::PlainText);
    above->installEventFilter(this);
  }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (watched == above && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
      follow();
    }
    return false;
  }

  // Its style sheet sets the font, and with it the line's height.
  void changeEvent(QEvent *event) override {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
      follow();
    }
  }

private:
  void follow() {
    setGeometry(above->x(), above->geometry().bottom() + 1 + gap, above->width(), fontMetrics().height());
  }

  QWidget *above;
  int gap;
};

// Calls a function once, right after a window's first frame has been drawn and sent to the display
// server, in the same turn of the event loop. A widget window draws its first frame while it handles
// its first expose: that event is handled here first, then the function runs.
class AfterFirstFrame : public QObject {
public:
  AfterFirstFrame(QWidget *window, std::function<void()> f) : QObject(window), window(window), f(std::move(f)) {
    window->installEventFilter(this);
  }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (watched == window && event->type() == QEvent::Show) {
      watchPlatformWindow();
    } else if (isFirstExpose(watched, event)) {
      drawThenRun(watched, event);
      return true;
    }
    return false;
  }

private:
  // The platform window exists once the widget is being shown.
  void watchPlatformWindow() {
    window->removeEventFilter(this);
    if (QWindow *handle = window->windowHandle()) {
      handle->installEventFilter(this);
    }
  }

  bool isFirstExpose(const QObject *watched, const QEvent *event) const {
    const QWindow *handle = window->windowHandle();
    return watched == handle && event->type() == QEvent::Expose && handle->isExposed();
  }

  void drawThenRun(QObject *handle, QEvent *expose) {
    handle->removeEventFilter(this);
    handle->event(expose);
    flushDisplay();
    f();
    deleteLater();
  }

  QWidget *window;
  std::function<void()> f;
};

}  // namespace

Updater::Updater(const QString &updater, const QString &manifest, QWidget *parent)
    : QStackedWidget(parent), updater(updater), manifest(manifest) {
  REQUIRE(updater.size());
  REQUIRE(manifest.size());
  followUpdater();
  display_loss::onLoss([] {
    LOGW("the display went away before the update started");
    fprintf(stderr, "updater: the screen went away before the update started: nothing was installed\n");
  });

  // Set before the pages exist, so each widget takes its style once as it is added rather than
  // the whole tree being styled again afterwards.
  setStyleSheet(kWindowStyle);
  prompt = buildPrompt();
  wifi = buildWifi();
  progress = buildProgress();
  waiting = buildWaiting();
  addWidget(prompt);
  addWidget(wifi);
  addWidget(progress);
  addWidget(waiting);
  if (!lock.take()) {
    waitForOtherCopy();
  }
  // The first frame shows the prompt only: the network panel is made right after it, or before the
  // Wi-Fi page shows if that comes first.
  new AfterFirstFrame(this, [this] { addNetworkPanel(); });
  QObject::connect(this, &QStackedWidget::currentChanged, this, [this] {
    if (currentWidget() == wifi) {
      addNetworkPanel();
    }
  });
}

Updater::~Updater() {
  // The child is killed and reaped when proc goes; its end must not reach a half-destroyed window,
  // where a killed child's exit code would otherwise read as success.
  proc.disconnect(this);
}

QWidget *Updater::buildPrompt() {
  QVBoxLayout *layout =
      headedPage(this, tr("Update Required"),
                 tr("An operating system update is required. Connect your device to Wi-Fi for the fastest "
                    "update experience. The download size is approximately 1GB."));
  QWidget *page = layout->parentWidget();

  auto *buttons = new QHBoxLayout;
  buttons->setSpacing(30);
  layout->addLayout(buttons);

  auto *connect_btn = navButton(tr("Connect to Wi-Fi"), page);
  buttons->addWidget(connect_btn);
  QObject::connect(connect_btn, &QPushButton::clicked, this, [this] { setCurrentWidget(wifi); });

  auto *install_btn = navButton(tr("Install"), page);
  install_btn->setStyleSheet(actionButtonStyle({QStringLiteral("QPushButton")}));
  buttons->addWidget(install_btn);
  QObject::connect(install_btn, &QPushButton::clicked, this, &Updater::installUpdate);

  return page;
}

// What a copy started while another one installs shows: there is nothing to do but wait.
QWidget *Updater::buildWaiting() {
  return headedPage(this, tr("Installing Update"),
                    tr("The update is already being installed. Please wait: the device will restart by itself "
                       "when it is done."))
      ->parentWidget();
}

QWidget *Updater::buildWifi() {
  auto *page = new QWidget(this);
  auto *layout = new QVBoxLayout(page);
  layout->setContentsMargins(100, 100, 100, 100);

  auto *back = sideButton(tr("Back"), page);
  layout->addWidget(back, 0, Qt::AlignLeft);
  QObject::connect(back, &QPushButton::clicked, this, [this] { setCurrentWidget(prompt); });

  return page;
}

// Made once and kept, so a connection in progress survives a trip back to the prompt. Made on its
// page directly: moving a finished panel there would restyle every widget in it. Making it applies
// the stored cellular settings, so it is made at start-up even if the page is never opened.
void Updater::addNetworkPanel() {
  if (wifi->findChild<Networking *>(QString(), Qt::FindDirectChildrenOnly) != nullptr) {
    return;
  }
  auto *networking = new Networking(wifi, false);
  networking->setStyleSheet(QStringLiteral("Networking { background-color: #292929; border-radius: 13px; }"));
  static_cast<QVBoxLayout *>(wifi->layout())->insertWidget(0, networking, 1);
}

QWidget *Updater::buildProgress() {
  auto *page = new QWidget(this);
  auto *layout = new QVBoxLayout(page);
  layout->setContentsMargins(150, 330, 150, 150);
  layout->setSpacing(0);

  text = new QLabel(tr("Loading..."), page);
  // The child's text is shown as it is, never interpreted as markup.
  text->setTextFormat(Qt::PlainText);
  text->setStyleSheet(QStringLiteral("font-size: 90px; font-weight: 600;"));
  layout->addWidget(text, 0, Qt::AlignTop);

  layout->addSpacing(100);

  bar = new QProgressBar(page);
  bar->setRange(0, 100);
  bar->setTextVisible(false);
  bar->setFixedHeight(72);
  layout->addWidget(bar, 0, Qt::AlignTop);

  time_left_label = new Caption(bar, 40);
  time_left_label->setObjectName(QStringLiteral("time_left"));
  time_left_label->setStyleSheet(QStringLiteral("font-size: 55px; color: #A0A0A0;"));
  time_left_check.setSingleShot(true);
  QObject::connect(&time_left_check, &QTimer::timeout, this, &Updater::showTimeLeft);

  layout->addStretch();

  reboot = sideButton(tr("Reboot"), page);
  layout->addWidget(reboot, 0, Qt::AlignLeft);
  QObject::connect(reboot, &QPushButton::clicked, this, [] { HardwareZorv::reboot(); });
  reboot->setVisible(false);

  layout->addStretch();

  return page;
}

void Updater::followUpdater() {
  connect(&proc, &QProcess::readyReadStandardOutput, this, &Updater::readProgress);
  connect(&proc, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this, &Updater::updateFinished);
  // Without this a missing or non-executable updater would leave "Loading..." up for good.
  connect(&proc, &QProcess::errorOccurred, this, &Updater::startFailed);
  proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

void Updater::waitForOtherCopy() {
  LOGW("another copy of the program owns the update; waiting for it");
  setCurrentWidget(waiting);
  retry_lock.setInterval(kRetryLockMs);
  QObject::connect(&retry_lock, &QTimer::timeout, this, [this] {
    if (lock.take()) {
      retry_lock.stop();
      setCurrentWidget(prompt);
    }
  });
  retry_lock.start();
}

void Updater::installUpdate() {
  setCurrentWidget(progress);
  // From here a lost screen must not end the update with the program.
  display_loss::onLoss([this] { finishWithoutScreen(); });
  proc.start(updater, {QStringLiteral("--swap"), manifest}, QIODevice::ReadWrite);
}

// The display went away while the updater runs, and no event loop will run again: the update goes
// on to its end without a screen, its output still read so that it never writes into a closed
// pipe, and its exit code decides as always. A stop asked by signal still stops it, as the event
// loop would have.
void Updater::finishWithoutScreen() {
  LOGW("the display went away during the update; it goes on without a screen");
  proc.disconnect(this);
  if (proc.state() == QProcess::Starting) {
    proc.waitForStarted(-1);
  }
  while (proc.state() != QProcess::NotRunning) {
    proc.waitForFinished(kQuitCheckMs);
    proc.readAllStandardOutput();
    if (takeQuitRequest()) {
      proc.kill();
      proc.waitForFinished(-1);
      std::exit(0);
    }
  }
  const bool started = proc.error() != QProcess::FailedToStart;
  qDebug().nospace() << "finished with " << proc.exitCode();
  if (started && updateSucceeded(proc.exitCode(), proc.exitStatus())) {
    HardwareZorv::reboot();
    std::exit(0);
  }
  LOGE("the update failed with exit code %d while no screen was left to show it", started ? proc.exitCode() : -1);
  std::exit(kFailedWithoutScreen);
}

void Updater::readProgress() {
  const Progress progress = parseProgress(proc.readAllStandardOutput(), bar->minimum(), bar->maximum());
  if (progress.status) {
    text->setText(*progress.status);
  }
  if (progress.percent) {
    bar->setValue(*progress.percent);
  }
  if (progress.status && progress.number) {
    time_left.add(*progress.status, *progress.number);
    showTimeLeft();
  }
  update();
}

void Updater::showTimeLeft() {
  const std::optional<qint64> seconds = time_left.seconds();
  time_left_label->setText(seconds ? timeLeftText(*seconds) : QString());
  // Shown, it must go once the number has stood still too long, even if no line comes.
  if (seconds) {
    time_left_check.start(TimeLeft::kStillMs + 100);
  }
}

void Updater::updateFinished(int exitCode, QProcess::ExitStatus exitStatus) {
  qDebug().nospace() << "finished with " << exitCode;
  if (updateSucceeded(exitCode, exitStatus)) {
    HardwareZorv::reboot();
  } else {
    showFailure();
  }
}

void Updater::startFailed(QProcess::ProcessError error) {
  if (error == QProcess::FailedToStart) {
    qDebug() << "failed to start" << updater << proc.errorString();
    showFailure();
  }
}

void Updater::showFailure() {
  text->setText(tr("Update failed"));
  time_left.reset();
  time_left_check.stop();
  time_left_label->clear();
  reboot->show();
}
