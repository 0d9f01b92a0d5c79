// SPDX-License-Identifier: GPL-3.0-or-later
#include <epoxy/gl.h>
// epoxy's GL header comes before any other.
#include "preview_web_context.hpp"

#include <gtk/gtk.h>

#include <glib/gi18n.h>

#include <unistd.h>

#include <algorithm>
#include <memory>

namespace fennelview {

namespace {

using Clock = std::chrono::steady_clock;
// Our own ending of an unanswering process is reported a moment later, by WebKit, as one by API.
constexpr auto kOwnEndingReported = std::chrono::seconds(5);

std::string lostText(WebKitWebProcessTerminationReason reason, bool unresponsive, bool reloaded) {
  if (unresponsive) {
    return reloaded ? _("A page's scripts stopped answering, so the preview's web process was ended; the page was "
                        "loaded again.")
                    : _("A page's scripts stopped answering, so the preview's web process was ended again and again; "
                        "the page comes back with the next save.");
  }
  if (reason == WEBKIT_WEB_PROCESS_CRASHED) {
    return reloaded ? _("The preview's web process crashed; the page was loaded again.")
                    : _("The preview's web process crashed again and again; the page comes back with the next save.");
  }
  if (reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT) {
    return reloaded ? _("The preview's web process used too much memory; the page was loaded again.")
                    : _("The preview's web process used too much memory again and again; the page comes back with "
                        "the next save.");
  }
  return reloaded ? _("The preview's web process was ended; the page was loaded again.")
                  : _("The preview's web process was ended again and again; the page comes back with the next save.");
}

}  // namespace

std::optional<std::string> openGLRenderer() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return std::nullopt;
  GObjectPtr<GdkGLContext> context(gdk_display_create_gl_context(display, nullptr));
  if (!context || !gdk_gl_context_realize(context.get(), nullptr)) return std::nullopt;
  gdk_gl_context_make_current(context.get());
  const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  std::optional<std::string> renderer;
  if (name) renderer = name;
  gdk_gl_context_clear_current();
  return renderer;
}

unsigned previewMemoryLimitMb(std::uint64_t physicalMb) {
  return static_cast<unsigned>(std::clamp<std::uint64_t>(physicalMb / 2, 512, 4096));
}

PreviewWebContext::PreviewWebContext(RendererProbe probe, PreviewLimits limits)
    : probe_(std::move(probe)), limits_(limits), settings_(webkit_settings_new()) {
  // Past the limit WebKit ends the process, which brings the pages back as after a crash.
  std::unique_ptr<WebKitMemoryPressureSettings, decltype(&webkit_memory_pressure_settings_free)> pressure(
      webkit_memory_pressure_settings_new(), webkit_memory_pressure_settings_free);
  const auto pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  const std::uint64_t physicalMb = pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) * pageSize / (1 << 20) : 0;
  webkit_memory_pressure_settings_set_memory_limit(pressure.get(),
                                                   limits_.memoryMb ? limits_.memoryMb : previewMemoryLimitMb(physicalMb));
  webkit_memory_pressure_settings_set_poll_interval(pressure.get(), limits_.memoryPoll);
  webkit_memory_pressure_settings_set_kill_threshold(pressure.get(), 1);
  context_ = GObjectPtr<WebKitWebContext>(
      WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "memory-pressure-settings", pressure.get(), nullptr)));
  // The inspector (and "Inspect Element") for the previews, which alone use these settings.
  webkit_settings_set_enable_developer_extras(settings_.get(), TRUE);
}

PreviewWebContext::~PreviewWebContext() {
  if (question_) g_cancellable_cancel(question_.get());
  // The views may outlive this plain object, which cannot own their handlers.
  for (const auto& [view, page] : pages_) {
    g_signal_handlers_disconnect_by_data(view, this);
    g_object_weak_unref(G_OBJECT(view), viewGone, this);
  }
}

PreviewWebContext& PreviewWebContext::shared() {
  // Never destroyed: the web process and its views go with the application.
  static PreviewWebContext* const instance = std::make_unique<PreviewWebContext>().release();
  return *instance;
}

const DrawingPath& PreviewWebContext::drawingPath() {
  if (!renderer_) {
    renderer_ = probe_ ? probe_() : std::nullopt;
    setHardwareAcceleration(choice_);
    // GTK draws the unaccelerated page cheaper with cairo than through software OpenGL. It reads
    // this once, when it draws its first window, which the first preview's window is; a value
    // the user set stays.
    if (!path_.accelerated) g_setenv("GSK_RENDERER", "cairo", FALSE);
  }
  return path_;
}

