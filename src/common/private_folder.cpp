// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/private_folder.hpp"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace fennelview {

std::optional<PrivateFolder> PrivateFolder::create() {
  // mkdtemp makes the folder with mode 0700.
  std::string name = (std::filesystem::path(g_get_tmp_dir()) / "fennelview-XXXXXX").string();
  if (!mkdtemp(name.data())) return std::nullopt;
  return PrivateFolder(name);
}

PrivateFolder::~PrivateFolder() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

PrivateFolder::PrivateFolder(PrivateFolder&& other) noexcept : path_(std::exchange(other.path_, {})) {}

PrivateFolder& PrivateFolder::operator=(PrivateFolder&& other) noexcept {
  if (this != &other) {
    PrivateFolder old(std::move(*this));
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

std::optional<std::string> PrivateFolder::read(const std::string& name, std::size_t limit, bool* tooLarge) const {
  // O_NOFOLLOW | O_NONBLOCK: a child may have left a link or a FIFO under the name.
  const int fd = open((path_ / name).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> text;
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    text.emplace();
    char buffer[64 * 1024];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || text->size() + static_cast<std::size_t>(n) > limit) {
        if (n > 0 && tooLarge) *tooLarge = true;
        text.reset();
        break;
      }
      text->append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(fd);
  return text;
}

}  // namespace fennelview
