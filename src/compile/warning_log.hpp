// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace fennelview {

// A compiler's standard error as it arrives, held to a limit: the first warnings, whole, up to
// `limit` bytes, a count of the warnings past them, and the stream's last bytes, where an error
// message stands. A warning is a paragraph, and a "WARNING", "DEPRECATION WARNING" or "DEBUG:"
// line starts one of its own. Constant work per byte.
class WarningLog {
 public:
  explicit WarningLog(std::size_t limit, std::size_t tailLimit = 64 * 1024) : limit_(limit), tailLimit_(tailLimit) {}

  void append(std::string_view bytes);
  // One warning given whole (a log event), kept as a paragraph of its own when it fits.
  void appendWarning(std::string_view paragraph);

  // The stream has ended: a last line without a line feed counts.
  void finish();

  // Everything written, when nothing was cut; otherwise the warnings that fit.
  const std::string& kept() const { return kept_; }
  bool cut() const { return cut_; }
  // Warnings past those kept.
  std::size_t leftOut() const;
  // What an error message is read from: everything when nothing was cut, else the last lines.
  std::string end() const;

 private:
  void take(char c);
  void endLine();

  std::size_t limit_;
  std::size_t tailLimit_;
  std::string kept_;
  std::string tail_;
  bool tailCut_ = false;
  bool cut_ = false;
  bool cutInLine_ = false;
  std::size_t entries_ = 0;
  std::size_t keptEntries_ = 0;
  // The line being read: where it and its warning start in kept_, and what tells its kind.
  std::size_t lineStart_ = 0;
  std::size_t entryStart_ = 0;
  bool inLine_ = false;
  bool blank_ = true;
  bool open_ = false;
  std::string head_;    // its first characters, up to the longest prefix that starts a warning
  std::string recent_;  // its last characters, as long as " DEBUG: "
  bool debug_ = false;
};

}  // namespace fennelview
