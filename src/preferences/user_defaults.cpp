#include "preferences/user_defaults.hpp"

#include "common/glib_ptr.hpp"

#include <fcntl.h>
#include <glib.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <utility>

namespace fennelview {

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { closeNow(); }
  int get() const { return fd_; }
  // Returns false when close reports an error: on some file systems that is where a failed write shows.
  bool closeNow() {
    if (fd_ < 0) return true;
    const int result = ::close(std::exchange(fd_, -1));
    return result == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, const std::string& text) {
  const char* data = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  return true;
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
  std::lock_guard lock(mutex_);
  refreshLocked();
  if (auto found = written_.find(key); found != written_.end()) return found->second;
  if (auto found = registered_.find(key); found != registered_.end()) return found->second;
  return std::nullopt;
}

void UserDefaults::setObject(const nlohmann::json& value, const std::string& key) {
  std::lock_guard lock(mutex_);
  refreshLocked();
  if (value.is_null()) {
    if (written_.erase(key) == 0) return;
  } else {
    written_[key] = value;
  }
  writeLocked();
}

void UserDefaults::removeObjectForKey(const std::string& key) { setObject(nullptr, key); }

void UserDefaults::registerDefaults(const nlohmann::json::object_t& values) {
  std::lock_guard lock(mutex_);
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

void UserDefaults::refreshLocked() const {
  if (!loaded_ || stampOfFile() != loadedStamp_) loadLocked();
}

void UserDefaults::loadLocked() const {
  loaded_ = true;
  written_.clear();
  protectFile_ = false;
  loadedStamp_ = stampOfFile();
  if (!loadedStamp_) return;  // no file yet: nothing written

  gchar* raw = nullptr;
  gsize length = 0;
  GError* rawError = nullptr;
  if (!g_file_get_contents(file_.c_str(), &raw, &length, &rawError)) {
    GErrorPtr error(rawError);
    setAsideBrokenFileLocked(std::string("could not be read (") + error->message + ")");
    return;
  }
  GCharPtr owned(raw);
  const std::string contents(owned.get(), length);
  if (onlyWhitespace(contents)) return;

  auto parsed = nlohmann::json::parse(contents, nullptr, /*allow_exceptions=*/false);
  if (parsed.is_discarded()) {
    setAsideBrokenFileLocked("is not valid JSON");
  } else if (!parsed.is_object()) {
    setAsideBrokenFileLocked("does not hold a JSON object");
  } else {
    written_ = parsed.get<nlohmann::json::object_t>();
  }
}

void UserDefaults::setAsideBrokenFileLocked(const std::string& reason) const {
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

void UserDefaults::writeLocked() {
  if (protectFile_) return;

  const auto target = writeTarget(file_);
  std::error_code ec;
  std::filesystem::create_directories(target.parent_path(), ec);

  const std::string contents = nlohmann::json(written_).dump(2) + "\n";
  std::string temporary = target.string() + ".XXXXXX";
  std::string failure;
  {
    FileDescriptor fd(::mkstemp(temporary.data()));
    if (fd.get() < 0) {
      failure = std::strerror(errno);
      temporary.clear();
    } else if (!writeAll(fd.get(), contents) || ::fsync(fd.get()) != 0 || !fd.closeNow()) {
      failure = std::strerror(errno);
    } else if (::rename(temporary.c_str(), target.c_str()) != 0) {
      failure = std::strerror(errno);
    } else {
      temporary.clear();
    }
  }
  if (!temporary.empty()) ::unlink(temporary.c_str());

  if (!failure.empty()) {
    if (!writeFailureReported_) {
      std::cerr << "Fennelview: the settings could not be saved to \"" << target.string() << "\" (" << failure
                << "). Changes are kept until Fennelview quits.\n";
      writeFailureReported_ = true;
    }
    return;
  }
  writeFailureReported_ = false;

  // Makes the rename itself durable; a failure here loses nothing already written.
  FileDescriptor folder(::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
  loadedStamp_ = stampOfFile();
}

}  // namespace fennelview
