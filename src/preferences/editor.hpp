// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace fennelview {

// An application that can edit style sheets. Editors are shared, never copied: two editors
// are the same only if they are the same object.
class Editor {
 public:
  // `path` is the file:// URL of the application's .desktop file, as GIO renders it.
  Editor(std::string name, std::string path);
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  const std::string& name() const { return name_; }
  const std::string& path() const { return path_; }
  const std::string& description() const { return name_; }

 private:
  const std::string name_;
  const std::string path_;
};

}  // namespace fennelview
