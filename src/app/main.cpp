// SPDX-License-Identifier: GPL-3.0-or-later
#include <glib/gi18n.h>

#include <clocale>

#include "app/app_delegate.hpp"
#include "build_config.hpp"
#include "common/resources.hpp"

int main(int argc, char** argv) {
  // Before any text is made, so that the command line's help is translated too.
  std::setlocale(LC_ALL, "");
  bindtextdomain(fennelview::build::gettextPackage, fennelview::localeDirectory().c_str());
  bind_textdomain_codeset(fennelview::build::gettextPackage, "UTF-8");
  textdomain(fennelview::build::gettextPackage);
  fennelview::AppDelegate delegate;
  return delegate.run(argc, argv);
}