void PreviewWebContext::setHardwareAcceleration(HardwareAcceleration choice) {
  choice_ = choice;
  if (!renderer_) return;  // applied when the first view is made
  path_ = chooseDrawingPath(choice_, *renderer_);
  // Shared by every view, so one change redraws them all.
  webkit_settings_set_hardware_acceleration_policy(
      settings_.get(), path_.accelerated ? WEBKIT_HARDWARE_ACCELERATION_POLICY_ALWAYS : WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
}

GObjectPtr<WebKitWebView> PreviewWebContext::makeWebView(PageLost pageLost) {
  drawingPath();
  if (!anchor_) {
    anchor_ = GObjectPtr<WebKitWebView>(
        WEBKIT_WEB_VIEW(g_object_ref_sink(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_.get(), "settings", settings_.get(), nullptr))));
  }
  GObjectPtr<WebKitWebView> view(WEBKIT_WEB_VIEW(g_object_ref_sink(
      g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", anchor_.get(), "settings", settings_.get(), nullptr))));
  pages_[view.get()] = Page{std::move(pageLost), {}};
  g_object_weak_ref(G_OBJECT(view.get()), viewGone, this);
  g_signal_connect(view.get(), "web-process-terminated",
                   G_CALLBACK(+[](WebKitWebView* view, WebKitWebProcessTerminationReason reason, gpointer data) {
                     static_cast<PreviewWebContext*>(data)->terminated(view, reason);
                   }),
                   this);
  g_signal_connect(view.get(), "notify::is-web-process-responsive", G_CALLBACK(+[](WebKitWebView* view, GParamSpec*, gpointer data) {
                     static_cast<PreviewWebContext*>(data)->responsivenessChanged(view);
                   }),
                   this);
  return view;
}

void PreviewWebContext::forget(WebKitWebView* view) {
  if (const auto found = pages_.find(view); found != pages_.end()) found->second.pageLost = {};
}

void PreviewWebContext::viewGone(gpointer self, GObject* view) {
  static_cast<PreviewWebContext*>(self)->pages_.erase(reinterpret_cast<WebKitWebView*>(view));
}

void PreviewWebContext::terminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason) {
  const auto found = pages_.find(view);
  if (found == pages_.end()) return;
  auto& page = found->second;
  const auto now = Clock::now();
  const bool unresponsive = reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API && endedUnresponsive_ &&
                            now - *endedUnresponsive_ < kOwnEndingReported;
  while (!page.endings.empty() && now - page.endings.front() > limits_.endingsWindow) page.endings.pop_front();
  page.endings.push_back(now);
  // A page that takes its process down each time it loads is not loaded for ever.
  const bool reload = static_cast<int>(page.endings.size()) <= limits_.endings;
  // The owner may close the view from here; the callback is kept until it has run.
  const auto pageLost = page.pageLost;
  if (pageLost) pageLost(lostText(reason, unresponsive, reload), reload);
}

void PreviewWebContext::responsivenessChanged(WebKitWebView*) {
  const bool anyUnresponsive = std::any_of(pages_.begin(), pages_.end(), [](const auto& entry) {
    return !webkit_web_view_get_is_web_process_responsive(entry.first);
  });
  if (!anyUnresponsive) unresponsiveTimer_.reset();
  if (!anyUnresponsive || unresponsiveTimer_.active()) return;
  unresponsiveTimer_ = MainLoopSource::after(limits_.unresponsive, [this] { endUnresponsiveProcess(); });
}

void PreviewWebContext::endUnresponsiveProcess() {
  for (const auto& [view, page] : pages_) {
    if (!webkit_web_view_get_is_web_process_responsive(view)) return endProcessOf(view);
  }
}

void PreviewWebContext::endProcessOf(WebKitWebView* view) {
  endedUnresponsive_ = Clock::now();
  webkit_web_view_terminate_web_process(view);  // every preview shares it
}

void PreviewWebContext::expectAnswer(WebKitWebView* view) {
  if (question_ || !pages_.contains(view)) return;
  question_ = GObjectPtr<GCancellable>(g_cancellable_new());
  struct Asked {
    PreviewWebContext* self;
    GObjectPtr<GCancellable> question;
  };
  webkit_web_view_call_async_javascript_function(
      view, "return 1", -1, nullptr, nullptr, nullptr, nullptr,
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Asked> asked(static_cast<Asked*>(data));
        GObjectPtr<JSCValue> value(webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, nullptr));
        // Answered, or the process ended some other way: either way no longer a question.
        if (g_cancellable_is_cancelled(asked->question.get()) || asked->self->question_.get() != asked->question.get()) return;
        auto* self = asked->self;
        self->question_ = {};
        self->answerTimer_.reset();
      },
      std::make_unique<Asked>(Asked{this, question_}).release());
  askedView_ = view;
  // Counted in turns of our own loop, so time it spent busy (showing a huge result, say) is not
  // held against the process: the answer may be waiting behind it.
  constexpr int turns = 10;
  answerTimer_ = MainLoopSource::every(std::max(limits_.unanswered / turns, std::chrono::milliseconds(1)),
                                       [this, waited = 0]() mutable {
    if (++waited < turns) return true;
    // The answer that may still come finds its question cancelled.
    g_cancellable_cancel(question_.get());
    question_ = {};
    // Every preview shares the process: any view still there ends it, though the asked one closed.
    const auto asked = pages_.find(askedView_);
    if (asked != pages_.end()) {
      endProcessOf(asked->first);
    } else if (!pages_.empty()) {
      endProcessOf(pages_.begin()->first);
    }
    return false;
  });
}

}  // namespace fennelview
