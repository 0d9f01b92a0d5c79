// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <type_traits>

namespace fennelview {

// `value` as a T (std::string, bool, std::int64_t or nlohmann::json::object_t) when it holds
// exactly that type; a value of any other type counts as absent.
template <typename T>
std::optional<T> typedValue(const nlohmann::json& value) {
  if constexpr (std::is_same_v<T, std::string>) {
    if (value.is_string()) return value.get<std::string>();
  } else if constexpr (std::is_same_v<T, bool>) {
    if (value.is_boolean()) return value.get<bool>();
  } else if constexpr (std::is_same_v<T, std::int64_t>) {
    if (value.is_number_integer() && !(value.is_number_unsigned() && value.get<std::uint64_t>() > INT64_MAX)) {
      return value.get<std::int64_t>();
    }
  } else {
    static_assert(std::is_same_v<T, nlohmann::json::object_t>);
    if (value.is_object()) return value.get<nlohmann::json::object_t>();
  }
  return std::nullopt;
}

// A field of an object, typed as above; a missing field is absent.
template <typename T>
std::optional<T> typedValue(const nlohmann::json::object_t& object, const std::string& name) {
  const auto found = object.find(name);
  return found == object.end() ? std::nullopt : typedValue<T>(found->second);
}

// The user's settings: JSON values under string keys, kept in one JSON object file.
// Every read sees the file as it is on disk now (another process may have written it).
// A write re-reads the file and replaces it atomically while holding a lock on its folder,
// so writers in other processes lose nothing; a linked file stays a link and its target is
// written. Keys and strings that are not UTF-8 are kept in an escaped form and read back as
// they were given. A damaged file (not JSON, not an object, over 4 MB) is copied aside and the
// settings start empty; one that is not a regular file or cannot be read is left alone and
// not written. Values registered with registerDefaults() live in memory only and answer a
// read while nothing has been written for the key. Main thread only.
class UserDefaults {
 public:
  static constexpr std::size_t largestFile = 4 << 20;

  // $XDG_CONFIG_HOME/fennelview/settings.json, the app's own file.
  static std::filesystem::path standardFile();

  explicit UserDefaults(std::filesystem::path file);
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  // The written value, else the registered one, else none.
  std::optional<nlohmann::json> objectForKey(const std::string& key) const;
  // The value of objectForKey() when it has the type asked for, else none.
  std::optional<std::string> stringForKey(const std::string& key) const { return typed<std::string>(key); }
  // A null value removes the key.
  void setObject(const nlohmann::json& value, const std::string& key);

  // Adds to (or replaces in) the registration domain; never touches written values.
  void registerDefaults(const nlohmann::json::object_t& values);

  // What the user has to learn about the file (set aside, not saved), once; none after that.
  std::optional<std::string> takeNotice();

 private:
  // Identity of the file as last read or written, to notice writes by other processes.
  struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    long long modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
  };

  template <typename T>
  std::optional<T> typed(const std::string& key) const {
    const auto value = objectForKey(key);
    return value ? typedValue<T>(*value) : std::nullopt;
  }
  void refresh() const;
  void load() const;
  nlohmann::json::object_t readFile() const;
  // `what`: the sentence saying what is wrong with the file; `source`: the open damaged file to
  // copy, or -1 for one that must stay as it is.
  void setAsideBrokenFile(const std::string& what, int source) const;
  bool write(const std::filesystem::path& target, int folder);
  static FileStamp stampOf(const struct stat& info);
  std::optional<FileStamp> stampOfFile() const;

  const std::filesystem::path file_;
  mutable nlohmann::json::object_t written_;
  mutable std::optional<FileStamp> loadedStamp_;
  mutable bool loaded_ = false;
  // Set while a damaged file could not be copied aside: it must not be replaced.
  mutable bool protectFile_ = false;
  // The damaged file last set aside, and whether it must be left as it is.
  mutable std::optional<FileStamp> damagedStamp_;
  mutable bool damagedIsProtected_ = false;
  // Changes that could not be saved yet (null: removed); they stay over what the file holds.
  nlohmann::json::object_t unsaved_;
  nlohmann::json::object_t registered_;
  bool writeFailureReported_ = false;
  mutable std::optional<std::string> notice_;
};

}  // namespace fennelview
