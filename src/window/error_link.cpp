// SPDX-License-Identifier: GPL-3.0-or-later
#include "error_link.hpp"

#include <glib.h>

#include "common/glib_ptr.hpp"
#include "preferences/editor_line.hpp"

namespace fennelview {

std::string ErrorLink::text(const ErrorLocation& where) {
  GCharPtr name(g_filename_display_name(where.file.c_str()));
  std::string text = name.get();
  if (where.line > 0) text += ":" + std::to_string(where.line) + (where.column > 0 ? ":" + std::to_string(where.column) : "");
  return text;
}

bool ErrorLink::open() const {
  if (!settings_ || !place_) return false;
  return openFileAtLineInDefaultEditor(*settings_, place_->file, place_->line, place_->column);
}

}  // namespace fennelview
