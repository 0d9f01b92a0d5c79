// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/random_bytes.hpp"

#include <glib.h>
#include <sys/random.h>

#include <cerrno>
#include <fstream>

namespace fennelview {

std::string randomBytes(std::size_t count) {
  std::string bytes(count, '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    const auto read = getrandom(bytes.data() + got, bytes.size() - got, 0);
    if (read > 0) {
      got += static_cast<std::size_t>(read);
    } else if (errno != EINTR) {
      break;
    }
  }
  // A kernel without getrandom still has its random device.
  if (got < bytes.size()) {
    std::ifstream device("/dev/urandom", std::ios::binary);
    if (!device.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
      for (auto& byte : bytes) byte = static_cast<char>(g_random_int_range(0, 256));
    }
  }
  return bytes;
}

}  // namespace fennelview
