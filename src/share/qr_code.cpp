// SPDX-License-Identifier: GPL-3.0-or-later
#include "share/qr_code.hpp"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <qrencode.h>

#include <memory>

namespace fennelview {

QrCode qrCodeOf(const std::string& text) {
  const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
      QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M), QRcode_free);
  if (!code || code->width <= 0) return {};
  QrCode made{code->width, std::vector<bool>(static_cast<std::size_t>(code->width) * code->width)};
  // The lowest bit of each byte is the module's colour; the others say what it belongs to.
  for (std::size_t i = 0; i < made.dark.size(); ++i) made.dark[i] = code->data[i] & 1;
  return made;
}

std::vector<std::string> networkAddresses() {
  std::vector<std::string> found;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return found;
  const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owned(list, freeifaddrs);
  for (const auto* each = list; each; each = each->ifa_next) {
    if (!each->ifa_addr || each->ifa_addr->sa_family != AF_INET || (each->ifa_flags & IFF_LOOPBACK) ||
        !(each->ifa_flags & IFF_UP)) {
      continue;
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(each->ifa_addr);
    if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text)) found.emplace_back(text);
  }
  return found;
}

}  // namespace fennelview
