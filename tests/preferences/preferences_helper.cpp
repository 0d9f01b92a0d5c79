// Plays the application in a process of its own, so tests can check what other processes
// see. Usage: preferences_helper SETTINGS-FILE|- COMMAND...  ("-": the standard store)
//   set KEY JSON       writes a value
//   fill PREFIX N      writes the N keys PREFIX0, PREFIX1, ... one write each
#include <iostream>
#include <memory>
#include <string>

#include "preferences/user_defaults.hpp"

int main(int argc, char** argv) {
  using fennelview::UserDefaults;
  std::unique_ptr<UserDefaults> own;
  if (argc > 1 && std::string(argv[1]) != "-") own = std::make_unique<UserDefaults>(argv[1]);
  UserDefaults& defaults = own ? *own : UserDefaults::standard();
  for (int i = 2; i < argc;) {
    const std::string command = argv[i++];
    if (command == "set" && i + 1 < argc) {
      defaults.setObject(nlohmann::json::parse(argv[i + 1]), argv[i]);
      i += 2;
    } else if (command == "fill" && i + 1 < argc) {
      for (int k = 0; k < std::stoi(argv[i + 1]); ++k) defaults.setObject(k, argv[i] + std::to_string(k));
      i += 2;
    } else {
      std::cerr << "usage: preferences_helper SETTINGS-FILE|- (set KEY JSON | fill PREFIX N)...\n";
      return 2;
    }
  }
  return 0;
}
