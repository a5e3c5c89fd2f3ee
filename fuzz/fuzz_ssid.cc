// SSID bytes as access points report them, to the name the Wi-Fi list shows: a row shows the
// bytes up to the first zero byte decoded as UTF-8, whatever they are, and the list's order is a
// strict weak order whatever the names, strengths and states.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

#include <QPixmap>

#include "fuzz/fuzz_support.h"
#include "ui/qt/network/networking.h"
#include "ui/qt/network/wifi_manager.h"

namespace {

struct Row : WifiItem {
  using WifiItem::ssidLabel;
  using WifiItem::WifiItem;
};

Network networkFrom(FuzzedDataProvider &input) {
  const std::string ssid = input.ConsumeRandomLengthString(64);
  return {QByteArray(ssid.data(), static_cast<int>(ssid.size())), input.ConsumeIntegral<uint8_t>(),
          input.PickValueInArray({ConnectedType::DISCONNECTED, ConnectedType::CONNECTING, ConnectedType::CONNECTED}),
          input.PickValueInArray({SecurityType::OPEN, SecurityType::WPA, SecurityType::UNSUPPORTED})};
}

QString nameOf(const QByteArray &ssid) {
  const int nul = ssid.indexOf('\0');
  const QByteArray name = nul < 0 ? ssid : ssid.left(nul);
  return QString::fromUtf8(name.constData(), name.size());
}

// The row the list reuses for every network, painted with each name.
void checkShownName(Row &row, const Network &n) {
  fuzz::check(ssidText(n.ssid) == nameOf(n.ssid), QStringLiteral("SSID text"));
  row.setItem(n, QPixmap(), false, QPixmap());
  fuzz::check(row.ssidLabel->text() == nameOf(n.ssid), QStringLiteral("shown name"));
  row.grab();
}

void checkStrictWeakOrder(const QVector<Network> &networks) {
  for (const Network &a : networks) {
    fuzz::check(!compare_by_strength(a, a), QStringLiteral("irreflexive"));
    for (const Network &b : networks) {
      fuzz::check(!(compare_by_strength(a, b) && compare_by_strength(b, a)), QStringLiteral("asymmetric"));
      for (const Network &c : networks) {
        if (compare_by_strength(a, b) && compare_by_strength(b, c)) {
          fuzz::check(compare_by_strength(a, c), QStringLiteral("transitive"));
        }
      }
    }
  }
  QVector<Network> sorted = networks;
  std::sort(sorted.begin(), sorted.end(), compare_by_strength);
  fuzz::check(std::is_sorted(sorted.begin(), sorted.end(), compare_by_strength), QStringLiteral("sorted"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz::application();
  static Row *row = [] {
    auto *r = new Row(QStringLiteral("CONNECTING..."), QStringLiteral("FORGET"));
    r->resize(1500, 150);
    return r;
  }();

  FuzzedDataProvider input(data, size);
  QVector<Network> networks;
  while (input.remaining_bytes() > 0 && networks.size() < 4) {
    networks << networkFrom(input);
  }
  for (const Network &n : networks) {
    checkShownName(*row, n);
  }
  checkStrictWeakOrder(networks);
  return 0;
}
