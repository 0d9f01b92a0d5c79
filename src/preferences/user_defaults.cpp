// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/user_defaults.hpp"

#include <fcntl.h>
#include <glib/gi18n.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <utility>

#include "common/formatted.hpp"
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
  // Only the form escaped() writes is read as escaped, so no two texts in a file read as one
  // (a lone NUL is not the empty text).
  if (text.size() < 2 || text[0] != escapeMark) return text;
  GBytes* bytes = g_uri_unescape_bytes(text.c_str() + 1, text.size() - 1, nullptr, nullptr);
  if (!bytes) return text;
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  std::string result(data ? data : "", size);
  g_bytes_unref(bytes);
  return escaped(result) == text ? result : text;
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

// The whole of the open file `source` in a new file at `path`; false (errno EEXIST when the
// name is taken) otherwise. An existing file is never replaced.
bool copyFile(int source, const std::string& path) {
  UniqueFd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (out.get() < 0) return false;
  char buffer[65536];
  off_t offset = 0;
  for (;;) {
    const ssize_t count = ::pread(source, buffer, sizeof buffer, offset);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      if (count == 0) return true;
      const int error = errno;
      ::unlink(path.c_str());
      errno = error;
      return false;
    }
    for (ssize_t done = 0; done < count;) {
      const ssize_t written = ::write(out.get(), buffer + done, static_cast<std::size_t>(count - done));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        const int error = written < 0 ? errno : EIO;
        ::unlink(path.c_str());
        errno = error;
        return false;
      }
      done += written;
    }
    offset += count;
  }
}

// Whether the file at `path` holds exactly what the open file `source` holds, so the same
// damaged file is not copied again at every start.
bool sameContents(int source, const std::string& path) {
  UniqueFd other(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat mine {}, theirs {};
  if (other.get() < 0 || ::fstat(source, &mine) != 0 || ::fstat(other.get(), &theirs) != 0 ||
      !S_ISREG(theirs.st_mode) || mine.st_size != theirs.st_size) {
    errno = EEXIST;
    return false;
  }
  char a[65536], b[65536];
  for (off_t offset = 0;;) {
    const ssize_t countA = ::pread(source, a, sizeof a, offset), countB = ::pread(other.get(), b, sizeof b, offset);
    if (countA != countB || countA < 0 || std::memcmp(a, b, static_cast<std::size_t>(countA)) != 0) {
      errno = EEXIST;
      return false;
    }
    if (countA == 0) return true;
    offset += countA;
  }
}

}  // namespace

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

UserDefaults::FileStamp UserDefaults::stampOf(const struct stat& info) {
  return FileStamp{info.st_dev, info.st_ino, info.st_size,
                   static_cast<long long>(info.st_mtim.tv_sec) * 1'000'000'000LL + info.st_mtim.tv_nsec};
}

std::optional<UserDefaults::FileStamp> UserDefaults::stampOfFile() const {
  struct stat info {};
  if (::stat(file_.c_str(), &info) != 0) return std::nullopt;
  return stampOf(info);
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
  // Non-blocking: a FIFO in the file's place must not hold the app up.
  UniqueFd fd(::open(file_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    const int error = errno;
    loadedStamp_ = stampOfFile();
    if (!loadedStamp_) return {};  // no file yet (or a link to none): nothing written
    /* Translators: %1$s is the settings file's path, %2$s the system's reason, such as "Permission denied". */
    setAsideBrokenFile(formatted(_("The settings file \"%1$s\" could not be read (%2$s)."), file_.c_str(),
                                 std::strerror(error)),
                       -1);
    return {};
  }
  /* Translators: %1$s is the settings file's path. */
  const auto tooLarge = [this] { return formatted(_("The settings file \"%1$s\" is larger than 4 MB."), file_.c_str()); };
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    loadedStamp_ = stampOfFile();
    /* Translators: %1$s is the settings file's path. */
    setAsideBrokenFile(formatted(_("The settings file \"%1$s\" is not a regular file."), file_.c_str()), -1);
    return {};
  }
  loadedStamp_ = stampOf(info);
  if (info.st_size > static_cast<off_t>(largestFile)) {
    setAsideBrokenFile(tooLarge(), fd.get());
    return {};
  }
  std::string contents;
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      const int error = errno;
      /* Translators: %1$s is the settings file's path, %2$s the system's reason, such as "Permission denied". */
      setAsideBrokenFile(formatted(_("The settings file \"%1$s\" could not be read (%2$s)."), file_.c_str(),
                                   std::strerror(error)),
                         -1);
      return {};
    }
    if (count == 0) break;
    contents.append(buffer, static_cast<std::size_t>(count));
    if (contents.size() > largestFile) {  // it grew while being read
      setAsideBrokenFile(tooLarge(), fd.get());
      return {};
    }
  }
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
    /* Translators: %1$s is the settings file's path. */
    setAsideBrokenFile(formatted(_("The settings file \"%1$s\" nests values too deeply."), file_.c_str()), fd.get());
  } else if (parsed.is_discarded()) {
    /* Translators: %1$s is the settings file's path. */
    setAsideBrokenFile(formatted(_("The settings file \"%1$s\" is not valid JSON."), file_.c_str()), fd.get());
  } else if (!parsed.is_object()) {
    /* Translators: %1$s is the settings file's path. */
    setAsideBrokenFile(formatted(_("The settings file \"%1$s\" does not hold a JSON object."), file_.c_str()),
                       fd.get());
  } else {
    return transformed(parsed, unescaped).get<nlohmann::json::object_t>();
  }
  return {};
}

void UserDefaults::setAsideBrokenFile(const std::string& what, int source) const {
  // Judged before (a write re-reads the file): told and copied once.
  if (loadedStamp_ && loadedStamp_ == damagedStamp_) {
    protectFile_ = damagedIsProtected_;
    return;
  }
  const std::string base = file_.string() + ".broken";
  std::string message = what + " ";
  // A copy, never a rename: a linked file stays linked, and an earlier copy is never replaced.
  std::optional<std::string> kept;
  for (int attempt = 0; source >= 0 && !kept && attempt < 1000; ++attempt) {
    const std::string aside = attempt == 0 ? base : base + "." + std::to_string(attempt);
    if (sameContents(source, aside) || copyFile(source, aside)) kept = aside;
    else if (errno != EEXIST) break;
  }
  if (kept) {
    /* Translators: %1$s is the path of the copy. */
    message += formatted(_("A copy is kept as \"%1$s\" and the settings start empty."), kept->c_str());
  } else if (source >= 0) {
    const int error = errno;
    /* Translators: %1$s is the system's reason, such as "No space left on device". */
    message += formatted(_("It could not be copied aside (%1$s), so it is left as it is; settings changed now will "
                           "not be saved."),
                         std::strerror(error));
  } else {
    message += _("It is left as it is; settings changed now will not be saved.");
  }
  if (!kept) {
    protectFile_ = true;
  }
  std::cerr << "Fennelview: " << message << "\n";
  if (!notice_) notice_ = message;
  damagedStamp_ = loadedStamp_;
  damagedIsProtected_ = protectFile_;
}

std::optional<std::string> UserDefaults::takeNotice() {
  refresh();
  return std::exchange(notice_, std::nullopt);
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
      /* Translators: %1$s is the settings file's path, %2$s the system's reason. */
      const std::string message = formatted(_("The settings could not be saved to \"%1$s\" (%2$s). Changes are kept "
                                              "until Fennelview quits."),
                                            target.c_str(), error->message);
      std::cerr << "Fennelview: " << message << "\n";
      if (!notice_) notice_ = message;
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
