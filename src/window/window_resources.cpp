// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_resources.hpp"

#include <mutex>

extern "C" void fennelview_window_register_resource(void);

namespace fennelview {

void registerWindowResources() {
  static std::once_flag once;
  std::call_once(once, [] { fennelview_window_register_resource(); });
}

}  // namespace fennelview
