#include "ui/qt/widgets/ssh_keys.h"

#include <QUrl>

#include "common/util.h"
#include "system/hardware/zorv/hardware.h"
#include "ui/qt/api.h"
#include "ui/qt/widgets/input.h"

namespace {

constexpr int KEYS_REQUEST_TIMEOUT_MS = 20000;

// Tests and the demo point this at a loopback server.
QString keysBaseUrl() {
  QString base = QString::fromStdString(util::getenv("SSH_KEYS_BASE_URL", "https://github.com/"));
  if (!base.endsWith('/')) {
    base += '/';
  }
  return base;
}

// The name is one encoded path segment: "/", "?", "#" or ".." in it cannot lead anywhere else.
QString keysUrl(const QString &username) {
  return keysBaseUrl() + QString::fromLatin1(QUrl::toPercentEncoding(username)) + QStringLiteral(".keys");
}

}  // namespace

SshToggle::SshToggle(QWidget *parent)
    : ToggleControl(tr("Enable SSH"), QString(), QString(), HardwareZorv::get_ssh_enabled(), parent) {
  connect(this, &ToggleControl::toggleFlipped, this, [](bool state) { HardwareZorv::set_ssh_enabled(state); });
}

SshControl::SshControl(QWidget *parent)
    : ButtonControl(tr("SSH Keys"), QString(),
                    tr("Warning: This grants SSH access to all public keys in your GitHub settings. Never enter a "
                       "GitHub username other than your own. A vorna employee will NEVER ask you to add their "
                       "GitHub username."),
                    parent) {
  connect(this, &ButtonControl::clicked, this, &SshControl::buttonClicked);
  refresh();
}

void SshControl::refresh() {
  const QString keys = QString::fromStdString(params.get("GithubSshKeys"));
  if (!keys.isEmpty()) {
    setValue(QString::fromStdString(params.get("GithubUsername")));
    setText(tr("REMOVE"));
  } else {
    setValue(QString());
    setText(tr("ADD"));
  }
  setEnabled(true);
}

void SshControl::buttonClicked() {
  if (text() == tr("ADD")) {
    const QString username = InputDialog::getText(tr("Enter your GitHub username"), this, QString(), false, -1);
    if (username.isEmpty()) {
      return;
    }
    setText(tr("LOADING"));
    setEnabled(false);
    getUserKeys(username);
  } else {
    params.remove("GithubUsername");
    params.remove("GithubSshKeys");
    refresh();
  }
}

void SshControl::getUserKeys(const QString &username) {
  HttpRequest *request = new HttpRequest(this, false, KEYS_REQUEST_TIMEOUT_MS);
  connect(request, &HttpRequest::requestDone, this, [=](const QString &response, bool success) {
    keysReceived(username, response, success, request->timeout());
    request->deleteLater();
  });
  request->sendRequest(keysUrl(username), HttpRequest::GET);
}

void SshControl::keysReceived(const QString &username, const QString &response, bool success, bool timedOut) {
  if (success && !response.isEmpty()) {
    params.put("GithubUsername", username.toStdString());
    params.put("GithubSshKeys", response.toStdString());
  } else if (success) {
    ConfirmationDialog::alert(tr("Username '%1' has no keys on GitHub").arg(username), this);
  } else if (timedOut) {
    ConfirmationDialog::alert(tr("Request timed out"), this);
  } else {
    ConfirmationDialog::alert(tr("Username '%1' doesn't exist on GitHub").arg(username), this);
  }
  refresh();
}
