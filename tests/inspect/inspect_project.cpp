// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect_project.hpp"

#include <glib.h>
#include <gtest/gtest.h>

#include "common/glib_ptr.hpp"
#include "test_support.hpp"

namespace fennelview::test {

CompiledProject compileInspectProject(const std::filesystem::path& folder, Compiler compiler) {
  writeFile(folder / "_buttons.scss",
            "// Buttons\n$accent: #c33;\n\n%base { padding: 4px; }\n\n.btn.primary {\n  @extend %base;\n  color: $accent;\n"
            "  &:hover { color: darken($accent, 10%); }\n  .icon { width: 1em !important; }\n}\n");
  writeFile(folder / "main.scss",
            "@import \"buttons\";\n#page a[href], .nav > li::before { content: \"a;}{\"; margin: 0 }\n"
            "@media (min-width: 40em) {\n  .btn.primary { font-size: 2em; }\n"
            "  @supports (display: grid) {\n    .grid { display: grid; }\n  }\n}\n:where(.btn) { color: black; }\n");
  const bool libSass = compiler == Compiler::kLibSass;
  const std::string program = libSass ? realSassc().string() : (realResources() / "dart-sass" / "sass").string();
  const char* argv[] = {program.c_str(), libSass ? "--sourcemap=auto" : "--source-map", "main.scss", "main.css", nullptr};
  int status = 0;
  GError* rawError = nullptr;
  const bool ran = g_spawn_sync(folder.c_str(), const_cast<char**>(argv), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr,
                                nullptr, nullptr, &status, &rawError);
  GErrorPtr error(rawError);
  EXPECT_TRUE(ran && g_spawn_check_wait_status(status, nullptr)) << (error ? error->message : program + " failed");
  return {readFile(folder / "main.css"), readFile(folder / "main.css.map")};
}

}  // namespace fennelview::test
