// SPDX-License-Identifier: GPL-3.0-or-later
#include "share/held_bytes.hpp"

#include <utility>

namespace fennelview {

bool holdUntilFinished(SoupServerMessage* message, const std::shared_ptr<std::size_t>& total, std::size_t bytes, std::size_t limit) {
  if (*total + bytes > limit) return false;
  struct Held {
    std::shared_ptr<std::size_t> total;
    std::size_t size;
  };
  *total += bytes;
  g_signal_connect_data(message, "finished", G_CALLBACK(+[](SoupServerMessage*, Held* held) {
                          *held->total -= std::exchange(held->size, 0);
                        }),
                        new Held{total, bytes}, +[](gpointer data, GClosure*) {
                          auto* held = static_cast<Held*>(data);
                          *held->total -= held->size;
                          delete held;
                        },
                        GConnectFlags(0));
  return true;
}

}  // namespace fennelview
