// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtk/gtk.h>

#include <optional>
#include <string>

#include "common/glib_ptr.hpp"
#include "common/main_loop_source.hpp"
#include "present/duration_formatter.hpp"
#include "present/render_presenter.hpp"

namespace fennelview {

// The header's line under the title: the compiler and the time of the last compile, a spinner
// while one runs (after a short delay, so a quick compile does not flash), and after a failure
// how long the failed compile took.
class ParsingMetadataView {
 public:
  ParsingMetadataView(GtkLabel* label, GtkSpinner* spinner);
  ~ParsingMetadataView();
  ParsingMetadataView(const ParsingMetadataView&) = delete;
  ParsingMetadataView& operator=(const ParsingMetadataView&) = delete;

  // A finished compile; none for one under way. A failure carries its measured time, if any.
  static std::string labelText(const std::string& compilerName, const std::optional<std::string>& durationString);
  static std::string failureText(const std::string& compilerName, const std::optional<std::string>& failedAfter);

  std::string text() const;
  bool compiling() const { return compiling_; }
  void setCompiling(bool compiling);
  void show(const RenderPresenter& model);
  void stop();
  // A standing remark on the header (its tooltip); empty removes it.
  void setNote(const std::string& note);

 private:
  void showCompilingNow();

  GObjectPtr<GtkLabel> label_;
  GtkSpinner* spinner_;  // owned by the window's header
  DurationFormatter formatter_;
  std::optional<std::string> shown_;  // the text of the last finished compile
  bool compiling_ = false;
  bool stopped_ = false;
  MainLoopSource compilingTimer_;
};

}  // namespace fennelview
