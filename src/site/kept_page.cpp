// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/kept_page.hpp"

#include "preferences/user_defaults.hpp"

namespace fennelview {

std::optional<std::string> keptPage(const UserDefaults& settings, const std::string& documentPath) {
  if (documentPath.empty()) return std::nullopt;
  const auto kept = settings.dictionaryForKey("preview:" + documentPath);
  return kept ? typedValue<std::string>(*kept, "page") : std::nullopt;
}

void keepPage(UserDefaults& settings, const std::string& documentPath, const std::string& page) {
  if (documentPath.empty()) return;
  const std::string key = "preview:" + documentPath;
  auto kept = settings.dictionaryForKey(key).value_or(nlohmann::json::object_t());
  kept["page"] = page;
  settings.setObject(kept, key);
}

}  // namespace fennelview
