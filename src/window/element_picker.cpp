// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/element_picker.hpp"

#include <memory>
#include <nlohmann/json.hpp>

#include "window/window_resources.hpp"

namespace fennelview {

namespace {

constexpr const char* kWorld = "fennelview-picker";
constexpr const char* kChannel = "fennelviewPicker";

// A script of the picker's, from the window's resources.
std::string script(const char* name) { return windowScript(std::string("picker/") + name); }

// As JSON text: WebKit passes strings to a function but not arrays of them.
std::string jsonText(const nlohmann::json& list) {
  return list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// A JSON answer as a list of booleans; none for anything else.
ElementPicker::MatchResult booleans(const std::optional<std::string>& json) {
  const auto list = nlohmann::json::parse(json.value_or(""), nullptr, false);
  if (!list.is_array()) return std::nullopt;
  std::vector<bool> values;
  for (const auto& one : list) values.push_back(one.is_boolean() && one.get<bool>());
  return values;
}

struct Call {
  std::function<void(std::optional<std::string>)> done;
};

}  // namespace

ElementPicker::ElementPicker(WebKitWebView* view)
    : view_(view),
      manager_(GObjectPtr<WebKitUserContentManager>::retain(webkit_web_view_get_user_content_manager(view))),
      cancellable_(g_cancellable_new()) {
  g_object_ref(view_);
  const std::string signal = std::string("script-message-received::") + kChannel;
  messageHandler_ = g_signal_connect(manager_.get(), signal.c_str(), G_CALLBACK(onScriptMessage), this);
  webkit_user_content_manager_register_script_message_handler(manager_.get(), kChannel, kWorld);
  loadHandler_ = g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
}

ElementPicker::~ElementPicker() {
  g_cancellable_cancel(cancellable_.get());
  if (picking_) run("globalThis.fennelviewPicker?.stop();");
  g_signal_handler_disconnect(view_, loadHandler_);
  g_signal_handler_disconnect(manager_.get(), messageHandler_);
  webkit_user_content_manager_unregister_script_message_handler(manager_.get(), kChannel, kWorld);
  g_object_unref(view_);
}

void ElementPicker::run(const char* call) {
  static const std::string picker = script("element_picker.js");
  const std::string text = picker + call;
  webkit_web_view_evaluate_javascript(view_, text.c_str(), -1, kWorld, nullptr, nullptr, nullptr, nullptr);
}

void ElementPicker::enter() {
  picking_ = true;
  run("fennelviewPicker.start();");
}

void ElementPicker::markPath(const std::vector<int>& path) {
  run(("fennelviewPicker.markPath(" + nlohmann::json(path).dump() + ");").c_str());
}

void ElementPicker::leave() {
  if (!picking_) return;
  picking_ = false;
  run("fennelviewPicker.stop();");
  if (left_) left_();
}

void ElementPicker::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  auto* picker = static_cast<ElementPicker*>(self);
  // A new page has none of the picker's script.
  if (event == WEBKIT_LOAD_FINISHED && picker->picking_) picker->run("fennelviewPicker.start();");
}

void ElementPicker::onScriptMessage(WebKitUserContentManager*, JSCValue* value, gpointer self) {
  auto* picker = static_cast<ElementPicker*>(self);
  if (!picker->picking_ || !jsc_value_is_string(value)) return;
  const auto message = nlohmann::json::parse(GCharPtr(jsc_value_to_string(value)).get(), nullptr, false);
  if (!message.is_object()) return;
  const auto text = [&](const char* key) {
    const auto found = message.find(key);
    return found != message.end() && found->is_string() ? found->get<std::string>() : std::string();
  };
  const auto kind = text("kind");
  if (kind == "left") {
    picker->picking_ = false;
    if (picker->left_) picker->left_();
  } else if (kind == "picked") {
    PickedElement element{text("tag"), text("id"), {}, {}};
    if (const auto classes = message.find("classes"); classes != message.end() && classes->is_array()) {
      for (const auto& name : *classes) {
        if (name.is_string()) element.classes.push_back(name.get<std::string>());
      }
    }
    if (const auto path = message.find("path"); path != message.end() && path->is_array()) {
      for (const auto& at : *path) element.path.push_back(at.is_number_integer() ? at.get<int>() : -1);
    }
    picker->picking_ = false;
    if (picker->picked_) picker->picked_(element);
  }
}

void ElementPicker::matchSelectors(const std::vector<std::string>& selectors, std::function<void(MatchResult)> done) {
  static const std::string function = script("match_selectors.js");
  call(function.c_str(), jsonText(selectors), [done = std::move(done)](std::optional<std::string> json) { done(booleans(json)); });
}

void ElementPicker::judgeConditions(const std::vector<Condition>& conditions, std::function<void(MatchResult)> done) {
  auto list = nlohmann::json::array();
  for (const auto& condition : conditions) list.push_back({condition.name, condition.prelude});
  static const std::string function = script("judge_conditions.js");
  call(function.c_str(), jsonText(list), [done = std::move(done)](std::optional<std::string> json) { done(booleans(json)); });
}

void ElementPicker::listStyleSheets(std::function<void(std::optional<PageSheetList>)> done) {
  static const std::string function = script("list_style_sheets.js");
  call(function.c_str(), "[]", [done = std::move(done)](std::optional<std::string> json) {
    const auto answer = nlohmann::json::parse(json.value_or(""), nullptr, false);
    if (!answer.is_object() || !answer.contains("sheets") || !answer["sheets"].is_array()) return done(std::nullopt);
    PageSheetList list;
    if (answer.contains("page") && answer["page"].is_string()) list.pageUrl = answer["page"].get<std::string>();
    for (const auto& sheet : answer["sheets"]) {
      const auto text = [&](std::size_t at) {
        return sheet.is_array() && sheet.size() > at && sheet[at].is_string() ? sheet[at].get<std::string>() : std::string();
      };
      list.sheets.push_back({text(0), text(1), text(2) == "read", text(2) == "compiled"});
    }
    done(std::move(list));
  });
}

void ElementPicker::call(const char* function, const std::string& list,
                         std::function<void(std::optional<std::string>)> done) {
  GVariantBuilder arguments;
  g_variant_builder_init(&arguments, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&arguments, "{sv}", "list", g_variant_new_string(list.c_str()));
  auto call = std::make_unique<Call>(Call{std::move(done)});
  webkit_web_view_call_async_javascript_function(
      view_, function, -1, g_variant_builder_end(&arguments), kWorld, nullptr, cancellable_.get(),
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Call> call(static_cast<Call*>(data));
        GError* rawError = nullptr;
        GObjectPtr<JSCValue> value(
            webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &rawError));
        GErrorPtr error(rawError);
        if (error && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED)) return;
        if (!value || !jsc_value_is_string(value.get())) return call->done(std::nullopt);
        call->done(std::string(GCharPtr(jsc_value_to_string(value.get())).get()));
      },
      call.release());
}

}  // namespace fennelview
