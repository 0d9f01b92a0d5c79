// SPDX-License-Identifier: GPL-3.0-or-later
// A second application process: writes the N keys PREFIX0, PREFIX1, ... to the settings file,
// one write each. Usage: preferences_helper SETTINGS-FILE PREFIX N
#include <string>

#include "preferences/user_defaults.hpp"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  fennelview::UserDefaults defaults(argv[1]);
  for (int k = 0; k < std::stoi(argv[3]); ++k) defaults.setObject(k, argv[2] + std::to_string(k));
  return 0;
}
