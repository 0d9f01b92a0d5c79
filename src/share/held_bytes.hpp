// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <libsoup/soup.h>

#include <cstddef>
#include <memory>

namespace fennelview {

// Counts `bytes` into `total`, the bytes that a server's answers and requests hold in memory for
// every connection together, until `message` is finished. False, counting nothing, when that
// would take `total` past `limit`: the caller refuses instead, and slow readers cannot make the
// server grow without bound. `total` outlives the server while a message lasts.
bool holdUntilFinished(SoupServerMessage* message, const std::shared_ptr<std::size_t>& total, std::size_t bytes, std::size_t limit);

}  // namespace fennelview
