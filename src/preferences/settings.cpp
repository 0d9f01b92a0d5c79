// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/settings.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <tuple>
#include <utility>

#include "compile/compilers.hpp"

namespace fennelview {

namespace {

using nlohmann::json;

// One stored entry: its key (for a per-document entry, what comes before the document's
// path), the value read while nothing valid is stored, and the check of a stored value: the
// value when it has the entry's type and is one the app can use, else none.
template <typename T>
struct Declaration {
  Settings::Entry entry;
  const char* key;
  T fallback;
  std::optional<T> (*check)(const json&);
};

std::optional<std::string> stringAmong(const json& value, std::initializer_list<std::string_view> allowed) {
  const auto text = typedValue<std::string>(value);
  if (text && std::ranges::find(allowed, *text) != allowed.end()) return text;
  return std::nullopt;
}

std::optional<int> windowLength(const json::object_t& frame, const char* name) {
  // Larger than any screen; also what GTK takes as a size.
  constexpr std::int64_t largest = 32767;
  const auto length = typedValue<std::int64_t>(frame, name);
  if (length && *length > 0 && *length <= largest) return static_cast<int>(*length);
  return std::nullopt;
}

const Declaration<std::string> compilerEntry{
    Settings::Entry::compiler, "compiler", std::string(kLibSassId),
    [](const json& value) { return stringAmong(value, {kLibSassId, kDartSassId}); }};

const Declaration<std::vector<std::string>> loadPathsEntry{
    Settings::Entry::loadPaths, "loadPaths", {}, [](const json& value) -> std::optional<std::vector<std::string>> {
      if (!value.is_array()) return std::nullopt;
      std::vector<std::string> folders;
      for (const auto& item : value) {
        if (auto folder = typedValue<std::string>(item); folder && !folder->empty()) folders.push_back(std::move(*folder));
      }
      return folders;
    }};

const Declaration<std::optional<std::string>> defaultEditorPathEntry{
    Settings::Entry::defaultEditorPath, Settings::defaultEditorPathKey, std::nullopt,
    [](const json& value) -> std::optional<std::optional<std::string>> {
      if (auto url = typedValue<std::string>(value)) return std::optional<std::string>(std::move(*url));
      return std::nullopt;
    }};

const Declaration<std::string> webRenderingEntry{
    Settings::Entry::webRendering, "webRendering", "auto",
    [](const json& value) { return stringAmong(value, {"auto", "on", "off"}); }};

const Declaration<bool> allowOtherDevicesEntry{Settings::Entry::allowOtherDevices, "allowOtherDevices", false,
                                               [](const json& value) { return typedValue<bool>(value); }};

const Declaration<PreviewSize> previewEntry{
    Settings::Entry::preview, "preview:", {}, [](const json& value) -> std::optional<PreviewSize> {
      const auto kept = typedValue<json::object_t>(value);
      if (!kept) return std::nullopt;
      PreviewSize size;
      if (const auto width = kept->find("width"); width != kept->end()) {
        size.width = stringAmong(width->second, {"phone", "tablet", "desktop", "fill"});
      }
      if (const auto zoom = kept->find("zoom"); zoom != kept->end() && zoom->second.is_number()) {
        const double level = zoom->second.get<double>();
        if (std::isfinite(level)) size.zoom = std::clamp(level, Settings::smallestZoom, Settings::largestZoom);
      }
      size.page = typedValue<std::string>(*kept, "page");
      if (const auto panes = kept->find("panes"); panes != kept->end()) size.panes = panesFrom(panes->second);
      if (const auto media = kept->find("media"); media != kept->end()) size.media = mediaStateFrom(media->second).value_or(MediaState{});
      return size;
    }};

const Declaration<WindowFrame> windowFrameEntry{
    Settings::Entry::windowFrame, "", {}, [](const json& value) -> std::optional<WindowFrame> {
      const auto kept = typedValue<json::object_t>(value);
      if (!kept) return std::nullopt;
      WindowFrame frame;
      const auto width = windowLength(*kept, "width"), height = windowLength(*kept, "height");
      if (width && height) std::tie(frame.width, frame.height) = std::pair(width, height);
      frame.maximized = typedValue<bool>(*kept, "maximized").value_or(false);
      return frame;
    }};

const Declaration<std::optional<CssExportChoice>> cssExportEntry{
    Settings::Entry::cssExport, "export:", std::nullopt,
    [](const json& value) -> std::optional<std::optional<CssExportChoice>> {
      const auto kept = typedValue<json::object_t>(value);
      if (!kept) return std::nullopt;
      const auto target = typedValue<std::string>(*kept, "target");
      const auto style = kept->contains("style") ? stringAmong(kept->at("style"), {"expanded", "compressed"})
                                                : std::optional<std::string>("expanded");
      // A flag of another type is a value the app did not write: the whole choice is unusable.
      const auto flag = [&](const char* name) {
        return kept->contains(name) ? typedValue<bool>(kept->at(name)) : std::optional<bool>(false);
      };
      const auto sourceMap = flag("sourceMap"), onEverySave = flag("onEverySave");
      if (!target || !std::filesystem::path(*target).is_absolute() || !style || !sourceMap || !onEverySave) {
        return std::nullopt;
      }
      return CssExportChoice{*target, *style == "compressed" ? OutputStyle::kCompressed : OutputStyle::kExpanded,
                             *sourceMap, *onEverySave};
    }};

template <typename T>
T read(const UserDefaults& store, const Declaration<T>& entry, const std::string& documentPath = {}) {
  if (const auto value = store.objectForKey(entry.key + documentPath)) {
    if (auto checked = entry.check(*value)) return std::move(*checked);
  }
  return entry.fallback;
}

}  // namespace

struct Settings::Observation::Observers {
  int nextId = 1;
  std::vector<std::tuple<int, Entry, std::shared_ptr<std::function<void()>>>> list;
};

Settings::Observation& Settings::Observation::operator=(Observation&& other) noexcept {
  if (this != &other) {
    end();
    observers_ = std::move(other.observers_);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

Settings::Observation::~Observation() { end(); }

void Settings::Observation::end() {
  if (auto observers = observers_.lock()) {
    std::erase_if(observers->list, [this](const auto& item) { return std::get<0>(item) == id_; });
  }
  observers_.reset();
}

Settings::Settings(std::filesystem::path file)
    : store_(std::move(file)), observers_(std::make_shared<Observation::Observers>()) {}

Settings::~Settings() = default;

Settings::Observation Settings::observe(Entry entry, std::function<void()> changed) {
  const int id = observers_->nextId++;
  observers_->list.emplace_back(id, entry, std::make_shared<std::function<void()>>(std::move(changed)));
  return Observation(observers_, id);
}

void Settings::write(Entry entry, const std::string& key, const json& value) {
  store_.setObject(value, key);
  announce(entry);
}

void Settings::announce(Entry entry) {
  // A copy: an observer may end its own or another's observation while being told.
  const auto observers = observers_->list;
  for (const auto& [id, observed, changed] : observers) {
    if (observed == entry) (*changed)();
  }
}

std::string Settings::compiler() const { return read(store_, compilerEntry); }

void Settings::setCompiler(const std::string& id) {
  if (compilerEntry.check(id)) write(compilerEntry.entry, compilerEntry.key, id);
}

std::vector<std::string> Settings::loadPaths() const { return read(store_, loadPathsEntry); }

void Settings::setLoadPaths(const std::vector<std::string>& folders) {
  write(loadPathsEntry.entry, loadPathsEntry.key, folders);
}

std::optional<std::string> Settings::defaultEditorPath() const { return read(store_, defaultEditorPathEntry); }

void Settings::setDefaultEditorPath(const std::string& url) {
  write(defaultEditorPathEntry.entry, defaultEditorPathEntry.key, url);
}

void Settings::registerDefaultEditorPath(const std::string& url) {
  store_.registerDefaults({{defaultEditorPathEntry.key, url}});
}

std::string Settings::webRendering() const { return read(store_, webRenderingEntry); }

void Settings::setWebRendering(const std::string& choice) {
  if (webRenderingEntry.check(choice)) write(webRenderingEntry.entry, webRenderingEntry.key, choice);
}

bool Settings::allowOtherDevices() const { return read(store_, allowOtherDevicesEntry); }

void Settings::setAllowOtherDevices(bool allowed) {
  write(allowOtherDevicesEntry.entry, allowOtherDevicesEntry.key, allowed);
}

PreviewSize Settings::preview(const std::string& documentPath) const {
  return read(store_, previewEntry, documentPath);
}

namespace {
// What is kept for a document's preview, as stored: each part is written without losing the others.
json::object_t keptPreview(const UserDefaults& store, const std::string& key) {
  const auto value = store.objectForKey(key);
  return value ? typedValue<json::object_t>(*value).value_or(json::object_t()) : json::object_t();
}
}  // namespace

void Settings::setPreview(const std::string& documentPath, const std::string& width, double zoom) {
  const auto key = previewEntry.key + documentPath;
  auto kept = keptPreview(store_, key);
  kept["width"] = width;
  kept["zoom"] = zoom;
  write(previewEntry.entry, key, kept);
}

void Settings::setPreviewPage(const std::string& documentPath, const std::string& page) {
  const auto key = previewEntry.key + documentPath;
  auto kept = keptPreview(store_, key);
  kept["page"] = page;
  write(previewEntry.entry, key, kept);
}

void Settings::setPreviewPanes(const std::string& documentPath, const std::vector<Pane>& panes) {
  const auto key = previewEntry.key + documentPath;
  auto kept = keptPreview(store_, key);
  kept["panes"] = toJson(panes);
  write(previewEntry.entry, key, kept);
}

void Settings::setPreviewMedia(const std::string& documentPath, const MediaState& media) {
  const auto key = previewEntry.key + documentPath;
  auto kept = keptPreview(store_, key);
  kept["media"] = toJson(media);
  write(previewEntry.entry, key, kept);
}

std::optional<CssExportChoice> Settings::cssExport(const std::string& documentPath) const {
  return read(store_, cssExportEntry, documentPath);
}

void Settings::setCssExport(const std::string& documentPath, const CssExportChoice& choice) {
  write(cssExportEntry.entry, cssExportEntry.key + documentPath,
        {{"target", choice.target.string()},
         {"style", choice.style == OutputStyle::kCompressed ? "compressed" : "expanded"},
         {"sourceMap", choice.sourceMap},
         {"onEverySave", choice.onEverySave}});
}

WindowFrame Settings::windowFrame(const std::string& documentPath) const {
  return read(store_, windowFrameEntry, documentPath);
}

void Settings::setWindowFrame(const std::string& documentPath, int width, int height, bool maximized) {
  write(windowFrameEntry.entry, documentPath, {{"width", width}, {"height", height}, {"maximized", maximized}});
}

}  // namespace fennelview
