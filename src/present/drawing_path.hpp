// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fennelview {

// The user's say in how previews are drawn: "auto" follows the machine, "on" and "off" force
// WebKit's hardware acceleration.
enum class HardwareAcceleration { Auto, On, Off };

// The setting's text; anything else (a hand-edited file) is "auto".
HardwareAcceleration hardwareAccelerationFromText(std::string_view text);
const char* hardwareAccelerationText(HardwareAcceleration choice);

// Whether OpenGL with this renderer name is drawn by the CPU (Mesa's llvmpipe, softpipe, swrast
// and their kin).
bool isSoftwareRenderer(std::string_view renderer);

// How previews are drawn and a sentence saying why, for Preferences.
struct DrawingPath {
  bool accelerated = true;
  std::string reason;
  bool operator==(const DrawingPath&) const = default;
};

// Drawing through software OpenGL costs more than drawing without it, so "auto" leaves
// acceleration off where there is no GPU; `renderer` is OpenGL's renderer name, or none when
// OpenGL cannot be had at all.
DrawingPath chooseDrawingPath(HardwareAcceleration choice, const std::optional<std::string>& renderer);

}  // namespace fennelview
