#pragma once
// What every benchmark that opens windows shares.

#include <stdlib.h>

#include <algorithm>
#include <vector>

namespace fennelview::bench {

// What WebKit and GTK need as root under Xvfb, where only software rendering exists: GTK's
// cairo renderer, because GL through llvmpipe redraws so much with many windows open that it
// starves the compiler. A value already in the environment wins.
inline void useXvfbEnvironment() {
  setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 0);
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  setenv("GSK_RENDERER", "cairo", 0);
  setenv("GTK_A11Y", "none", 0);
}

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const auto n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace fennelview::bench
