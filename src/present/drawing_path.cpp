// SPDX-License-Identifier: GPL-3.0-or-later
#include "drawing_path.hpp"

#include <glib/gi18n.h>

#include <algorithm>
#include <array>

#include "common/formatted.hpp"

namespace fennelview {

namespace {

constexpr std::array<std::string_view, 5> kSoftwareRenderers{"llvmpipe", "softpipe", "swrast", "software rasterizer",
                                                             "swiftshader"};
// A driver's name is shown as it comes, within reason.
constexpr std::size_t kShownRendererLength = 80;

std::string lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c); });
  return out;
}

std::string shown(const std::string& renderer) {
  return renderer.size() <= kShownRendererLength ? renderer : renderer.substr(0, kShownRendererLength) + "\u2026";
}

}  // namespace

HardwareAcceleration hardwareAccelerationFromText(std::string_view text) {
  if (text == "on") return HardwareAcceleration::On;
  if (text == "off") return HardwareAcceleration::Off;
  return HardwareAcceleration::Auto;
}

const char* hardwareAccelerationText(HardwareAcceleration choice) {
  switch (choice) {
    case HardwareAcceleration::On: return "on";
    case HardwareAcceleration::Off: return "off";
    case HardwareAcceleration::Auto: break;
  }
  return "auto";
}

bool isSoftwareRenderer(std::string_view renderer) {
  const auto name = lowered(renderer);
  return std::any_of(kSoftwareRenderers.begin(), kSoftwareRenderers.end(),
                     [&](std::string_view soft) { return name.find(soft) != std::string::npos; });
}

DrawingPath chooseDrawingPath(HardwareAcceleration choice, const std::optional<std::string>& renderer) {
  const bool hasRenderer = renderer && !renderer->empty();
  const bool software = !hasRenderer || isSoftwareRenderer(*renderer);
  // A clause that the sentences below put in their place.
  const std::string where =
      !hasRenderer ? _("there is no OpenGL here")
      /* Translators: a clause; %1$s is the graphics driver, such as "llvmpipe (LLVM 15.0.6, 256 bits)". */
      : software ? formatted(_("OpenGL here is drawn in software (%1$s)"), shown(*renderer).c_str())
      /* Translators: a clause; %1$s is the graphics driver, such as "Mesa Intel(R) UHD Graphics 620". */
                 : formatted(_("OpenGL here runs on %1$s"), shown(*renderer).c_str());
  const std::string unacceleratedLooks =
      std::string(" ") + _("3D transforms, backdrop-filter and WebGL may look different from a browser; turn hardware "
                           "acceleration on to preview them.");
  switch (choice) {
    case HardwareAcceleration::On:
      /* Translators: %1$s says what draws OpenGL here, such as "OpenGL here runs on Mesa Intel(R) UHD Graphics". */
      return {true, formatted(_("Drawn with hardware acceleration, as chosen in Preferences; %1$s."), where.c_str())};
    case HardwareAcceleration::Off:
      /* Translators: %1$s says what draws OpenGL here, such as "OpenGL here runs on Mesa Intel(R) UHD Graphics". */
      return {false, formatted(_("Drawn without hardware acceleration, as chosen in Preferences; %1$s."), where.c_str()) +
                         unacceleratedLooks};
    case HardwareAcceleration::Auto: break;
  }
  if (software) {
    /* Translators: %1$s says what draws OpenGL here, such as "there is no OpenGL here". */
    return {false, formatted(_("Drawn without hardware acceleration: %1$s, and saves show sooner without it."),
                             where.c_str()) +
                       unacceleratedLooks};
  }
  /* Translators: %1$s says what draws OpenGL here, such as "OpenGL here runs on Mesa Intel(R) UHD Graphics". */
  return {true, formatted(_("Drawn with hardware acceleration: %1$s."), where.c_str())};
}

}  // namespace fennelview
