// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include "document/signal.hpp"
#include "preferences/settings.hpp"
#include "share/share_server.hpp"

namespace fennelview {

class WindowController;

// Open in Browser for one window: its server, started when first asked and stopped with the
// window, is told each result the window shows; the address goes to the desktop's browser and is
// offered for copying. With Allow Other Devices (asked with a warning first) the address carries a
// token and is shown as a QR code for a phone.
class BrowserShare {
 public:
  explicit BrowserShare(WindowController& window);
  ~BrowserShare();
  BrowserShare(const BrowserShare&) = delete;
  BrowserShare& operator=(const BrowserShare&) = delete;

  void open();
  void copyAddress();
  // The address the desktop's browser was given; empty before.
  const std::string& address() const { return address_; }

  bool allowsOtherDevices() const;
  // Turning it on asks first; turning it off ends every connection from elsewhere.
  void setAllowOtherDevices(bool allowed);

 private:
  bool start();
  void push();
  void showDeviceAddress();

  WindowController& window_;  // owns this
  std::unique_ptr<ShareServer> server_;
  bool serverAllowsOthers_ = false;
  std::string address_;
  Disposable results_;
  bool following_ = false;
  Settings::Observation allowed_;
};

}  // namespace fennelview
