// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace fennelview::test {

// What GTK and WebKit need as root under Xvfb, where only software rendering exists, for the
// GUI tests and the benchmarks alike. Call before GTK starts; a value already set wins.
void useXvfbEnvironment();

}  // namespace fennelview::test
