// SPDX-License-Identifier: GPL-3.0-or-later
#include "page_call.hpp"

#include <memory>

#include "common/glib_ptr.hpp"

namespace fennelview {

const char* const kScrollPositionScript = "window.scrollX + ',' + window.scrollY";

void evaluateInPage(WebKitWebView* view, const std::string& script, GCancellable* calls,
                    std::function<void(JSCValue*)> answer) {
  using Answer = std::function<void(JSCValue*)>;
  webkit_web_view_evaluate_javascript(
      view, script.c_str(), -1, "fennelview", nullptr, calls,
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Answer> answer(static_cast<Answer*>(data));
        GError* rawError = nullptr;
        GObjectPtr<JSCValue> value(webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &rawError));
        GErrorPtr error(rawError);
        if (error && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED)) return;
        (*answer)(value.get());
      },
      new Answer(std::move(answer)));
}

std::optional<std::string> scrollPosition(JSCValue* value) {
  if (!value || !jsc_value_is_string(value)) return std::nullopt;
  GCharPtr text(jsc_value_to_string(value));
  std::string scroll = text.get();
  if (scroll.empty() || scroll.find_first_not_of("0123456789.,-e") != std::string::npos) return std::nullopt;
  return scroll;
}

void restoreScroll(WebKitWebView* view, const std::string& position) {
  const std::string script = "window.scrollTo(" + position + ")";
  webkit_web_view_evaluate_javascript(view, script.c_str(), -1, "fennelview", nullptr, nullptr, nullptr, nullptr);
}

}  // namespace fennelview
