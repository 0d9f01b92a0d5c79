#pragma once

#include <sys/types.h>

#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace fennelview {

// The user's settings: typed JSON values under string keys, kept in one JSON object file.
// Every read sees the file as it is on disk now (another process may have written it);
// every write replaces the file atomically. Values registered with registerDefaults() live
// in memory only and answer a read while nothing has been written for the key.
class UserDefaults {
 public:
  // The process-wide store in $XDG_CONFIG_HOME/fennelview/settings.json.
  static UserDefaults& standard();
  static std::filesystem::path standardFile();

  explicit UserDefaults(std::filesystem::path file);
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  const std::filesystem::path& file() const { return file_; }

  // The written value, else the registered one, else none.
  std::optional<nlohmann::json> objectForKey(const std::string& key) const;
  // A null value removes the key, as writing "no object" does.
  void setObject(const nlohmann::json& value, const std::string& key);
  void removeObjectForKey(const std::string& key);

  // Keyed access: the same as objectForKey() and setObject().
  std::optional<nlohmann::json> operator[](const std::string& key) const { return objectForKey(key); }
  void set(const std::string& key, const nlohmann::json& value) { setObject(value, key); }

  // Adds to (or replaces in) the registration domain; never touches written values.
  void registerDefaults(const nlohmann::json::object_t& values);

 private:
  // Identity of the file as last read or written, to notice writes by other processes.
  struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    long long modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
  };

  void refreshLocked() const;
  void loadLocked() const;
  void setAsideBrokenFileLocked(const std::string& reason) const;
  void writeLocked();
  std::optional<FileStamp> stampOfFile() const;

  const std::filesystem::path file_;
  mutable std::mutex mutex_;
  mutable nlohmann::json::object_t written_;
  mutable std::optional<FileStamp> loadedStamp_;
  mutable bool loaded_ = false;
  // Set while a broken file could not be moved aside: it must not be replaced.
  mutable bool protectFile_ = false;
  nlohmann::json::object_t registered_;
  bool writeFailureReported_ = false;
};

}  // namespace fennelview
