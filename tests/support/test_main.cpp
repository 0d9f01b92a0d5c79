// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <stdlib.h>

#include "test_support.hpp"

namespace {

// The suite's own home and XDG folders, set before any static initializer or GLib call reads
// them, so no test sees or changes the user's settings, recent files or caches.
__attribute__((constructor(101))) void useOwnHome() {
  static fennelview::test::TempDir home;
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
    const auto folder = home / name;
    std::filesystem::create_directory(folder);
    setenv(name, folder.c_str(), 1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Tests use the build's resource folder unless a test installs its own.
  setenv("FENNELVIEW_RESOURCES", fennelview::test::realResources().c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
