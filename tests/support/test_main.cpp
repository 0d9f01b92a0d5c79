// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <stdlib.h>

#include "test_support.hpp"

int main(int argc, char** argv) {
  // Tests use the build's resource folder unless a test installs its own.
  setenv("FENNELVIEW_RESOURCES", fennelview::test::realResources().c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
