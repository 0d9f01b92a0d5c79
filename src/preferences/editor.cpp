// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/editor.hpp"

#include <utility>

namespace fennelview {

Editor::Editor(std::string name, std::string path) : name_(std::move(name)), path_(std::move(path)) {}

}  // namespace fennelview
