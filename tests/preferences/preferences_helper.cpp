// Plays the application in a process of its own, so tests can check what survives between
// processes. Usage: preferences_helper SETTINGS-FILE|- COMMAND...  ("-": the standard store)
//   get KEY            prints the value as JSON, or "(none)"
//   set KEY JSON       writes a value
//   register KEY JSON  registers a fallback value
//   register-editor    what start-up does: registers the fallback editor
//   editors            prints the number of editors, then "name<TAB>url" for each
//   default            prints the default editor's URL, or "(none)"
//   choose N           stores editor N (from 0) as the default editor
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "preferences/preferences_controller.hpp"
#include "preferences/user_defaults.hpp"

using fennelview::PreferencesController;
using fennelview::UserDefaults;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: preferences_helper SETTINGS-FILE|- COMMAND...\n";
    return 2;
  }
  std::unique_ptr<UserDefaults> own;
  if (std::string(argv[1]) != "-") own = std::make_unique<UserDefaults>(argv[1]);
  UserDefaults& defaults = own ? *own : UserDefaults::standard();
  PreferencesController preferences(defaults);

  for (int i = 2; i < argc; ++i) {
    const std::string command = argv[i];
    auto operand = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << command << " needs an operand\n";
        std::exit(2);
      }
      return argv[++i];
    };
    if (command == "get") {
      const auto value = defaults[operand()];
      std::cout << (value ? value->dump() : "(none)") << "\n";
    } else if (command == "set") {
      const auto key = operand();
      defaults.set(key, nlohmann::json::parse(operand()));
    } else if (command == "register") {
      const auto key = operand();
      defaults.registerDefaults({{key, nlohmann::json::parse(operand())}});
    } else if (command == "register-editor") {
      preferences.registerDefaultEditor();
    } else if (command == "editors") {
      std::cout << preferences.editors().size() << "\n";
      for (const auto& editor : preferences.editors()) std::cout << editor->name() << "\t" << editor->path() << "\n";
    } else if (command == "default") {
      const auto editor = preferences.defaultEditor();
      std::cout << (editor ? editor->path() : "(none)") << "\n";
    } else if (command == "choose") {
      preferences.setDefaultEditor(preferences.editors().at(std::stoul(operand())));
    } else {
      std::cerr << "unknown command " << command << "\n";
      return 2;
    }
  }
  return 0;
}
