// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/kept_page.hpp"

#include "preferences/settings.hpp"

namespace fennelview {

std::optional<std::string> keptPage(const Settings& settings, const std::string& documentPath) {
  if (documentPath.empty()) return std::nullopt;
  return settings.preview(documentPath).page;
}

void keepPage(Settings& settings, const std::string& documentPath, const std::string& page) {
  if (!documentPath.empty()) settings.setPreviewPage(documentPath, page);
}

}  // namespace fennelview
