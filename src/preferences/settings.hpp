// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "compile/output_style.hpp"
#include "panes/pane_set.hpp"
#include "preferences/user_defaults.hpp"

namespace fennelview {

// The page width preset and zoom kept for one document's preview; what is missing or not
// valid is none.
struct PreviewSize {
  std::optional<std::string> width;  // "phone", "tablet", "desktop" or "fill"
  std::optional<double> zoom;        // within [smallestZoom, largestZoom]
  std::optional<std::string> page;   // the HTML page chosen for the preview, a path
  std::vector<Pane> panes;           // side by side when two or more
  MediaState media;                  // what the single view emulates
};

// A document window's size and maximized state; a size no window can have is none.
struct WindowFrame {
  std::optional<int> width;
  std::optional<int> height;
  bool maximized = false;
};

// Where and how a document's compiled CSS is saved, as the user chose it.
struct CssExportChoice {
  std::filesystem::path target;  // absolute
  OutputStyle style = OutputStyle::kExpanded;
  bool sourceMap = false;    // "NAME.css.map" beside the CSS
  bool onEverySave = false;  // written after each compile that succeeds
  bool operator==(const CssExportChoice&) const = default;
};

// The app's settings, typed. Each entry's key, default and check are declared once (in
// settings.cpp); a stored value of another type, or one that fails its check, reads as the
// default. Every read sees the file as it is now. A write through this object is announced to
// the observers of its entry. Main thread only.
class Settings {
 public:
  enum class Entry { compiler, loadPaths, defaultEditorPath, webRendering, preview, windowFrame, cssExport, allowOtherDevices };

  // The default editor's key, for the launcher that reads the stored URL itself.
  static constexpr const char* defaultEditorPathKey = "defaultEditorPath";
  static constexpr double smallestZoom = 0.5;
  static constexpr double largestZoom = 3.0;

  // Ends an observation when it goes; safe after the settings have gone.
  class Observation {
   public:
    Observation() = default;
    Observation(Observation&&) noexcept = default;
    Observation& operator=(Observation&& other) noexcept;
    ~Observation();

   private:
    friend class Settings;
    struct Observers;
    Observation(std::weak_ptr<Observers> observers, int id) : observers_(std::move(observers)), id_(id) {}
    void end();
    std::weak_ptr<Observers> observers_;
    int id_ = 0;
  };

  // The settings kept in `file`, e.g. UserDefaults::standardFile().
  explicit Settings(std::filesystem::path file);
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;
  ~Settings();

  // The store underneath, for code that reads a key itself.
  UserDefaults& store() { return store_; }
  const UserDefaults& store() const { return store_; }

  // "compiler": "libsass" (the default) or "dart-sass".
  std::string compiler() const;
  void setCompiler(const std::string& id);  // another value is not stored
  // "loadPaths": folders searched by @use and @import; entries that are not non-empty
  // strings are skipped.
  std::vector<std::string> loadPaths() const;
  void setLoadPaths(const std::vector<std::string>& folders);
  // "defaultEditorPath": the file:// URL of the editor's .desktop file, or the registered one.
  std::optional<std::string> defaultEditorPath() const;
  void setDefaultEditorPath(const std::string& url);
  void registerDefaultEditorPath(const std::string& url);
  // "webRendering": "auto" (the default), "on" or "off", whether the preview draws with
  // hardware acceleration.
  std::string webRendering() const;
  void setWebRendering(const std::string& choice);  // another value is not stored
  // "allowOtherDevices": whether a window's page shown in browsers may be opened from other
  // devices on the network too (off by default).
  bool allowOtherDevices() const;
  void setAllowOtherDevices(bool allowed);
  // "preview:PATH": the preview's page width preset and zoom for the document at PATH.
  PreviewSize preview(const std::string& documentPath) const;
  void setPreview(const std::string& documentPath, const std::string& width, double zoom);
  void setPreviewPage(const std::string& documentPath, const std::string& page);
  void setPreviewPanes(const std::string& documentPath, const std::vector<Pane>& panes);
  void setPreviewMedia(const std::string& documentPath, const MediaState& media);
  // "export:PATH": the CSS export chosen for the document at PATH; none before the user chose
  // one, or when what is stored cannot be used (it stays as it is until the user chooses again).
  std::optional<CssExportChoice> cssExport(const std::string& documentPath) const;
  void setCssExport(const std::string& documentPath, const CssExportChoice& choice);
  // The window size, under the document's path itself.
  WindowFrame windowFrame(const std::string& documentPath) const;
  void setWindowFrame(const std::string& documentPath, int width, int height, bool maximized);

  // Calls `changed` after every write of `entry` through this object.
  [[nodiscard]] Observation observe(Entry entry, std::function<void()> changed);
  // Tells the observers of `entry` of a write made through store(), such as a project's own
  // load paths.
  void announce(Entry entry);

  // What the user has to learn about the settings file (kept aside, not saved), once.
  std::optional<std::string> takeNotice() { return store_.takeNotice(); }

 private:
  void write(Entry entry, const std::string& key, const nlohmann::json& value);

  UserDefaults store_;
  std::shared_ptr<Observation::Observers> observers_;
};

}  // namespace fennelview
