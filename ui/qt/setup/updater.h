#pragma once

#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QString>
#include <QTimer>
#include <QWidget>

#include "ui/qt/setup/time_left.h"
#include "ui/qt/setup/update_lock.h"

class Updater : public QStackedWidget {
  Q_OBJECT

public:
  // The status the process ends with when the update failed while no screen was left to say so.
  static constexpr int kFailedWithoutScreen = 2;

  explicit Updater(const QString &updater, const QString &manifest, QWidget *parent = nullptr);
  ~Updater() override;

public slots:
  void installUpdate();
  void readProgress();
  void updateFinished(int exitCode, QProcess::ExitStatus exitStatus);

private:
  QWidget *buildPrompt();
  QWidget *buildWaiting();
  QWidget *buildWifi();
  void addNetworkPanel();
  QWidget *buildProgress();
  // The child's output, its end and a failed start reach the window; wired once, with the window.
  void followUpdater();
  void startFailed(QProcess::ProcessError error);
  void showFailure();
  void showTimeLeft();
  // Another copy owns the update: this one waits, and offers it again once that copy has let go.
  void waitForOtherCopy();
  void finishWithoutScreen();

  QProcess proc;
  QString updater, manifest;
  UpdateLock lock;
  QTimer retry_lock;

  QLabel *text;
  QProgressBar *bar;
  QPushButton *reboot;
  QWidget *prompt, *wifi, *progress, *waiting;

  QLabel *time_left_label;
  TimeLeft time_left;
  QTimer time_left_check;  // told again once the number may have stood still too long
};
