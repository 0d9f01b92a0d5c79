// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_delegate.hpp"

int main(int argc, char** argv) {
  fennelview::AppDelegate delegate;
  return delegate.run(argc, argv);
}
