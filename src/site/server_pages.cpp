// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/server_pages.hpp"

#include <glib.h>

#include <algorithm>

#include "common/glib_ptr.hpp"
#include "site/html_links.hpp"
#include "site/site_pages.hpp"
#include "site/site_paths.hpp"

namespace fennelview {

namespace {

struct UriDeleter {
  void operator()(GUri* uri) const { g_uri_unref(uri); }
};
using UriPtr = std::unique_ptr<GUri, UriDeleter>;

UriPtr parsed(std::string_view text) {
  if (text.size() > 4096) return nullptr;
  return UriPtr(g_uri_parse(std::string(text).c_str(), G_URI_FLAGS_NONE, nullptr));
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) { return a == g_ascii_tolower(b); });
}

}  // namespace

bool looksLikeServerAddress(std::string_view text) {
  return startsWithNoCase(text, "http://") || startsWithNoCase(text, "https://");
}

std::optional<std::string> serverAddress(std::string_view text) {
  if (!looksLikeServerAddress(text)) return std::nullopt;
  const auto uri = parsed(text);
  const char* host = uri ? g_uri_get_host(uri.get()) : nullptr;
  if (!host || !*host) return std::nullopt;
  // A name, an IPv4 or a bracketed IPv6 address; hosts compare in lower case.
  const std::string_view hostText = host;
  if (hostText.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-:") != std::string_view::npos) {
    return std::nullopt;
  }
  GCharPtr scheme(g_ascii_strdown(g_uri_get_scheme(uri.get()), -1));
  GCharPtr lowerHost(g_ascii_strdown(host, -1));
  UriPtr built(g_uri_build(G_URI_FLAGS_NONE, scheme.get(), g_uri_get_userinfo(uri.get()), lowerHost.get(), g_uri_get_port(uri.get()),
                           g_uri_get_path(uri.get()), g_uri_get_query(uri.get()), g_uri_get_fragment(uri.get())));
  GCharPtr normal(g_uri_to_string(built.get()));
  std::string address = normal.get();
  // "http://host:8000" is the same page as "http://host:8000/".
  if (!*g_uri_get_path(uri.get()) && !g_uri_get_query(uri.get()) && !g_uri_get_fragment(uri.get())) address += '/';
  return address;
}

std::string serverName(std::string_view address) {
  const auto uri = parsed(address);
  if (!uri || !g_uri_get_host(uri.get())) return std::string(address);
  std::string host = g_uri_get_host(uri.get());
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  const int port = g_uri_get_port(uri.get());
  return port > 0 ? host + ":" + std::to_string(port) : host;
}

std::string serverOrigin(std::string_view address) {
  const auto uri = parsed(address);
  if (!uri || !g_uri_get_host(uri.get())) return {};
  GCharPtr scheme(g_ascii_strdown(g_uri_get_scheme(uri.get()), -1));
  return std::string(scheme.get()) + "://" + serverName(address);
}

bool linksDocumentCss(std::string_view html, std::string_view origin, std::string_view stem) {
  if (stem.empty()) return false;
  const auto links = htmlLinks(html);
  return std::any_of(links.begin(), links.end(), [&](const HtmlLink& link) {
    if (!link.isStylesheet()) return false;
    std::string_view href = link.href;
    // An absolute link to the page's own server counts as its own path.
    if (!origin.empty() && startsWithNoCase(href, origin) && href.substr(origin.size()).starts_with('/')) {
      href.remove_prefix(origin.size());
    }
    return stylesheetStem(href) == stem;
  });
}

bool isServerTemplate(std::string_view text) {
  for (const std::string_view tag : {"{%", "{{", "<?php", "<%="}) {
    if (text.find(tag) != std::string_view::npos) return true;
  }
  return false;
}

bool reloadsServerPage(const std::filesystem::path& file) {
  const std::string extension = file.extension().string();
  return extension != ".scss" && extension != ".sass" && extension != ".map";
}

ServerPageWatchList serverPageWatchList(const std::filesystem::path& projectRoot) {
  ServerPageWatchList list;
  visitProjectFiles(
      projectRoot,
      [&](const std::filesystem::path& file) {
        if (reloadsServerPage(file)) list.files.push_back(file.string());
      },
      [&](const std::filesystem::path& folder) { list.folders.push_back(folder); });
  return list;
}

std::optional<std::filesystem::path> projectFileServedAt(const std::filesystem::path& projectRoot, std::string_view urlPath) {
  const auto path = normalizedUrlPath(urlPath.substr(0, urlPath.find_first_of("?#")));
  if (!path || path->ends_with('/')) return std::nullopt;
  const std::filesystem::path wanted = std::filesystem::path(*path).relative_path();
  std::optional<std::filesystem::path> best;
  std::ptrdiff_t bestCount = 0;
  visitProjectFiles(projectRoot, [&](const std::filesystem::path& file) {
    if (file.filename() != wanted.filename()) return;
    const auto relative = file.lexically_relative(projectRoot);
    auto a = relative.end(), b = wanted.end();
    std::ptrdiff_t count = 0;
    while (a != relative.begin() && b != wanted.begin() && *std::prev(a) == *std::prev(b)) --a, --b, ++count;
    if (count > bestCount) best = file, bestCount = count;
  });
  return best;
}

std::vector<std::uint16_t> commonServerPorts() { return {8000, 8080, 3000, 4000, 5000, 5173, 1313, 4321, 8888, 5500}; }

std::vector<std::string> loopbackAddresses(std::uint16_t port) {
  const std::string suffix = ":" + std::to_string(port) + "/";
  return {"http://127.0.0.1" + suffix, "http://[::1]" + suffix};
}

}  // namespace fennelview
