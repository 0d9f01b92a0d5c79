// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/element_picker.hpp"

#include <memory>
#include <nlohmann/json.hpp>

namespace fennelview {

namespace {

constexpr const char* kWorld = "fennelview-picker";
constexpr const char* kChannel = "fennelviewPicker";

// Defines the picker in its world once per page; later calls reuse it.
constexpr const char* kPickerScript = R"JS(
globalThis.fennelviewPicker ??= (() => {
  const post = (message) => window.webkit.messageHandlers.fennelviewPicker.postMessage(JSON.stringify(message));
  let box = null, label = null;
  const labelText = (el) => el.localName + (el.id ? '#' + el.id : '') + Array.from(el.classList, (c) => '.' + c).join('');
  const show = (el) => {
    if (!box) {
      box = document.createElement('div');
      box.style.cssText = 'all:initial;position:fixed;pointer-events:none;z-index:2147483647;box-sizing:border-box;' +
        'outline:2px solid #3584e4;background:rgba(53,132,228,.15)';
      label = document.createElement('div');
      label.style.cssText = 'all:initial;position:fixed;pointer-events:none;z-index:2147483647;white-space:nowrap;' +
        'font:12px/1.5 monospace;color:#fff;background:#1c71d8;padding:0 4px;border-radius:3px';
    }
    if (!box.isConnected) document.documentElement.append(box, label);
    const r = el.getBoundingClientRect();
    Object.assign(box.style, {left: r.left + 'px', top: r.top + 'px', width: r.width + 'px', height: r.height + 'px'});
    label.textContent = labelText(el);
    Object.assign(label.style, {left: Math.max(0, r.left) + 'px', top: (r.top >= 20 ? r.top - 20 : r.bottom + 2) + 'px'});
  };
  const hide = () => { box?.remove(); label?.remove(); };
  const elementOf = (e) => {
    const node = e.composedPath()[0];
    return node instanceof Element ? node : (node?.parentElement ?? null);
  };
  // Nothing of the pick gesture reaches the page: the window sees these first, in the capture phase.
  const swallow = (e) => { e.preventDefault(); e.stopImmediatePropagation(); };
  const onMove = (e) => { const el = elementOf(e); if (el) show(el); };
  const onClick = (e) => {
    swallow(e);
    const el = elementOf(e);
    if (el) pick(el);
  };
  const pick = (el) => {
    globalThis.fennelviewPicked = el;
    stop();
    post({kind: 'picked', tag: el.localName, id: el.id, classes: Array.from(el.classList)});
  };
  // From the keyboard: Tab outlines the focused element, Enter picks it.
  const onFocus = (e) => { if (e.target instanceof Element) show(e.target); };
  const onKey = (e) => {
    if (e.key === 'Escape') { swallow(e); stop(); post({kind: 'left'}); }
    const focused = document.activeElement;
    if (e.key === 'Enter' && focused && focused !== document.body) { swallow(e); pick(focused); }
  };
  const swallowed = ['pointerdown', 'mousedown', 'pointerup', 'mouseup', 'dblclick', 'auxclick', 'contextmenu',
                     'touchstart', 'touchend'];
  const listeners = [['pointermove', onMove], ['click', onClick], ['keydown', onKey], ['focusin', onFocus],
                     ...swallowed.map((type) => [type, swallow])];
  const options = {capture: true};
  let active = false;
  const start = () => {
    if (active) return;
    active = true;
    for (const [type, listener] of listeners) addEventListener(type, listener, options);
  };
  const stop = () => {
    if (!active) return;
    active = false;
    for (const [type, listener] of listeners) removeEventListener(type, listener, options);
    hide();
  };
  return {start, stop};
})();
)JS";

constexpr const char* kMatchFunction = R"JS(
const el = globalThis.fennelviewPicked;
if (!el || !el.isConnected) return null;
return JSON.stringify(JSON.parse(list).map((s) => { try { return el.matches(s); } catch (e) { return false; } }));
)JS";

// A condition the page cannot judge holds: the rule is shown rather than hidden.
constexpr const char* kConditionFunction = R"JS(
return JSON.stringify(JSON.parse(list).map(([name, prelude]) => {
  try {
    if (name === 'media') return matchMedia(prelude).matches;
    if (name === 'supports') return CSS.supports(prelude);
  } catch (e) {}
  return true;
}));
)JS";

// As JSON text: WebKit passes strings to a function but not arrays of them.
std::string jsonText(const nlohmann::json& list) {
  return list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

constexpr const char* kStyleSheetsFunction = R"JS(
return JSON.stringify({page: location.href, sheets: Array.from(document.styleSheets, (sheet) =>
  sheet.href ? [sheet.href, ''] : ['', sheet.ownerNode?.localName === 'style' ? sheet.ownerNode.textContent : ''])});
)JS";

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
  const std::string script = std::string(kPickerScript) + call;
  webkit_web_view_evaluate_javascript(view_, script.c_str(), -1, kWorld, nullptr, nullptr, nullptr, nullptr);
}

void ElementPicker::enter() {
  picking_ = true;
  run("fennelviewPicker.start();");
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
    PickedElement element{text("tag"), text("id"), {}};
    if (const auto classes = message.find("classes"); classes != message.end() && classes->is_array()) {
      for (const auto& name : *classes) {
        if (name.is_string()) element.classes.push_back(name.get<std::string>());
      }
    }
    picker->picking_ = false;
    if (picker->picked_) picker->picked_(element);
  }
}

void ElementPicker::matchSelectors(const std::vector<std::string>& selectors, std::function<void(MatchResult)> done) {
  call(kMatchFunction, jsonText(selectors), [done = std::move(done)](std::optional<std::string> json) { done(booleans(json)); });
}

void ElementPicker::judgeConditions(const std::vector<Condition>& conditions, std::function<void(MatchResult)> done) {
  auto list = nlohmann::json::array();
  for (const auto& condition : conditions) list.push_back({condition.name, condition.prelude});
  call(kConditionFunction, jsonText(list), [done = std::move(done)](std::optional<std::string> json) { done(booleans(json)); });
}

void ElementPicker::listStyleSheets(std::function<void(std::optional<StyleSheets>)> done) {
  call(kStyleSheetsFunction, "[]", [done = std::move(done)](std::optional<std::string> json) {
    const auto answer = nlohmann::json::parse(json.value_or(""), nullptr, false);
    if (!answer.is_object() || !answer.contains("sheets") || !answer["sheets"].is_array()) return done(std::nullopt);
    StyleSheets list;
    if (answer.contains("page") && answer["page"].is_string()) list.pageUrl = answer["page"].get<std::string>();
    for (const auto& sheet : answer["sheets"]) {
      const auto text = [&](std::size_t at) {
        return sheet.is_array() && sheet.size() > at && sheet[at].is_string() ? sheet[at].get<std::string>() : std::string();
      };
      list.sheets.emplace_back(text(0), text(1));
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
