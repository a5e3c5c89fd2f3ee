#include "ui/qt/network/networking.h"

#include <algorithm>

#include <QCache>
#include <QEvent>
#include <QHBoxLayout>
#include <QHash>
#include <QPalette>
#include <QScrollBar>
#include <QVBoxLayout>

#include "ui/qt/util.h"
#include "ui/qt/widgets/button_style.h"
#include "ui/qt/widgets/input.h"
#include "ui/qt/widgets/scrollview.h"
#include "ui/qt/widgets/ssh_keys.h"

namespace {

// A network's name. A scan mostly brings names that were measured before: the sizes of the names used
// last are kept, per font and name.
class NetworkName : public ElidedLabel {
public:
  explicit NetworkName(QWidget *parent) : ElidedLabel(parent), font_key(font().key()) {}
  QSize sizeHint() const override { return hints().size; }
  QSize minimumSizeHint() const override { return hints().minimum; }

protected:
  // A font's key is dear to make, and layouts ask for the sizes many times per scan.
  void changeEvent(QEvent *event) override {
    if (event->type() == QEvent::FontChange) {
      font_key = font().key();
    }
    ElidedLabel::changeEvent(event);
  }

private:
  struct Hints {
    QSize size;
    QSize minimum;
  };

  Hints hints() const {
    static QCache<QString, Hints> known(1000);
    const QString key = font_key + QLatin1Char('\n') + text();
    if (const Hints *cached = known.object(key)) {
      return *cached;
    }
    const Hints measured = measure();
    known.insert(key, new Hints(measured));
    return measured;
  }

  // QLabel shapes the text three times to find its hint and its minimum; for one line of plain text
  // both are the same box, measured here once with QLabel's own call and margins.
  Hints measure() const {
    const QFontMetrics metrics = fontMetrics();
    const QMargins m = contentsMargins();
    int width = 2 * margin() + m.left() + m.right();
    int height = 2 * margin() + m.top() + m.bottom();
    // A label with a frame and no indent of its own keeps an x's width from the framed side.
    const int indentation =
        indent() < 0 && frameWidth() != 0 ? metrics.horizontalAdvance(QLatin1Char('x')) - 2 * margin() : indent();
    if (indentation > 0) {
      width += alignment() & (Qt::AlignLeft | Qt::AlignRight) ? indentation : 0;
      height += alignment() & (Qt::AlignTop | Qt::AlignBottom) ? indentation : 0;
    }
    const int flags = alignment() & ~(Qt::AlignVCenter | Qt::AlignHCenter);
    const QRect box = metrics.boundingRect(QRect(0, 0, 2000, 2000), flags, text());
    const QSize size = QSize(box.width() + width, box.height() + height).expandedTo(minimumSize());
    return {size, size};
  }

  QString font_key;
};

// The lock, the tick and the slash share one column, even when a row shows none.
constexpr int kStatusIconWidth = 49;

// Every list shows the same few icons at the same sizes: each is drawn once per process.
QPixmap loadIcon(const QString &path, bool scale_to_height) {
  static QHash<QString, QPixmap> drawn;
  const QString key = path + (scale_to_height ? QStringLiteral("@height") : QStringLiteral("@width"));
  auto it = drawn.constFind(key);
  if (it == drawn.constEnd()) {
    const QPixmap pix(path);
    it = drawn.insert(key, pix.isNull()      ? pix
                           : scale_to_height ? pix.scaledToHeight(68, Qt::SmoothTransformation)
                                             : pix.scaledToWidth(kStatusIconWidth, Qt::SmoothTransformation));
  }
  return *it;
}

const QString kListStyle = QStringLiteral(R"(
  QScrollBar::handle:vertical {
    min-height: 0px;
    border-radius: 4px;
    background-color: #8A8A8A;
  }
  #forgetBtn {
    font-size: 32px;
    font-weight: 600;
    color: #292929;
    background-color: #BDBDBD;
    border-width: 1px solid #828282;
    border-radius: 5px;
    padding: 40px;
    padding-bottom: 16px;
    padding-top: 16px;
  }
  #forgetBtn:pressed {
    background-color: #828282;
  }
  #connecting {
    font-size: 32px;
    font-weight: 600;
    color: white;
    border-radius: 0;
    padding: 27px;
    padding-left: 43px;
    padding-right: 43px;
    background-color: black;
  }
  #ssidLabel {
    text-align: left;
    border: none;
    padding-top: 50px;
    padding-bottom: 50px;
  }
  #ssidLabel:disabled {
    color: #696969;
  }
)");

