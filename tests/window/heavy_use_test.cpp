// Real windows under real pressure: save storms, many windows, files that fight back and
// style sheets that compile to megabytes of CSS.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "gui_test_support.hpp"
#include "test_support.hpp"
#include "window/render_view_controller.hpp"

namespace fennelview {
namespace {

using namespace test;

constexpr const char* savedValue = "getComputedStyle(document.documentElement).getPropertyValue('--saved').trim()";
constexpr const char* errorText = "document.getElementById('fennelview-error').textContent";

std::string savedSheet(const std::string& value) { return ":root { --saved: " + value + "; }\n"; }

WebKitWebView* viewOf(const std::shared_ptr<WindowController>& window) {
  return window->renderViewController().webView();
}

// Waits until the window's error panel holds `fragment`; returns the panel's text.
std::string waitForError(const std::shared_ptr<WindowController>& window, const std::string& fragment) {
  std::string script = errorText;
  script += ".includes(" + std::string(1, '"');
  for (char c : fragment) script += (c == '"' || c == '\\') ? std::string{'\\', c} : std::string{c};
  script += "\")";
  waitForPage(viewOf(window), script, "true");
  return evaluate(viewOf(window), errorText).value_or("(no page)");
}

class HeavyUse : public ::testing::Test {
 protected:
  void TearDown() override {
    for (auto& window : windows_) closeWindow(window);
  }
  std::shared_ptr<WindowController> open(const std::filesystem::path& file) {
    windows_.push_back(openWindow(file));
    return windows_.back();
  }

  TempDir dir;

 private:
  std::vector<std::shared_ptr<WindowController>> windows_;
};

TEST_F(HeavyUse, SaveStormEndsWithEveryWindowShowingTheLastSaveAndNoCompilerLeft) {
  const auto file = dir / "storm.scss";
  writeFile(file, savedSheet("0"));
  auto first = open(file);
  auto second = open(file);
  ASSERT_EQ(waitForPage(viewOf(first), savedValue, "0"), "0");

  // The main loop's longest pause while the saves pour in: how responsive the app stays.
  struct Ticks {
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration longest{};
  } ticks;
  const guint ticker = g_timeout_add(5, +[](gpointer data) -> gboolean {
    auto& t = *static_cast<Ticks*>(data);
    const auto now = std::chrono::steady_clock::now();
    t.longest = std::max(t.longest, now - t.last);
    t.last = now;
    return G_SOURCE_CONTINUE;
  }, &ticks);

  // Another program saving as fast as it can, in place and by rename in turn.
  std::atomic<bool> stormOver = false;
  std::thread script([&] {
    for (int i = 1; i <= 200; ++i) {
      if (i % 2) {
        writeFile(file, savedSheet(std::to_string(i)));
      } else {
        writeFileByRename(file, savedSheet(std::to_string(i)));
      }
    }
    stormOver = true;
  });
  runUntil([&] { return stormOver.load(); }, std::chrono::seconds(60));
  script.join();
  const auto stormEnd = std::chrono::steady_clock::now();

  for (const auto& window : {first, second}) {
    EXPECT_EQ(waitForPage(viewOf(window), savedValue, "200"), "200");
  }
  const auto settled = std::chrono::steady_clock::now();
  g_source_remove(ticker);
  EXPECT_TRUE(runUntil([] { return sasscChildren() == 0; }, std::chrono::seconds(10)));
  for (const auto& window : {first, second}) EXPECT_EQ(window->sassDocument()->parser().runningCount(), 0u);
  std::printf("[ storm    ] 200 saves started %llu and %llu compiles; longest main loop pause %.1f ms; "
              "last page %.0f ms after the last save\n",
              static_cast<unsigned long long>(first->sassDocument()->parser().startedCount()),
              static_cast<unsigned long long>(second->sassDocument()->parser().startedCount()),
              std::chrono::duration<double, std::milli>(ticks.longest).count(),
              std::chrono::duration<double, std::milli>(settled - stormEnd).count());
}

TEST_F(HeavyUse, FiftyWindowsEachShowTheirOwnFileAfterASave) {
  constexpr int count = 50;
  std::vector<std::shared_ptr<WindowController>> windows;
  for (int i = 0; i < count; ++i) {
    const auto file = dir / ("sheet" + std::to_string(i) + ".scss");
    writeFile(file, savedSheet("first-" + std::to_string(i)));
    windows.push_back(open(file));
  }
  for (int i = 0; i < count; ++i) {
    writeFileByRename(dir / ("sheet" + std::to_string(i) + ".scss"), savedSheet("second-" + std::to_string(i)));
  }
  for (int i = 0; i < count; ++i) {
    const auto expected = "second-" + std::to_string(i);
    EXPECT_EQ(waitForPage(viewOf(windows[i]), savedValue, expected), expected);
  }
}

TEST_F(HeavyUse, AFileDeletedWhileOpenSaysSoAndComesBackByRename) {
  const auto file = dir / "gone.scss";
  writeFile(file, savedSheet("before"));
  auto window = open(file);
  ASSERT_EQ(waitForPage(viewOf(window), savedValue, "before"), "before");

  std::filesystem::remove(file);
  EXPECT_NE(waitForError(window, "not found").find("not found"), std::string::npos);
  writeFileByRename(file, savedSheet("after"));
  EXPECT_EQ(waitForPage(viewOf(window), savedValue, "after"), "after");
  EXPECT_EQ(evaluate(viewOf(window), errorText), "");

  std::filesystem::rename(file, dir / "elsewhere.scss");
  EXPECT_NE(waitForError(window, "not found").find("not found"), std::string::npos);
}

TEST_F(HeavyUse, HostileFilesShowAMessageInTheirWindow) {
  std::filesystem::create_directories(dir / "folder.scss");
  writeFile(dir / "latin1.scss", ".a { content: \"caf\xE9\"; }\n");
  writeFile(dir / "import.scss", "@import \"missing-partial\";\n");
  writeFile(dir / "forever.scss", "$i: 0;\n@while $i < 1 { .a { b: c; } }\n");
  std::string binary(4096, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 131 + 7) % 256);
  writeFile(dir / "binary.scss", binary);

