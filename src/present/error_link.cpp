// SPDX-License-Identifier: GPL-3.0-or-later
#include "error_link.hpp"

#include <glib.h>

#include "common/glib_ptr.hpp"
#include "preferences/editor_line.hpp"

namespace fennelview {

std::string ErrorLink::text(const SourcePlace& where) {
  GCharPtr name(g_filename_display_name(where.file.c_str()));
  std::string text = name.get();
  if (where.line) text += ":" + std::to_string(*where.line) + (where.column ? ":" + std::to_string(*where.column) : "");
  return text;
}

bool ErrorLink::open(GAppLaunchContext* context) const {
  if (!settings_ || !place_) return false;
  return openFileAtLineInDefaultEditor(*settings_, place_->file, place_->line.value_or(0), place_->column.value_or(0),
                                       context);
}

}  // namespace fennelview
