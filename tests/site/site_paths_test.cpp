// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/site_paths.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "common/bounded_read.hpp"

#include "site/content_types.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

namespace fs = std::filesystem;
using namespace test;

TEST(SitePathsTest, UrlPathsDecodeAndNormalizeButNeverClimbOrEnterDotNames) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/img/a%20b.png", "/img/a b.png"}, {"/a/./b/../c.css", "/a/c.css"}, {"/a/..%2Fc.css", "/c.css"},
      {"/", "/"},                         {"/docs/", "/docs/"},            {"/%C3%A9t%C3%A9.html", "/été.html"}};
  for (const auto& [url, expected] : cases) EXPECT_EQ(normalizedUrlPath(url), expected) << url;
  for (const auto* url :
       {"/../x", "/..%2F..%2Fx", "/a/%2e%2e/%2e%2e/x", "/.git/config", "/a/.env", "/x%00.html", "/x%zz"}) {
    EXPECT_EQ(normalizedUrlPath(url), std::nullopt) << url;
  }
  EXPECT_EQ(encodedUrlPath("/img/a b&c.png"), "/img/a%20b%26c.png");
}

TEST(SitePathsTest, RequestsReadOnlyRegularFilesInsideTheProjectAfterLinks) {
  TempDir dir;
  const fs::path root = dir / "site";
  const fs::path web = root / "public";
  fs::create_directories(web / "empty");
  for (const auto& file : {"outside/secret.txt", "site/.git/config", "site/node_modules/kit/kit.css",
                           "site/public/index.html", "site/public/img/logo.png", "site/public/docs/index.html",
                           "site/public/.env", "site/public/.hidden/x.txt"})
    writeFile(dir / file, "x");
  fs::create_symlink("../../outside/secret.txt", web / "leak.txt");
  fs::create_symlink(dir / "outside", web / "out");
  fs::create_symlink("../.git/config", web / "git.txt");
  fs::create_symlink("../node_modules/kit", web / "kit");  // inside the project: allowed
  ASSERT_EQ(mkfifo((web / "pipe").c_str(), 0600), 0);
  const fs::path real = fs::canonical(root);
  const std::vector<std::pair<std::string, fs::path>> served = {
      {"/img/logo.png", real / "public/img/logo.png"}, {"/", real / "public/index.html"},
      {"/docs/", real / "public/docs/index.html"},     {"/kit/kit.css", real / "node_modules/kit/kit.css"}};
  fs::create_symlink(real / "public/img", web / "pictures");  // absolute, inside: allowed
  fs::create_symlink("loop", web / "loop");
  for (const auto& [url, expected] : served) {
    const auto opened = confinedFile(root, web, url);
    EXPECT_EQ(opened ? std::optional(opened->path) : std::nullopt, expected) << url;
    EXPECT_EQ(opened ? readWholeFile(opened->fd.get(), 10) : std::nullopt, "x") << url;
  }
  EXPECT_EQ(confinedFile(root, web, "/pictures/logo.png")->path, real / "public/img/logo.png");
  for (const auto* url : {"/leak.txt", "/out/secret.txt", "/img/..%2F..%2F..%2Foutside/secret.txt", "/git.txt", "/.env",
                          "/.hidden/x.txt", "/empty/", "/pipe", "/missing.png", "/loop"}) {
    EXPECT_FALSE(confinedFile(root, web, url)) << url;
  }
}

TEST(SitePathsTest, AFolderSwappedForALinkOutMeanwhileNeverLeadsOut) {
  TempDir dir;
  writeFiles(dir.path(), {{"site/folder/id.txt", "in"}, {"outside/id.txt", "out"}});
  fs::create_symlink(dir / "outside", dir / "site/link");
  std::atomic<bool> done = false;
  std::thread swapper([&] {
    // "d" flips between a folder inside and a link out of the project, as fast as it can.
    while (!done) {
      for (const auto* name : {"folder", "link"}) {
        fs::rename(dir / "site" / name, dir / "site/d");
        fs::rename(dir / "site/d", dir / "site" / name);
      }
    }
  });
  int escaped = 0;
  for (int i = 0; i < 3000; ++i) {
    const auto opened = confinedFile(dir / "site", dir / "site", "/d/id.txt");
    if (opened && readWholeFile(opened->fd.get(), 10) != "in") ++escaped;
  }
  done = true;
  swapper.join();
  EXPECT_EQ(escaped, 0);
}

TEST(SitePathsTest, AFileAnotherUserPutInASharedFolderIsNeverServed) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  TempDir dir;
  fs::create_directories(dir / "site/uploads");
  fs::permissions(dir / "site/uploads", fs::perms::all | fs::perms::sticky_bit);
  for (const auto* name : {"own.html", "theirs.html"}) writeFile(dir / "site/uploads" / name, "x");
  ASSERT_EQ(chown((dir / "site/uploads/theirs.html").c_str(), 65534, 65534), 0);
  EXPECT_TRUE(confinedFile(dir / "site", dir / "site", "/uploads/own.html"));
  EXPECT_FALSE(confinedFile(dir / "site", dir / "site", "/uploads/theirs.html"));
}

TEST(SitePathsTest, WebRootIsTheHighestFolderWithAnIndexUnlessChosen) {
  TempDir dir;
  fs::create_directories(dir / "public/blog/post");
  fs::create_directories(dir / "docs");
  writeFile(dir / "public/index.html", "");
  writeFile(dir / "public/blog/index.html", "");
  EXPECT_EQ(webRootFor(dir / "public/blog/post/a.html", dir.path()), dir / "public");
  EXPECT_EQ(webRootFor(dir / "docs/a.html", dir.path()), dir.path());
  EXPECT_EQ(webRootFor(dir / "public/blog/post/a.html", dir.path(), fs::path("public/blog")), dir / "public/blog");
  EXPECT_EQ(webRootFor(dir / "public/a.html", dir.path(), fs::path("../..")), dir / "public");
}

// The web's own types are checked where a real page loads them.
TEST(SitePathsTest, ContentTypesIgnoreCaseAndFallBackToGio) {
  EXPECT_EQ(contentTypeFor("a.MJS") + " " + contentTypeFor("a.pdf") + " " + contentTypeFor("a"),
            "text/javascript application/pdf application/octet-stream");
}

}  // namespace
}  // namespace fennelview
