// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_resources.hpp"

#include <gio/gio.h>

#include <memory>
#include <mutex>

extern "C" void fennelview_window_register_resource(void);

namespace fennelview {

void registerWindowResources() {
  static std::once_flag once;
  std::call_once(once, [] { fennelview_window_register_resource(); });
}

std::string windowScript(const std::string& name) {
  registerWindowResources();
  const std::string path = "/org/fennelview/Fennelview/window/" + name;
  const std::unique_ptr<GBytes, decltype(&g_bytes_unref)> bytes(
      g_resources_lookup_data(path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr), g_bytes_unref);
  if (!bytes) return {};
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes.get(), &size));
  return std::string(data, size);
}

}  // namespace fennelview