  // The time limit is read when a document's compiler is made.
  setenv("FENNELVIEW_COMPILE_TIMEOUT", "2", 1);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"folder.scss", "not found or unreadable"}, {"latin1.scss", "Invalid UTF-8"},
      {"import.scss", "File to import not found"}, {"binary.scss", "rror"},
      {"forever.scss", "timed out: sassc was still running after 2 seconds"},
  };
  std::vector<std::shared_ptr<WindowController>> windows;
  for (const auto& [name, fragment] : cases) windows.push_back(open(dir / name));
  unsetenv("FENNELVIEW_COMPILE_TIMEOUT");
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].first);
    const auto shown = waitForError(windows[i], cases[i].second);
    EXPECT_NE(shown.find(cases[i].second), std::string::npos) << shown;
    EXPECT_TRUE(labelOf(*windows[i]).ends_with(" 0s")) << labelOf(*windows[i]);
  }
}

TEST_F(HeavyUse, NamesWithSpacesAndAccentsInBothFormsFollowSaves) {
  const auto folder = dir / "Mes feuilles de style";
  std::filesystem::create_directories(folder);
  for (const std::string name : {"caf\xC3\xA9 cr\xC3\xA8me.scss", "cafe\xCC\x81 cre\xCC\x80me.scss"}) {
    SCOPED_TRACE(name);
    writeFile(folder / name, savedSheet("one"));
    auto window = open(folder / name);
    ASSERT_EQ(waitForPage(viewOf(window), savedValue, "one"), "one");
    writeFileByRename(folder / name, savedSheet("two"));
    EXPECT_EQ(waitForPage(viewOf(window), savedValue, "two"), "two");
  }
}

TEST_F(HeavyUse, TwentyMegabytesOfCssShowInTheWindow) {
  const auto file = dir / "huge.scss";
  // With line comments each rule takes about 80 bytes.
  writeFile(file,
            "@for $i from 1 through 200000 { .rule-#{$i} { width: #{$i}px; color: #abcdef; } }\n"
            + savedSheet("end-of-huge"));
  auto window = open(file);
  EXPECT_EQ(waitForPage(viewOf(window), savedValue, "end-of-huge"), "end-of-huge");
  const auto result = window->sassDocument()->parsingResult().value();
  ASSERT_TRUE(result.isSuccess());
  EXPECT_GT(result.output().output.size(), 20'000'000u);
  std::printf("[ huge     ] %.1f MB of CSS compiled in %.2f s\n", result.output().output.size() / 1e6,
              result.output().parsingTime);
}

}  // namespace
}  // namespace fennelview
