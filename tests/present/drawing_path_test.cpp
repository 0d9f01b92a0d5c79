// SPDX-License-Identifier: GPL-3.0-or-later
#include "present/drawing_path.hpp"

#include <gtest/gtest.h>

namespace fennelview {
namespace {

TEST(DrawingPath, AutoDrawsWithoutAccelerationWhereOpenGLIsSoftwareAndTheSettingOverrides) {
  const std::optional<std::string> none, llvmpipe = "llvmpipe (LLVM 15.0.6, 256 bits)", intel = "Mesa Intel(R) UHD Graphics 620";
  struct Case { const char* setting; std::optional<std::string> renderer; bool accelerated; const char* says; };
  const Case cases[] = {
      {"auto", llvmpipe, false, "drawn in software (llvmpipe (LLVM 15.0.6, 256 bits))"}, {"auto", "Softpipe", false, "software"},
      {"auto", "Mesa DRI SWRAST", false, "software"}, {"auto", none, false, "no OpenGL"}, {"auto", "", false, "no OpenGL"},
      {"auto", intel, true, "runs on Mesa Intel(R) UHD Graphics 620"}, {"auto", "NVIDIA GeForce GTX 1060/PCIe/SSE2", true, "NVIDIA"},
      {"on", llvmpipe, true, "as chosen in Preferences"}, {"on", none, true, "no OpenGL"},
      {"off", intel, false, "as chosen in Preferences"},
      {"bogus", llvmpipe, false, "software"}, {"bogus", intel, true, "runs on"},  // an unknown value is "auto"
  };
  for (const auto& c : cases) {
    const auto path = chooseDrawingPath(hardwareAccelerationFromText(c.setting), c.renderer);
    EXPECT_EQ(path.accelerated, c.accelerated) << c.setting << " " << c.renderer.value_or("(none)");
    EXPECT_NE(path.reason.find(c.says), std::string::npos) << path.reason;
    // Without acceleration the user learns what may look different.
    EXPECT_EQ(path.reason.find("backdrop-filter") != std::string::npos, !c.accelerated) << path.reason;
  }
  EXPECT_LT(chooseDrawingPath(HardwareAcceleration::Auto, std::string(10000, 'x')).reason.size(), 300u);
  for (const auto choice : {HardwareAcceleration::Auto, HardwareAcceleration::On, HardwareAcceleration::Off}) {
    EXPECT_EQ(hardwareAccelerationFromText(hardwareAccelerationText(choice)), choice);
  }
}

}  // namespace
}  // namespace fennelview
