// SPDX-License-Identifier: GPL-3.0-or-later
#include "share/live_page.hpp"

#include <gio/gio.h>

#include <memory>

#include "common/glib_ptr.hpp"
#include "common/random_bytes.hpp"

namespace fennelview {

std::string withLiveScript(std::string_view html, unsigned pageVersion, unsigned cssVersion, bool posted) {
  std::string page(html);
  page += "\n<script src=\"/.fennelview/live.js?page=" + std::to_string(pageVersion) +
          "&amp;css=" + std::to_string(cssVersion) + (posted ? "&amp;posted=1" : "") + "\"></script>\n";
  return page;
}

std::string serverSentEvent(std::string_view data) {
  std::string event;
  event.reserve(data.size() + 16);
  std::size_t start = 0;
  while (true) {
    const auto end = data.find_first_of("\r\n", start);
    event += "data: ";
    event.append(data.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    event += '\n';
    if (end == std::string_view::npos) break;
    start = end + (data.substr(end, 2) == "\r\n" ? 2 : 1);
  }
  event += '\n';
  return event;
}

namespace {

// Compares in time that depends on the length only, not on where the first difference is.
bool sameSecret(std::string_view given, std::string_view token) {
  if (given.size() != token.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < token.size(); ++i) difference |= static_cast<unsigned char>(given[i] ^ token[i]);
  return difference == 0;
}

}  // namespace

std::string tokenCookie(unsigned port) { return "fennelview-token-" + std::to_string(port); }

bool carriesToken(const char* query, const char* cookieHeader, std::string_view token, unsigned port) {
  if (token.empty()) return true;
  if (query) {
    std::unique_ptr<GHashTable, decltype(&g_hash_table_unref)> params(
        g_uri_parse_params(query, -1, "&", G_URI_PARAMS_NONE, nullptr), g_hash_table_unref);
    const auto* given = params ? static_cast<const char*>(g_hash_table_lookup(params.get(), "token")) : nullptr;
    if (given && sameSecret(given, token)) return true;
  }
  if (!cookieHeader) return false;
  // "a=1; fennelview-token=…; b=2"
  const std::string_view cookies(cookieHeader);
  const std::string name = tokenCookie(port) + "=";
  std::size_t start = 0;
  while (start < cookies.size()) {
    const auto end = std::min(cookies.find(';', start), cookies.size());
    auto pair = cookies.substr(start, end - start);
    while (pair.starts_with(' ')) pair.remove_prefix(1);
    if (pair.starts_with(name) && sameSecret(pair.substr(name.size()), token)) return true;
    start = end + 1;
  }
  return false;
}

bool isLoopbackHost(std::string_view host, unsigned port) {
  const std::string suffix = ":" + std::to_string(port);
  if (!host.ends_with(suffix)) return false;
  host.remove_suffix(suffix.size());
  return host == "127.0.0.1" || host == "localhost" || host == "[::1]";
}

std::string newToken() {
  const auto bytes = randomBytes(24);
  static constexpr char digits[] = "0123456789abcdef";
  std::string token;
  for (const auto raw : bytes) {
    const auto byte = static_cast<unsigned char>(raw);
    token += digits[byte >> 4];
    token += digits[byte & 15];
  }
  return token;
}

}  // namespace fennelview
