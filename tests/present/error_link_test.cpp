// SPDX-License-Identifier: GPL-3.0-or-later
#include "present/error_link.hpp"

#include <gtest/gtest.h>

namespace fennelview {
namespace {

TEST(ErrorLinkTest, APlaceReadsAsTextWhateverTheEncodingOfItsFileName) {
  EXPECT_EQ(ErrorLink::text({"/srv/caf\xE9/a.scss", 3, 4}), "/srv/caf\uFFFD/a.scss:3:4");
  EXPECT_EQ(ErrorLink::text({"/srv/th\u00E8me.scss", 3, std::nullopt}), "/srv/th\u00E8me.scss:3");
  EXPECT_EQ(ErrorLink::text({"/srv/a.scss", std::nullopt, std::nullopt}), "/srv/a.scss");
}

}  // namespace
}  // namespace fennelview
