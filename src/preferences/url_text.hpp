// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace fennelview {

// Whether a text is a URL as RFC 3986 writes one: a scheme, only characters a URI may hold
// (so no spaces or non-ASCII), well-formed %XX escapes, and a structure GLib can parse.
bool isValidURL(std::string_view text);

}  // namespace fennelview
