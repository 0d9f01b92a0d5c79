#include "common/resources.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "test_support.hpp"

namespace fennelview {
namespace {

// Points FENNELVIEW_RESOURCES somewhere else for one test.
class ResourceFolder : public ::testing::Test {
 protected:
  void use(const std::filesystem::path& path) { setenv("FENNELVIEW_RESOURCES", path.c_str(), 1); }
  void TearDown() override { use(test::realResources()); }
  test::TempDir dir;
};

TEST_F(ResourceFolder, TheBuildFolderHoldsAWorkingCompilerAndTheTemplate) {
  EXPECT_EQ(checkResources(), std::nullopt);
  EXPECT_EQ(resourcePath("sassc"), test::realSassc());
  EXPECT_TRUE(resourcePath("Template/index.html").has_value());
  EXPECT_FALSE(resourcePath("Template/nothing.html").has_value());
}

TEST_F(ResourceFolder, AMissingFolderOrCompilerIsNamedInTheMessage) {
  use(dir / "nowhere");
  EXPECT_NE(checkResources().value_or("").find((dir / "nowhere").string()), std::string::npos);
  EXPECT_FALSE(resourcePath("sassc").has_value());

  use(dir.path());
  EXPECT_NE(checkResources().value_or("").find("sassc"), std::string::npos);

  test::writeFile(dir / "sassc", "#!/bin/sh\n");
  EXPECT_NE(checkResources().value_or("").find("not executable"), std::string::npos);

  std::filesystem::permissions(dir / "sassc", std::filesystem::perms::owner_all);
  EXPECT_NE(checkResources().value_or("").find("index.html"), std::string::npos);
}

}  // namespace
}  // namespace fennelview
