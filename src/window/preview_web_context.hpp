// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <webkit/webkit.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "common/glib_ptr.hpp"
#include "common/main_loop_source.hpp"
#include "present/drawing_path.hpp"

namespace fennelview {

// OpenGL's renderer name on the default display, or none when no OpenGL context can be made.
std::optional<std::string> openGLRenderer();

// When the previews' web process is ended, and when a page is no longer loaded again.
struct PreviewLimits {
  // A process that WebKit reports as not answering for this long is ended.
  std::chrono::milliseconds unresponsive{5000};
  // So is one that leaves a save's question unanswered this long; generous, since a huge style
  // sheet on a busy machine may take seconds to apply and still be well.
  std::chrono::milliseconds unanswered{10000};
  // A view whose process ends this often within the window is no longer reloaded.
  int endings = 3;
  std::chrono::seconds endingsWindow{60};
  // The memory the process may use, in MB, before WebKit ends it (0: as fits the machine); how
  // often it looks, in seconds, so a page that allocates without end is stopped in time.
  unsigned memoryMb = 0;
  double memoryPoll = 1;
};

// The web process's share of a machine with `physicalMb` of memory: half, between 512 MB and 4 GB.
unsigned previewMemoryLimitMb(std::uint64_t physicalMb);

// Makes every preview web view: all in one web process, drawn on the path chosen for the
// machine, and brought back when that process ends.
class PreviewWebContext {
 public:
  using RendererProbe = std::function<std::optional<std::string>()>;
  // The view's page is gone with its web process: the owner tells the user `why` and, when
  // `loadAgain`, loads the page again. Called once per view and ending.
  using PageLost = std::function<void(const std::string& why, bool loadAgain)>;
  explicit PreviewWebContext(RendererProbe probe = openGLRenderer, PreviewLimits limits = {});
  ~PreviewWebContext();
  PreviewWebContext(const PreviewWebContext&) = delete;
  PreviewWebContext& operator=(const PreviewWebContext&) = delete;

  // The one the application's windows use.
  static PreviewWebContext& shared();

  // A new preview web view in the shared web process.
  GObjectPtr<WebKitWebView> makeWebView(PageLost pageLost);
  // The view's owner is gone: its pageLost is no longer called.
  void forget(WebKitWebView* view);

  // Asks the view's web process for an answer, as every page kind does before it hands the process
  // a save's work: one that does not come within the limit is ended. WebKit itself only notices
  // on loads and input.
  void expectAnswer(WebKitWebView* view);

  // The setting's value; applies at once to every view.
  void setHardwareAcceleration(HardwareAcceleration choice);
  // The path in use and why; OpenGL is probed on first use.
  const DrawingPath& drawingPath();
  WebKitSettings* settings() const { return settings_.get(); }

 private:
  struct Page {
    PageLost pageLost;
    std::deque<std::chrono::steady_clock::time_point> endings;
  };
  static void viewGone(gpointer self, GObject* view);
  void terminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason);
  void responsivenessChanged(WebKitWebView* view);
  void endUnresponsiveProcess();
  void endProcessOf(WebKitWebView* view);

  RendererProbe probe_;
  PreviewLimits limits_;
  HardwareAcceleration choice_ = HardwareAcceleration::Auto;
  std::optional<std::optional<std::string>> renderer_;
  DrawingPath path_;
  GObjectPtr<WebKitSettings> settings_;
  // Of every preview: it bounds the memory of their web process.
  GObjectPtr<WebKitWebContext> context_;
  // Never shown: every preview is related to it, so all share its web process, also after a
  // crash and whichever windows have closed.
  GObjectPtr<WebKitWebView> anchor_;
  std::map<WebKitWebView*, Page> pages_;
  MainLoopSource unresponsiveTimer_;
  // One question at a time; cancelled when this goes.
  GObjectPtr<GCancellable> question_;
  MainLoopSource answerTimer_;
  WebKitWebView* askedView_ = nullptr;
  std::optional<std::chrono::steady_clock::time_point> endedUnresponsive_;
};

}  // namespace fennelview
