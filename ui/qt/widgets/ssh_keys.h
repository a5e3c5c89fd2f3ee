#pragma once

#include <QString>

#include "common/safe_params.h"
#include "ui/qt/widgets/controls.h"

// Switches the device's SSH service setting.
class SshToggle : public ToggleControl {
  Q_OBJECT

public:
  explicit SshToggle(QWidget *parent = nullptr);
};

// Fetches and stores the public keys of a code-hosting user, or forgets them.
class SshControl : public ButtonControl {
  Q_OBJECT

public:
  explicit SshControl(QWidget *parent = nullptr);
  void refresh();
  void getUserKeys(const QString &username);

private:
  void buttonClicked();
  void keysReceived(const QString &username, const QString &response, bool success, bool timedOut);

  SafeParams params;
};
