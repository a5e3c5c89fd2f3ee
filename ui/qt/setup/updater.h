#pragma once

#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QString>
#include <QWidget>

class Updater : public QStackedWidget {
  Q_OBJECT

public:
  explicit Updater(const QString &updater, const QString &manifest, QWidget *parent = nullptr);
  ~Updater() override;

public slots:
  void installUpdate();
  void readProgress();
  void updateFinished(int exitCode, QProcess::ExitStatus exitStatus);

private:
  QWidget *buildPrompt();
  QWidget *buildWifi();
  void addNetworkPanel();
  QWidget *buildProgress();
  // The child's output, its end and a failed start reach the window; wired once, with the window.
  void followUpdater();
  void startFailed(QProcess::ProcessError error);
  void showFailure();

  QProcess proc;
  QString updater, manifest;

  QLabel *text;
  QProgressBar *bar;
  QPushButton *reboot;
  QWidget *prompt, *wifi, *progress;
};
