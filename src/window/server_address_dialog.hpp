// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

namespace fennelview {

// Asks for the address of a server's page, starting from `initial`; `chosen` gets the address
// when it is an http: or https: URL; Show is offered only for such an address.
void askServerAddress(GtkWindow* parent, const std::string& initial, std::function<void(const std::string&)> chosen);

}  // namespace fennelview
