// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <webkit/webkit.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "site/served_site.hpp"

namespace fennelview {

// The app's own URI scheme, "fennelview-site://HOST/PATH", through which a project's pages and
// everything they load are shown. Registered as secure and CORS-enabled, so module scripts and
// fetch() work as on a web server. Each served site is an origin of its own that no other can
// read: HOST is the same for the same project, web root and document while the app runs, but no
// page can work it out, nothing is answered to another origin, and no answer allows one. Files
// are streamed from disk as ServedSite opened them; the compiled CSS comes from memory. Main thread.
class SiteScheme {
 public:
  static constexpr const char* scheme = "fennelview-site";

  // The scheme of `context`, registered on first use; it lives as long as the context.
  static SiteScheme& of(WebKitWebContext* context);

  // Made through of() only.
  class Key {
    friend class SiteScheme;
    Key() = default;
  };
  SiteScheme(WebKitWebContext* context, Key);
  SiteScheme(const SiteScheme&) = delete;
  SiteScheme& operator=(const SiteScheme&) = delete;

  // Serves `site` for as long as the caller keeps it (requests to it get 404 afterwards).
  // Serving a second site with the same origin takes over until it goes.
  void serve(const std::shared_ptr<ServedSite>& site);
  // The origin a site is served at, "fennelview-site://HOST".
  static std::string originOf(const ServedSite& site);
  // The URI that shows a file of the site; none outside its web root.
  static std::optional<std::string> uriOf(const ServedSite& site, const std::filesystem::path& file);

 private:
  static void handleRequest(WebKitURISchemeRequest* request, gpointer self);
  void respond(WebKitURISchemeRequest* request);
  std::shared_ptr<ServedSite> siteAt(const std::string& host);

  // By host; the last one still alive answers.
  std::map<std::string, std::vector<std::weak_ptr<ServedSite>>> sites_;
};

}  // namespace fennelview
