// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace fennelview {

// An address as a QR code, for a phone's camera: `width` rows of `width` modules, row by row,
// true for dark. Empty when the text does not fit in one.
struct QrCode {
  int width = 0;
  std::vector<bool> dark;
};
QrCode qrCodeOf(const std::string& text);

// The machine's addresses on its networks (IPv4, not loopback), as other devices reach it.
std::vector<std::string> networkAddresses();

}  // namespace fennelview
