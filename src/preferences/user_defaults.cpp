// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/user_defaults.hpp"

#include <fcntl.h>
#include <glib.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <utility>

#include "common/glib_ptr.hpp"
#include "common/unique_fd.hpp"

namespace fennelview {

namespace {

// Marks the escaped form of a text JSON cannot hold (not UTF-8). File paths and URLs never
// begin with a NUL, and a text that does is escaped too, so every text reads back as given.
constexpr char escapeMark = '\0';

std::string escaped(const std::string& text) {
  if (text.empty() || (text[0] != escapeMark && g_utf8_validate(text.data(), text.size(), nullptr))) return text;
  // By hand: g_uri_escape_bytes stops at a NUL.
  std::string form(1, escapeMark);
  for (const unsigned char c : text) {
    if (c > ' ' && c < 0x7f && c != '%') {
      form += static_cast<char>(c);
    } else {
      form += '%';
      form += "0123456789ABCDEF"[c >> 4];
      form += "0123456789ABCDEF"[c & 0xf];
    }
  }
  return form;
}

std::string unescaped(const std::string& text) {
  if (text.empty() || text[0] != escapeMark) return text;
  GBytes* bytes = g_uri_unescape_bytes(text.c_str() + 1, text.size() - 1, nullptr, nullptr);
  if (!bytes) return text;
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  std::string result(data ? data : "", size);
  g_bytes_unref(bytes);
  return result;
}

// Applies `change` to every text in the value, object keys included.
nlohmann::json transformed(const nlohmann::json& value, std::string (*change)(const std::string&)) {
  if (value.is_string()) return change(value.get_ref<const std::string&>());
  if (value.is_array()) {
    auto result = nlohmann::json::array();
    for (const auto& item : value) result.push_back(transformed(item, change));
    return result;
  }
  if (value.is_object()) {
    auto result = nlohmann::json::object();
    for (const auto& [key, item] : value.get_ref<const nlohmann::json::object_t&>()) {
      result[change(key)] = transformed(item, change);
    }
    return result;
  }
  return value;
}

bool onlyWhitespace(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// Where a write goes: through a symbolic link to its target, so a linked settings file stays linked.
std::filesystem::path writeTarget(const std::filesystem::path& file) {
  std::error_code ec;
  if (std::filesystem::is_symlink(file, ec)) {
    auto target = std::filesystem::weakly_canonical(file, ec);
    if (!ec) return target;
  }
  return file;
}

}  // namespace

UserDefaults& UserDefaults::standard() {
  static UserDefaults store(standardFile());
  return store;
}

std::filesystem::path UserDefaults::standardFile() {
  return std::filesystem::path(g_get_user_config_dir()) / "fennelview" / "settings.json";
}

UserDefaults::UserDefaults(std::filesystem::path file) : file_(std::move(file)) {}

std::optional<nlohmann::json> UserDefaults::objectForKey(const std::string& key) const {
  refresh();
  if (auto found = written_.find(key); found != written_.end()) return found->second;
  if (auto found = registered_.find(key); found != registered_.end()) return found->second;
  return std::nullopt;
}

void UserDefaults::setObject(const nlohmann::json& value, const std::string& key) {
  unsaved_[key] = value;
  const auto target = writeTarget(file_);
  std::error_code ec;
  std::filesystem::create_directories(target.parent_path(), ec);
  // The settings folder's lock is held from the read to the rename: a writer in another
  // process waits for it and then reads this one's keys. Without the lock the write goes on.
  UniqueFd folder(::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  while (folder.get() >= 0 && ::flock(folder.get(), LOCK_EX) != 0 && errno == EINTR) continue;
  load();
  if (!protectFile_ && write(target, folder.get())) unsaved_.clear();
}

void UserDefaults::registerDefaults(const nlohmann::json::object_t& values) {
  for (const auto& [key, value] : values) {
    if (value.is_null()) {
      registered_.erase(key);
    } else {
      registered_[key] = value;
    }
  }
}

std::optional<UserDefaults::FileStamp> UserDefaults::stampOfFile() const {
  struct stat info {};
  if (::stat(file_.c_str(), &info) != 0) return std::nullopt;
  return FileStamp{info.st_dev, info.st_ino, info.st_size,
                   static_cast<long long>(info.st_mtim.tv_sec) * 1'000'000'000LL + info.st_mtim.tv_nsec};
}

void UserDefaults::refresh() const {
  if (!loaded_ || stampOfFile() != loadedStamp_) load();
}

void UserDefaults::load() const {
  loaded_ = true;
  protectFile_ = false;
  written_ = readFile();
  for (const auto& [key, value] : unsaved_) {
    if (value.is_null()) {
      written_.erase(key);
    } else {
      written_[key] = value;
    }
  }
}

nlohmann::json::object_t UserDefaults::readFile() const {
  loadedStamp_ = stampOfFile();
  if (!loadedStamp_) return {};  // no file yet: nothing written

  gchar* raw = nullptr;
  gsize length = 0;
  GError* rawError = nullptr;
  if (!g_file_get_contents(file_.c_str(), &raw, &length, &rawError)) {
    GErrorPtr error(rawError);
    setAsideBrokenFile(std::string("could not be read (") + error->message + ")");
    return {};
  }
  GCharPtr owned(raw);
  const std::string contents(owned.get(), length);
  if (onlyWhitespace(contents)) return {};

  // Values nested deeper would overflow the stack in the recursive copies and dumps later on.
  constexpr int deepest = 100;
  bool tooDeep = false;
  const auto parsed = nlohmann::json::parse(
      contents,
      [&](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
        if (depth > deepest) tooDeep = true;
        return !tooDeep;
      },
      /*allow_exceptions=*/false);
  if (tooDeep) {
    setAsideBrokenFile("nests values too deeply");
  } else if (parsed.is_discarded()) {
    setAsideBrokenFile("is not valid JSON");
  } else if (!parsed.is_object()) {
    setAsideBrokenFile("does not hold a JSON object");
  } else {
    return transformed(parsed, unescaped).get<nlohmann::json::object_t>();
  }
  return {};
}

void UserDefaults::setAsideBrokenFile(const std::string& reason) const {
  // RENAME_NOREPLACE: an earlier broken file is never overwritten, even by a concurrent process.
  const std::string base = file_.string() + ".broken";
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string aside = attempt == 0 ? base : base + "." + std::to_string(attempt);
    if (::renameat2(AT_FDCWD, file_.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
      std::cerr << "Fennelview: the settings file \"" << file_.string() << "\" " << reason
                << ". It has been kept as \"" << aside << "\" and the settings start empty.\n";
      loadedStamp_.reset();
      return;
    }
    if (errno != EEXIST) break;
  }
  const std::string why = std::strerror(errno);
  std::cerr << "Fennelview: the settings file \"" << file_.string() << "\" " << reason
            << " and could not be moved aside to \"" << base << "\" (" << why
            << "). It is left as it is; settings changed now will not be saved.\n";
  protectFile_ = true;
}

bool UserDefaults::write(const std::filesystem::path& target, int folder) {
  // Every text is UTF-8 once escaped; replacing is only a guard against a stray byte.
  const std::string contents =
      transformed(written_, escaped).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  GError* rawError = nullptr;
  if (!g_file_set_contents_full(target.c_str(), contents.data(), static_cast<gssize>(contents.size()),
                                static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT |
                                                                   G_FILE_SET_CONTENTS_DURABLE),
                                0600, &rawError)) {
    GErrorPtr error(rawError);
    if (!writeFailureReported_) {
      std::cerr << "Fennelview: the settings could not be saved to \"" << target.string() << "\" (" << error->message
                << "). Changes are kept until Fennelview quits.\n";
      writeFailureReported_ = true;
    }
    return false;
  }
  writeFailureReported_ = false;
  // Makes the rename itself durable; a failure here loses nothing already written.
  if (folder >= 0) ::fsync(folder);
  loadedStamp_ = stampOfFile();
  return true;
}

}  // namespace fennelview
