// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <webkit/webkit.h>

#include <functional>
#include <optional>
#include <string>

namespace fennelview {

// Runs `script` in our own script world of the page shown in `view`; `answer` gets its value (null
// when it failed), unless `calls` is cancelled first: the page's owner may be gone by then.
void evaluateInPage(WebKitWebView* view, const std::string& script, GCancellable* calls,
                    std::function<void(JSCValue*)> answer);

// The script whose value is the page's scroll position, and that value when it is two plain
// numbers, nothing a page could slip into a later window.scrollTo().
extern const char* const kScrollPositionScript;
std::optional<std::string> scrollPosition(JSCValue* value);
// Scrolls the page back to a position scrollPosition() read.
void restoreScroll(WebKitWebView* view, const std::string& position);

}  // namespace fennelview
