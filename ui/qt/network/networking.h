#pragma once

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStackedLayout>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include "common/safe_params.h"
#include "ui/qt/network/wifi_manager.h"
#include "ui/qt/widgets/controls.h"

// One row of the Wi-Fi list.
class WifiItem : public QWidget {
  Q_OBJECT

public:
  explicit WifiItem(const QString &connecting_text, const QString &forget_text, QWidget *parent = nullptr);
  void setItem(const Network &n, const QPixmap &status_icon, bool show_forget_btn, const QPixmap &strength_icon);

signals:
  void connectToNetwork(const Network n);
  void forgotNetwork(const Network n);

protected:
  ElidedLabel *ssidLabel;
  QPushButton *connecting;
  QPushButton *forgetBtn;
  QLabel *iconLabel;
  QLabel *strengthLabel;
  Network network{};
};

// The list of visible networks, connected and strongest first.
class WifiUI : public QWidget {
  Q_OBJECT

public:
  explicit WifiUI(QWidget *parent = nullptr, WifiManager *wifi = nullptr);

private:
  // A network as its row shows it.
  struct ListedNetwork {
    Network network;
    bool show_forget_btn;
  };

  QPixmap statusIcon(const Network &n) const;
  void listNetworks();
  void assignRows();
  void showRow(int n);
  void buildMoreRows();
  WifiItem *newItem();
  void confirmForget(const Network &n);

  WifiManager *wifi = nullptr;
  QLabel *scanningLabel = nullptr;
  QPixmap lock;
  QPixmap checkmark;
  QPixmap circled_slash;
  QVector<QPixmap> strengths;
  ListWidget *wifi_list_widget = nullptr;
  QVector<WifiItem *> wifi_items;  // every row built, shown or not
  QVector<ListedNetwork> listed;   // the last scan, in list order
  QVector<WifiItem *> row_of;      // the row of each listed network; null until it is built
  QTimer row_builder;              // builds the rows that a scan did not build at once

signals:
  void connectToNetwork(const Network n);

public slots:
  void refresh();
};

// Hotspot, IP address, SSH, cellular options and hidden networks.
class AdvancedNetworking : public QWidget {
  Q_OBJECT

public:
  explicit AdvancedNetworking(QWidget *parent = nullptr, WifiManager *wifi = nullptr);

private:
  void editTetheringPassword();
  void editApn();
  void connectToHiddenNetwork();
  void hiddenNetworkRefused(const QString &ssid);
  void roamingFlipped(bool state);
  void meteredFlipped(bool state);
  QString storedApn() const;

  LabelControl *ipLabel;
  ToggleControl *tetheringToggle;
  ToggleControl *roamingToggle;
  ButtonControl *editApnButton;
  ButtonControl *hiddenNetworkButton;
  ToggleControl *meteredToggle;
  WifiManager *wifi = nullptr;
  SafeParams params;
  QString hidden_ssid;  // the hidden network last asked for

signals:
  void backPress();
  void requestWifiScreen();

public slots:
  void toggleTethering(bool enabled);
  void refresh();
};

// The network settings panel: the Wi-Fi screen and the advanced page in a stack.
class Networking : public QFrame {
  Q_OBJECT

public:
  explicit Networking(QWidget *parent = nullptr, bool show_advanced = true);
  WifiManager *wifi = nullptr;

protected:
  void showEvent(QShowEvent *event) override;
  void hideEvent(QHideEvent *event) override;

private:
  void showWifiScreen();

  QStackedLayout *main_layout = nullptr;
  QWidget *wifiScreen = nullptr;
  AdvancedNetworking *an = nullptr;
  WifiUI *wifiWidget = nullptr;

public slots:
  void refresh();

private slots:
  void connectToNetwork(const Network n);
  void wrongPassword(const QString &ssid);
  void connectionFailed(const QString &ssid, unsigned int reason);
};
