// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace fennelview {

// A folder of our own under the system's temporary folder, readable by this user only, removed
// with everything in it when the object goes: where a child writes files we read back, so that
// nothing is ever written into the user's folders.
class PrivateFolder {
 public:
  // None when the folder cannot be made.
  static std::optional<PrivateFolder> create();
  ~PrivateFolder();
  PrivateFolder(PrivateFolder&& other) noexcept;
  PrivateFolder& operator=(PrivateFolder&& other) noexcept;

  const std::filesystem::path& path() const { return path_; }

  // The whole of a file in the folder; none when it is missing, or larger than `limit` (then
  // `tooLarge` is set).
  std::optional<std::string> read(const std::string& name, std::size_t limit, bool* tooLarge = nullptr) const;

 private:
  explicit PrivateFolder(std::filesystem::path path) : path_(std::move(path)) {}
  std::filesystem::path path_;
};

}  // namespace fennelview
