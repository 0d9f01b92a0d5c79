// SPDX-License-Identifier: GPL-3.0-or-later
#include "display_environment.hpp"

#include <stdlib.h>

namespace fennelview::test {

void useXvfbEnvironment() {
  // No sandbox: WebKit's cannot start as root in a container.
  setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 0);
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  // GL through llvmpipe redraws so much with many windows open that it starves the compiler.
  setenv("GSK_RENDERER", "cairo", 0);
  setenv("GDK_BACKEND", "x11", 0);
  setenv("GTK_A11Y", "none", 0);
  setenv("NO_AT_BRIDGE", "1", 0);
}

}  // namespace fennelview::test
