// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/bounded_read.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/unique_fd.hpp"

namespace fennelview {

std::optional<std::string> readWholeFile(const std::filesystem::path& file, std::uintmax_t limit) {
  // Not blocking on a pipe: only a regular file is read.
  const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  return fd ? readWholeFile(fd.get(), limit) : std::nullopt;
}

std::optional<std::string> readWholeFile(int fd, std::uintmax_t limit) {
  struct stat status{};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || static_cast<std::uintmax_t>(status.st_size) > limit) {
    return std::nullopt;
  }
  std::string text(static_cast<std::size_t>(status.st_size), '\0');
  std::size_t done = 0;
  while (done < text.size()) {
    const auto got = pread(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // shrunk meanwhile: what is there
    done += static_cast<std::size_t>(got);
  }
  text.resize(done);
  return text;
}

}  // namespace fennelview
