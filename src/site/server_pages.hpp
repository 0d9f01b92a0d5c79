// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fennelview {

// What a page made by a local server is judged by: its address, whether it links the
// document's CSS, whether a project file is a server's template, which saves reload it.

// The address as typed, when it is an http: or https: URL with a host; none otherwise.
std::optional<std::string> serverAddress(std::string_view text);
// The text starts like a server's address, so it is no file's path.
bool looksLikeServerAddress(std::string_view text);
// "localhost:8000" for "http://localhost:8000/blog/": what the user is told the server is.
std::string serverName(std::string_view address);
// "http://localhost:8000", the scheme, host and port an address's pages share.
std::string serverOrigin(std::string_view address);

// The page a server answered links the document's compiled CSS (the stem rule own pages use),
// by a path of its own or a URL of the same origin.
bool linksDocumentCss(std::string_view html, std::string_view origin, std::string_view stem);

// A page that only a server can make: it holds template tags of Django/Jinja, Liquid, PHP or ERB.
bool isServerTemplate(std::string_view text);

// A save of this project file reloads a server's page: any file but the Sass sources, whose saves
// swap the CSS in place, and source maps.
bool reloadsServerPage(const std::filesystem::path& file);
// The files of the project whose saves reload a server's page, bounded as every project walk, and
// the folders they were found in (those where new files are looked for).
struct ServerPageWatchList {
  std::vector<std::string> files;
  std::vector<std::filesystem::path> folders;
};
ServerPageWatchList serverPageWatchList(const std::filesystem::path& projectRoot);

// The project file a server most likely serves at `urlPath` ("/static/css/main.css"): the one
// whose path ends with the most of the URL's segments, at least its name; the shallowest first.
std::optional<std::filesystem::path> projectFileServedAt(const std::filesystem::path& projectRoot, std::string_view urlPath);

// The ports common development servers listen on, and the addresses searched on one port, the
// IPv4 one first.
std::vector<std::uint16_t> commonServerPorts();
std::vector<std::string> loopbackAddresses(std::uint16_t port);

}  // namespace fennelview
