// SPDX-License-Identifier: GPL-3.0-or-later
#include "drawing_path.hpp"

#include <algorithm>
#include <array>

namespace fennelview {

namespace {

constexpr std::array<std::string_view, 5> kSoftwareRenderers{"llvmpipe", "softpipe", "swrast", "software rasterizer",
                                                             "swiftshader"};
// A driver's name is shown as it comes, within reason.
constexpr std::size_t kShownRendererLength = 80;
constexpr const char* kUnacceleratedLooks =
    " 3D transforms, backdrop-filter and WebGL may look different from a browser; turn hardware acceleration on to"
    " preview them.";

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
  const std::string where = !hasRenderer ? "there is no OpenGL here"
                            : software   ? "OpenGL here is drawn in software (" + shown(*renderer) + ")"
                                         : "OpenGL here runs on " + shown(*renderer);
  switch (choice) {
    case HardwareAcceleration::On:
      return {true, "Drawn with hardware acceleration, as chosen in Preferences; " + where + "."};
    case HardwareAcceleration::Off:
      return {false, "Drawn without hardware acceleration, as chosen in Preferences; " + where + "." + kUnacceleratedLooks};
    case HardwareAcceleration::Auto: break;
  }
  if (software) return {false, "Drawn without hardware acceleration: " + where + ", and saves show sooner without it." + kUnacceleratedLooks};
  return {true, "Drawn with hardware acceleration: " + where + "."};
}

}  // namespace fennelview