// Rows ready when a scan is shown: more than a screen holds. The rest are built a few at a time
// between events, so a long list never holds the screen up.
constexpr int kRowsBuiltAtOnce = 12;
constexpr int kRowsBuiltPerStep = 8;

bool isBold(const Network &n) {
  return n.connected != ConnectedType::DISCONNECTED;
}

// A new picture lays the row out again, and with it the whole list, unless the label's size is fixed:
// each picture fixes the size its label would take, so swapping one for another of the same size only
// repaints. A label is never narrower than `min_width`. A label puts its picture half its height less
// half the picture's height down, each half rounded down, where the row centres the label: with the
// height made even the picture lands on the pixel it had in a label as tall as the row.
void showPicture(QLabel *label, const QPixmap &pixmap, int min_width) {
  if (label->pixmap(Qt::ReturnByValue).cacheKey() != pixmap.cacheKey()) {
    label->setFixedSize(std::max(pixmap.width(), min_width), pixmap.height() + pixmap.height() % 2);
    label->setPixmap(pixmap);
  }
}

// Showing a shown widget again still costs a pass over its state; a scan mostly changes none.
void showIf(QWidget *widget, bool visible) {
  if (widget->isHidden() == visible) {
    widget->setVisible(visible);
  }
}

// Why a join failed, in words a driver understands, from the reasons NetworkManager gives.
QString joinFailure(NM::Reason reason) {
  switch (reason) {
    case NM::Reason::SsidNotFound:
      return Networking::tr("The network is out of range.");
    case NM::Reason::IpConfigUnavailable:
    case NM::Reason::IpConfigExpired:
    case NM::Reason::DhcpStartFailed:
    case NM::Reason::DhcpError:
    case NM::Reason::DhcpFailed:
      return Networking::tr("The network gave this device no address.");
    case NM::Reason::SupplicantTimeout:
      return Networking::tr("The network did not answer in time.");
    case NM::Reason::NowUnmanaged:
    case NM::Reason::SupplicantFailed:
    case NM::Reason::Removed:
      return Networking::tr("The Wi-Fi of this device is not available.");
    default:
      return Networking::tr("Try again.");
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Networking

Networking::Networking(QWidget *parent, bool show_advanced) : QFrame(parent) {
  // Styled before its pages are built: building them polishes some of their widgets, and in a
  // window that already has a style sheet a sheet set afterwards would not reach those.
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(0x29, 0x29, 0x29));
  setAutoFillBackground(true);
  setPalette(pal);

  setStyleSheet(QStringLiteral(R"(
    #back_btn, #advanced_btn {
      font-size: 50px;
      margin: 0px;
      padding: 15px;
      border-width: 0;
      border-radius: 30px;
      color: #dddddd;
    }
  )") + panelButtonStyle({QStringLiteral("#back_btn"), QStringLiteral("#advanced_btn")}));

  main_layout = new QStackedLayout(this);

  wifi = new WifiManager(this);
  connect(wifi, &WifiManager::refreshSignal, this, &Networking::refresh);
  connect(wifi, &WifiManager::wrongPassword, this, &Networking::wrongPassword);
  connect(wifi, &WifiManager::connectionFailed, this, &Networking::connectionFailed);

  wifiScreen = new QWidget(this);
  QVBoxLayout *vlayout = new QVBoxLayout(wifiScreen);
  vlayout->setContentsMargins(20, 20, 20, 20);
  QPushButton *advancedSettings = nullptr;
  if (show_advanced) {
    advancedSettings = new QPushButton(tr("Advanced"));
    advancedSettings->setObjectName(QStringLiteral("advanced_btn"));
    advancedSettings->setStyleSheet(QStringLiteral("margin-right: 30px;"));
    advancedSettings->setFixedSize(400, 100);
    vlayout->addSpacing(10);
    vlayout->addWidget(advancedSettings, 0, Qt::AlignRight);
    vlayout->addSpacing(10);
  }

  wifiWidget = new WifiUI(this, wifi);
  wifiWidget->setObjectName(QStringLiteral("wifiWidget"));
  connect(wifiWidget, &WifiUI::connectToNetwork, this, &Networking::connectToNetwork);

  ScrollView *wifiScroller = new ScrollView(wifiWidget, this);
  wifiScroller->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  vlayout->addWidget(wifiScroller, 1);
  main_layout->addWidget(wifiScreen);

  an = new AdvancedNetworking(this, wifi);
  connect(an, &AdvancedNetworking::backPress, this, &Networking::showWifiScreen);
  connect(an, &AdvancedNetworking::requestWifiScreen, this, &Networking::showWifiScreen);
  main_layout->addWidget(an);
  if (advancedSettings) {
    connect(advancedSettings, &QPushButton::clicked, this, [this]() { main_layout->setCurrentWidget(an); });
  }

  main_layout->setCurrentWidget(wifiScreen);
}

void Networking::refresh() {
  wifiWidget->refresh();
  an->refresh();
}

void Networking::showWifiScreen() {
  main_layout->setCurrentWidget(wifiScreen);
}

void Networking::connectToNetwork(const Network n) {
  const QString ssid = ssidText(n.ssid);
  if (wifi->isKnownConnection(ssid)) {
    wifi->activateWifiConnection(ssid);
  } else if (n.security_type == SecurityType::OPEN) {
    wifi->connect(n, false, {}, {});
  } else if (n.security_type == SecurityType::WPA) {
    const QString pass = InputDialog::getText(tr("Enter password"), this, tr("for \"%1\"").arg(ssid), true, 8);
    if (!pass.isEmpty()) {
      wifi->connect(n, false, pass, {});
    }
  }
}

void Networking::wrongPassword(const QString &ssid) {
  const auto it = wifi->seenNetworks.constFind(ssid);
  if (it == wifi->seenNetworks.constEnd())
    return;

  const Network n = it.value();
  const QString pass =
      InputDialog::getText(tr("Wrong password"), this, tr("for \"%1\"").arg(ssidText(n.ssid)), true, 8);
  if (!pass.isEmpty()) {
    wifi->connect(n, false, pass, {});
  }
}

// Told only while the panel shows: over another page the question would come out of nowhere.
void Networking::connectionFailed(const QString &ssid, unsigned int reason) {
  if (isVisible()) {
    ConfirmationDialog::alert(
        tr("Could not connect to \"%1\"").arg(ssid) + QLatin1Char('\n') + joinFailure(NM::Reason(reason)), this);
  }
}

void Networking::showEvent(QShowEvent *event) {
  QFrame::showEvent(event);
  wifi->start();
}

void Networking::hideEvent(QHideEvent *event) {
  main_layout->setCurrentWidget(wifiScreen);
  wifi->stop();
  QFrame::hideEvent(event);
}

// ---------------------------------------------------------------------------
// AdvancedNetworking

AdvancedNetworking::AdvancedNetworking(QWidget *parent, WifiManager *wifi) : QWidget(parent), wifi(wifi) {
  QVBoxLayout *main_layout = new QVBoxLayout(this);
  main_layout->setContentsMargins(40, 40, 40, 40);
  main_layout->setSpacing(20);

  QPushButton *back = new QPushButton(tr("Back"));
  back->setObjectName(QStringLiteral("back_btn"));
  back->setFixedSize(400, 100);
  connect(back, &QPushButton::clicked, this, &AdvancedNetworking::backPress);
  if (wifi != nullptr) {
    connect(wifi, &WifiManager::wrongPassword, this, &AdvancedNetworking::hiddenNetworkRefused);
  }
  main_layout->addWidget(back, 0, Qt::AlignLeft);

  ListWidget *list = new ListWidget(this);

  tetheringToggle = new ToggleControl(tr("Enable Tethering"), QString(), QString(), wifi->isTetheringEnabled());
  list->addItem(tetheringToggle);
  connect(tetheringToggle, &ToggleControl::toggleFlipped, this, &AdvancedNetworking::toggleTethering);

  ButtonControl *editPasswordButton = new ButtonControl(tr("Tethering Password"), tr("EDIT"));
  connect(editPasswordButton, &ButtonControl::clicked, this, &AdvancedNetworking::editTetheringPassword);
  list->addItem(editPasswordButton);

  ipLabel = new LabelControl(tr("IP Address"), wifi->ipv4_address);
  list->addItem(ipLabel);

  list->addItem(new SshToggle());
  list->addItem(new SshControl());

  const bool roamingEnabled = params.getBool("GsmRoaming");
  roamingToggle = new ToggleControl(tr("Enable Roaming"), QString(), QString(), roamingEnabled);
  connect(roamingToggle, &ToggleControl::toggleFlipped, this, &AdvancedNetworking::roamingFlipped);
  list->addItem(roamingToggle);

  editApnButton = new ButtonControl(tr("APN Setting"), tr("EDIT"));
  connect(editApnButton, &ButtonControl::clicked, this, &AdvancedNetworking::editApn);
  list->addItem(editApnButton);

  const bool metered = params.getBool("GsmMetered");
  meteredToggle = new ToggleControl(tr("Cellular Metered"),
                                    tr("Prevent large data uploads when on a metered connection"), QString(), metered);
  connect(meteredToggle, &ToggleControl::toggleFlipped, this, &AdvancedNetworking::meteredFlipped);
  list->addItem(meteredToggle);

  hiddenNetworkButton = new ButtonControl(tr("Hidden Network"), tr("CONNECT"));
  connect(hiddenNetworkButton, &ButtonControl::clicked, this, &AdvancedNetworking::connectToHiddenNetwork);
  list->addItem(hiddenNetworkButton);

  wifi->updateGsmSettings(roamingEnabled, storedApn(), metered);

  // A scroll area asks for no more than 24 lines of its own font, which would cut the list to its
  // first rows on a tall page; the list keeps its rows at the top by itself.
  main_layout->addWidget(new ScrollView(list, this), 1);
}

// The store, not the rows, holds the cellular settings: each change re-reads the other two.
void AdvancedNetworking::roamingFlipped(bool state) {
  params.putBool("GsmRoaming", state);
  wifi->updateGsmSettings(state, storedApn(), params.getBool("GsmMetered"));
}

void AdvancedNetworking::meteredFlipped(bool state) {
  params.putBool("GsmMetered", state);
  wifi->updateGsmSettings(params.getBool("GsmRoaming"), storedApn(), state);
}

QString AdvancedNetworking::storedApn() const {
  return QString::fromStdString(params.get("GsmApn"));
}

void AdvancedNetworking::editTetheringPassword() {
  const QString pass =
      InputDialog::getText(tr("Enter new tethering password"), this, QString(), true, 8, wifi->getTetheringPassword());
  if (!pass.isEmpty()) {
    wifi->changeTetheringPassword(pass);
  }
}

void AdvancedNetworking::editApn() {
  const QString entered = InputDialog::getText(tr("Enter APN"), this, tr("leave blank for automatic configuration"),
                                               false, -1, storedApn());
  // A cancelled prompt must keep the stored APN.
  if (entered.isNull())
    return;

  const QString apn = entered.trimmed();
  if (apn.isEmpty()) {
    params.remove("GsmApn");
  } else {
    params.put("GsmApn", apn.toStdString());
  }
  wifi->updateGsmSettings(params.getBool("GsmRoaming"), apn, params.getBool("GsmMetered"));
}

void AdvancedNetworking::connectToHiddenNetwork() {
  const QString ssid = InputDialog::getText(tr("Enter SSID"), this, QString(), false, 1);
  if (ssid.isEmpty())
    return;

  const QString pass = InputDialog::getText(tr("Enter password"), this, tr("for \"%1\"").arg(ssid), true, -1);
  // Cancelling the password step must not join anything.
  if (pass.isNull())
    return;

  const Network hidden_network{ssid.toUtf8(), 0, ConnectedType::DISCONNECTED,
                               pass.isEmpty() ? SecurityType::OPEN : SecurityType::WPA};
  hidden_ssid = ssid;
  wifi->connect(hidden_network, true, pass, {});
  emit requestWifiScreen();
}

// The Wi-Fi list asks again for the networks it shows; a hidden one that it does not show is
// asked for here, on the panel, which is what the user sees by then.
void AdvancedNetworking::hiddenNetworkRefused(const QString &ssid) {
  if (ssid != hidden_ssid || wifi->seenNetworks.contains(ssid)) {
    return;
  }
  QWidget *dialog_parent = parentWidget() ? parentWidget() : this;
  const QString pass = InputDialog::getText(tr("Wrong password"), dialog_parent, tr("for \"%1\"").arg(ssid), true, 8);
  if (!pass.isEmpty()) {
    wifi->connect(Network{ssid.toUtf8(), 0, ConnectedType::DISCONNECTED, SecurityType::WPA}, true, pass, {});
  }
}

void AdvancedNetworking::toggleTethering(bool enabled) {
  wifi->setTetheringEnabled(enabled);
  tetheringToggle->setEnabled(false);
}

void AdvancedNetworking::refresh() {
  ipLabel->setText(wifi->ipv4_address);
  tetheringToggle->setEnabled(true);
  update();
}

// ---------------------------------------------------------------------------
// WifiUI

WifiUI::WifiUI(QWidget *parent, WifiManager *wifi) : QWidget(parent), wifi(wifi) {
  // Set before the children exist, so each is styled once.
  setStyleSheet(kListStyle);

  QVBoxLayout *main_layout = new QVBoxLayout(this);
  main_layout->setContentsMargins(0, 0, 0, 0);
  main_layout->setSpacing(0);

  for (const char *level : {"low", "medium", "high", "full"}) {
    strengths.push_back(loadIcon(
        ASSET_PATH + QStringLiteral("/offroad/icon_wifi_strength_") + QLatin1String(level) + QStringLiteral(".svg"),
        true));
  }
  lock = loadIcon(ASSET_PATH + QStringLiteral("offroad/icon_lock_closed.svg"), false);
  checkmark = loadIcon(ASSET_PATH + QStringLiteral("offroad/icon_checkmark.svg"), false);
  circled_slash = loadIcon(ASSET_PATH + QStringLiteral("img_circled_slash.svg"), false);

  scanningLabel = new QLabel(tr("Scanning for networks..."));
  scanningLabel->setStyleSheet(QStringLiteral("font-size: 65px;"));
  main_layout->addWidget(scanningLabel, 0, Qt::AlignCenter);

  wifi_list_widget = new ListWidget(this);
  wifi_list_widget->setVisible(false);
  main_layout->addWidget(wifi_list_widget);

  row_builder.setInterval(0);
  connect(&row_builder, &QTimer::timeout, this, &WifiUI::buildMoreRows);
}

QPixmap WifiUI::statusIcon(const Network &n) const {
  if (n.connected == ConnectedType::CONNECTED)
    return checkmark;
  if (n.security_type == SecurityType::WPA)
    return lock;
  if (n.security_type == SecurityType::UNSUPPORTED)
    return circled_slash;
  return QPixmap();
}

void WifiUI::refresh() {
  const bool is_empty = wifi->seenNetworks.isEmpty();
  scanningLabel->setVisible(is_empty);
  if (is_empty) {
    wifi_list_widget->setVisible(false);
    row_builder.stop();
    return;
  }

  // A row that changes in a shown list lays the whole list out again at once; with the list's layout
  // off it is laid out once, after the last row. Repaints wait for the event loop anyway, so what
  // changed is drawn once.
  wifi_list_widget->layout()->setEnabled(false);
  assignRows();
  for (int n = 0; n < listed.size(); ++n) {
    if (row_of[n] != nullptr || n < kRowsBuiltAtOnce) {
      showRow(n);
    }
  }
  for (WifiItem *row : qAsConst(wifi_items)) {
    if (!row_of.contains(row)) {
      showIf(row, false);
    }
  }
  wifi_list_widget->layout()->setEnabled(true);
  // Shown after its rows, for the same reason.
  wifi_list_widget->setVisible(true);

  if (row_of.contains(nullptr)) {
    row_builder.start();
  } else {
    row_builder.stop();
  }
}

// Connected and strongest first; asks the manager once about tethering and once per network. Made
// in place: the list keeps its room from one scan to the next.
void WifiUI::listNetworks() {
  const bool is_tethering_enabled = wifi->isTetheringEnabled();
  listed.clear();
  for (const Network &network : qAsConst(wifi->seenNetworks)) {
    listed.push_back({network, !is_tethering_enabled && wifi->isKnownConnection(ssidText(network.ssid))});
  }
  std::sort(listed.begin(), listed.end(),
            [](const ListedNetwork &a, const ListedNetwork &b) { return compare_by_strength(a.network, b.network); });
}

// A scan mostly brings the same networks in a new order. Each network keeps the row that showed it,
// so that a row moves instead of being filled again; networks new to the list take the rows that no
// network keeps, and the rest wait to be built.
void WifiUI::assignRows() {
  QHash<QByteArray, WifiItem *> kept;
  for (int n = 0; n < row_of.size(); ++n) {
    if (row_of[n] != nullptr) {
      kept.insert(listed[n].network.ssid, row_of[n]);
    }
  }
  listNetworks();
  row_of.fill(nullptr, listed.size());
  for (int n = 0; n < listed.size(); ++n) {
    row_of[n] = kept.take(listed[n].network.ssid);
  }
  auto unkept = wifi_items.cbegin();
  for (WifiItem *&row : row_of) {
    while (row == nullptr && unkept != wifi_items.cend()) {
      if (!row_of.contains(*unkept)) {
        row = *unkept;
      }
      ++unkept;
    }
  }
}

// Builds the row when it has none yet, and puts it under the rows above it.
void WifiUI::showRow(int n) {
  const ListedNetwork &listed_network = listed[n];
  const Network &network = listed_network.network;
  WifiItem *&row = row_of[n];
  if (row == nullptr) {
    row = newItem();
  }
  row->setItem(network, statusIcon(network), listed_network.show_forget_btn,
               strengths[strengthLevel(network.strength)]);
  wifi_list_widget->moveItem(row, n - std::count(row_of.cbegin(), row_of.cbegin() + n, nullptr));
  showIf(row, true);
}

void WifiUI::buildMoreRows() {
  wifi_list_widget->layout()->setEnabled(false);
  for (int n = 0, built = 0; n < listed.size() && built < kRowsBuiltPerStep; ++n) {
    if (row_of[n] == nullptr) {
      showRow(n);
      ++built;
    }
  }
  wifi_list_widget->layout()->setEnabled(true);
  if (!row_of.contains(nullptr)) {
    row_builder.stop();
  }
}

// Made in the list directly, so the row and its parts are styled once, in their final place.
WifiItem *WifiUI::newItem() {
  auto *item = new WifiItem(tr("CONNECTING..."), tr("FORGET"), wifi_list_widget);
  connect(item, &WifiItem::connectToNetwork, this, &WifiUI::connectToNetwork);
  connect(item, &WifiItem::forgotNetwork, this, &WifiUI::confirmForget);
  wifi_list_widget->addItem(item);
  wifi_items.push_back(item);
  return item;
}

void WifiUI::confirmForget(const Network &n) {
  const QString ssid = ssidText(n.ssid);
  if (ConfirmationDialog::confirm(tr("Forget Wi-Fi Network \"%1\"?").arg(ssid), tr("Forget"), this)) {
    wifi->forgetConnection(ssid);
  }
}

// ---------------------------------------------------------------------------
// WifiItem

WifiItem::WifiItem(const QString &connecting_text, const QString &forget_text, QWidget *parent) : QWidget(parent) {
  QHBoxLayout *hlayout = new QHBoxLayout(this);
  hlayout->setContentsMargins(44, 0, 73, 0);
  hlayout->setSpacing(50);

  hlayout->addWidget(ssidLabel = new NetworkName(this));
  ssidLabel->setObjectName(QStringLiteral("ssidLabel"));
  ssidLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  ssidLabel->setFont(InterFont(55, QFont::Normal));
  hlayout->addWidget(connecting = new QPushButton(connecting_text, this), 0, Qt::AlignRight);
  connecting->setObjectName(QStringLiteral("connecting"));
  hlayout->addWidget(forgetBtn = new QPushButton(forget_text, this), 0, Qt::AlignRight);
  forgetBtn->setObjectName(QStringLiteral("forgetBtn"));
  hlayout->addWidget(iconLabel = new QLabel(this), 0, Qt::AlignRight);
  hlayout->addWidget(strengthLabel = new QLabel(this), 0, Qt::AlignRight);
  // Empty pictures to start from, so that setItem can leave a picture that stays the same alone.
  iconLabel->setFixedSize(kStatusIconWidth, 0);
  iconLabel->setPixmap(QPixmap());
  strengthLabel->setFixedSize(0, 0);
  strengthLabel->setPixmap(QPixmap());

  connect(forgetBtn, &QPushButton::clicked, this, [this]() { emit forgotNetwork(network); });
  connect(ssidLabel, &ElidedLabel::clicked, this, [this]() {
    if (network.connected == ConnectedType::DISCONNECTED)
      emit connectToNetwork(network);
  });
}

void WifiItem::setItem(const Network &n, const QPixmap &status_icon, bool show_forget_btn,
                       const QPixmap &strength_icon) {
  if (isBold(n) != isBold(network)) {
    ssidLabel->setFont(InterFont(55, isBold(n) ? QFont::Bold : QFont::Normal));
  }
  network = n;

  ssidLabel->setText(ssidText(n.ssid));
  ssidLabel->setEnabled(n.security_type != SecurityType::UNSUPPORTED);

  showIf(connecting, n.connected == ConnectedType::CONNECTING);
  showIf(forgetBtn, show_forget_btn);

  showPicture(iconLabel, status_icon, kStatusIconWidth);
  showPicture(strengthLabel, strength_icon, 0);
}
