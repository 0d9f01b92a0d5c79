// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "panes/pane_set.hpp"

namespace fennelview {

// A style sheet whose @media rules answer as in `media`: each feature the state decides
// (prefers-color-scheme, prefers-reduced-motion: reduce | no-preference) becomes a condition that
// is always true or always false, and under print emulation the media types answer as on paper.
// Everything else, and every byte outside the @media preludes, stays. One pass over the text.
std::string emulateMedia(std::string_view css, const MediaState& media);

// One media query list, such as an @media prelude or the text given to matchMedia.
std::string emulateMediaQueryList(std::string_view list, const MediaState& media);

}  // namespace fennelview
