// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/pick_panel.hpp"

#include <glib/gi18n.h>

#include <algorithm>
#include <filesystem>
#include <unordered_set>
#include <utility>

#include "common/bounded_read.hpp"
#include "common/glib_ptr.hpp"
#include "inspect/cascade.hpp"
#include "present/error_link.hpp"

namespace fennelview {

namespace {

std::string elementText(const PickedElement& element) {
  std::string text = element.tag;
  if (!element.id.empty()) text += "#" + element.id;
  for (const auto& name : element.classes) text += "." + name;
  return text;
}

std::string declarationsText(const PickedRule& rule) {
  std::string text;
  for (const auto& declaration : rule.declarations) {
    if (!text.empty()) text += '\n';
    text += declaration.property + ": " + declaration.value + (declaration.important ? " !important;" : ";");
  }
  return text;
}

std::string conditionsText(const PickedRule& rule) {
  std::string text;
  for (const auto& condition : rule.conditions) text += (text.empty() ? "@" : " ") + condition.name + " " + condition.prelude;
  if (rule.layer.empty()) return text;
  // Anonymous layers have names no author can write; they read as such.
  std::string layer;
  for (std::size_t start = 0; start <= rule.layer.size();) {
    const auto end = std::min(rule.layer.find('.', start), rule.layer.size());
    const auto name = rule.layer.substr(start, end - start);
    layer += (layer.empty() ? "" : ".") + (name.starts_with('\x01') ? std::string(_("(anonymous)")) : name);
    start = end + 1;
  }
  return text + (text.empty() ? "@layer " : " @layer ") + layer;
}

GtkWidget* label(const std::string& text, std::initializer_list<const char*> classes) {
  GtkWidget* widget = gtk_label_new(text.c_str());
  gtk_label_set_xalign(GTK_LABEL(widget), 0);
  gtk_label_set_wrap(GTK_LABEL(widget), TRUE);
  gtk_label_set_wrap_mode(GTK_LABEL(widget), PANGO_WRAP_WORD_CHAR);
  for (const char* name : classes) gtk_widget_add_css_class(widget, name);
  return widget;
}

}  // namespace

PickPanel::PickPanel(WebKitWebView* view) : picker_(view) {
  revealer_ = GTK_WIDGET(g_object_ref_sink(gtk_revealer_new()));
  gtk_revealer_set_transition_type(GTK_REVEALER(revealer_), GTK_REVEALER_TRANSITION_TYPE_SLIDE_LEFT);
  // The page takes the width; the wrapping labels inside would otherwise claim it.
  gtk_widget_set_hexpand(revealer_, FALSE);
  GtkWidget* panel = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
  gtk_widget_set_size_request(panel, 320, -1);
  gtk_widget_add_css_class(panel, "background");
  gtk_accessible_update_property(GTK_ACCESSIBLE(panel), GTK_ACCESSIBLE_PROPERTY_LABEL, _("Rules of the Picked Element"), -1);

  GtkWidget* top = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  for (auto* set : {gtk_widget_set_margin_start, gtk_widget_set_margin_end, gtk_widget_set_margin_top}) set(top, 6);
  title_ = GTK_LABEL(label("", {"heading", "monospace"}));
  gtk_widget_set_hexpand(GTK_WIDGET(title_), TRUE);
  gtk_box_append(GTK_BOX(top), GTK_WIDGET(title_));
  GtkWidget* close = gtk_button_new_from_icon_name("window-close-symbolic");
  gtk_widget_add_css_class(close, "flat");
  gtk_widget_set_tooltip_text(close, _("Close the Rules"));
  gtk_accessible_update_property(GTK_ACCESSIBLE(close), GTK_ACCESSIBLE_PROPERTY_LABEL, _("Close the Rules"), -1);
  g_signal_connect(close, "clicked", G_CALLBACK(+[](GtkButton*, gpointer self) { static_cast<PickPanel*>(self)->dismiss(); }), this);
  gtk_box_append(GTK_BOX(top), close);
  gtk_box_append(GTK_BOX(panel), top);

  status_ = GTK_LABEL(g_object_new(GTK_TYPE_LABEL, "accessible-role", GTK_ACCESSIBLE_ROLE_STATUS, "wrap", TRUE, "xalign", 0.0,
                                   nullptr));
  gtk_widget_add_css_class(GTK_WIDGET(status_), "dim-label");
  gtk_widget_set_margin_start(GTK_WIDGET(status_), 6);
  gtk_widget_set_margin_end(GTK_WIDGET(status_), 6);
  gtk_box_append(GTK_BOX(panel), GTK_WIDGET(status_));

  list_ = GTK_LIST_BOX(gtk_list_box_new());
  gtk_list_box_set_selection_mode(list_, GTK_SELECTION_NONE);
  gtk_widget_add_css_class(GTK_WIDGET(list_), "navigation-sidebar");
  gtk_accessible_update_property(GTK_ACCESSIBLE(list_), GTK_ACCESSIBLE_PROPERTY_LABEL, _("Matching Rules, Strongest First"), -1);
  g_signal_connect(list_, "row-activated", G_CALLBACK(+[](GtkListBox*, GtkListBoxRow* row, gpointer self) {
                     static_cast<PickPanel*>(self)->open(static_cast<std::size_t>(gtk_list_box_row_get_index(row)));
                   }),
                   this);
  // Enter on the row that has the focus opens it, however the focus got there; taken on the way
  // down, as the list's own binding only knows rows its cursor keys reached. Escape closes.
  GtkEventController* keys = gtk_event_controller_key_new();
  g_signal_connect(keys, "key-pressed", G_CALLBACK(+[](GtkEventControllerKey*, guint key, guint, GdkModifierType, gpointer self) -> gboolean {
                     auto* panel = static_cast<PickPanel*>(self);
                     if (key == GDK_KEY_Escape) {
                       panel->dismiss();
                       return TRUE;
                     }
                     if (key != GDK_KEY_Return && key != GDK_KEY_KP_Enter && key != GDK_KEY_ISO_Enter) return FALSE;
                     GtkWidget* focus = gtk_root_get_focus(gtk_widget_get_root(GTK_WIDGET(panel->list_)));
                     while (focus && !GTK_IS_LIST_BOX_ROW(focus)) focus = gtk_widget_get_parent(focus);
                     if (!focus || gtk_widget_get_parent(focus) != GTK_WIDGET(panel->list_)) return FALSE;
                     panel->open(static_cast<std::size_t>(gtk_list_box_row_get_index(GTK_LIST_BOX_ROW(focus))));
                     return TRUE;
                   }),
                   this);
  gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_CAPTURE);
  GtkWidget* scroller = gtk_scrolled_window_new();
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller), GTK_WIDGET(list_));
  gtk_widget_set_vexpand(scroller, TRUE);
  gtk_box_append(GTK_BOX(panel), scroller);

  GtkWidget* frame = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  gtk_box_append(GTK_BOX(frame), gtk_separator_new(GTK_ORIENTATION_VERTICAL));
  gtk_box_append(GTK_BOX(frame), panel);
  gtk_revealer_set_child(GTK_REVEALER(revealer_), frame);
  gtk_widget_add_controller(revealer_, keys);
  gtk_revealer_set_reveal_child(GTK_REVEALER(revealer_), FALSE);
  gtk_widget_set_visible(revealer_, FALSE);

  picker_.setPickedHandler([this](const PickedElement& element) {
    element_ = element;
    gtk_label_set_text(title_, elementText(element).c_str());
    gtk_widget_set_visible(revealer_, TRUE);
    gtk_revealer_set_reveal_child(GTK_REVEALER(revealer_), TRUE);
    focusFirst_ = true;
    refresh();
    if (pickingChanged_) pickingChanged_(false);
  });
  picker_.setLeftHandler([this] {
    if (pickingChanged_) pickingChanged_(false);
  });
}

PickPanel::~PickPanel() {
  g_signal_handlers_disconnect_by_data(list_, this);
  if (GtkWidget* parent = gtk_widget_get_parent(revealer_)) {
    if (GTK_IS_BOX(parent)) gtk_box_remove(GTK_BOX(parent), revealer_);
  }
  g_object_unref(revealer_);
}

void PickPanel::enter() {
  picker_.enter();
  if (pickingChanged_) pickingChanged_(true);
}

void PickPanel::leave() { picker_.leave(); }

void PickPanel::show(std::shared_ptr<const RenderPresenter> model) {
  if (!model || model->isFailure()) return;
  model_ = std::move(model);
  if (element_) refresh();
}

void PickPanel::hide() {
  ++generation_;
  element_.reset();
  rows_.clear();
  focusFirst_ = false;
  gtk_revealer_set_reveal_child(GTK_REVEALER(revealer_), FALSE);
  gtk_widget_set_visible(revealer_, FALSE);
}

void PickPanel::dismiss() {
  hide();
  gtk_widget_grab_focus(GTK_WIDGET(picker_.view()));
}

void PickPanel::refresh() {
  if (!element_ || !model_) return;
  const auto generation = ++generation_;
  picker_.listStyleSheets([this, generation](std::optional<ElementPicker::StyleSheets> page) {
    if (generation != generation_) return;
    collect(page.value_or(ElementPicker::StyleSheets{}));
    match(generation);
  });
}

namespace {

constexpr std::uintmax_t kLargestSheet = 16 * 1024 * 1024;
// What one look at a page reads of its style sheets at most, however many it links.
constexpr std::size_t kMostRead = 64 * 1024 * 1024;

std::optional<std::string> readSiteFile(const SiteAnswer& answer) {
  const auto* file = std::get_if<SiteFile>(&answer);
  return file ? readWholeFile(file->file, kLargestSheet) : std::nullopt;
}

}  // namespace

void PickPanel::collect(const ElementPicker::StyleSheets& page) {
  sheet_ = {};
  origins_.clear();
  std::size_t read = 0;
  const auto add = [&](std::string_view css, std::filesystem::path file, int firstLine) {
    read += css.size();
    origins_.push_back({sheet_.rules.size(), std::move(file), firstLine});
    // Read from the CSS as written: the page's own list of rules leaves out what it cannot parse.
    for (auto& rule : scanStyleSheet(css).rules) sheet_.rules.push_back(std::move(rule));
  };
  const auto answerFor = [&](const std::string& url) { return url.empty() || !source_ ? SiteAnswer(SiteRefusal{}) : source_(url); };
  // A <style> of an own page is placed by finding its text in the page's file.
  const auto pageAnswer = answerFor(page.pageUrl);
  std::optional<std::string> pageText;
  bool fromSite = false, compiled = false;
  for (const auto& [url, inlineText] : page.sheets) {
    if (read > kMostRead) break;
    const auto answer = answerFor(url);
    if (url.empty() && !inlineText.empty() && std::holds_alternative<SiteFile>(pageAnswer)) {
      if (!pageText) pageText = readSiteFile(pageAnswer).value_or("");
      if (const auto at = pageText->find(inlineText); at != std::string::npos) {
        const auto line = 1 + std::count(pageText->begin(), pageText->begin() + static_cast<std::ptrdiff_t>(at), '\n');
        add(inlineText, std::get<SiteFile>(pageAnswer).file, static_cast<int>(line));
      }
    } else if (std::holds_alternative<SiteText>(answer) && !compiled) {
      fromSite = compiled = true;
      add(model_->css(), {}, 1);
    } else if (std::holds_alternative<SiteFile>(answer)) {
      fromSite = true;
      if (const auto text = readSiteFile(answer)) add(*text, std::get<SiteFile>(answer).file, 1);
    }
  }
  // The sample page holds the compiled CSS in a <style> of its own.
  if (!fromSite && !std::holds_alternative<SiteFile>(pageAnswer)) add(model_->css(), {}, 1);
}

std::optional<RulePlace> PickPanel::placeOf(std::size_t rule) const {
  const auto origin = std::ranges::find_if(origins_.rbegin(), origins_.rend(), [&](const Origin& o) { return o.firstRule <= rule; });
  if (origin == origins_.rend()) return std::nullopt;
  const auto& styleRule = sheet_.rules[rule];
  if (!origin->file.empty()) {
    GCharPtr name(g_filename_display_basename(origin->file.c_str()));
    const int line = styleRule.line + origin->firstLine - 1;
    return RulePlace{origin->file.string(), line, std::string(name.get()) + ":" + std::to_string(line)};
  }
  const auto& map = model_->sourceMap();
  return map ? placeOfRule(styleRule, *map) : std::nullopt;
}

void PickPanel::match(unsigned generation) {
  auto selectors = candidateSelectors(sheet_);
  picker_.matchSelectors(selectors, [this, generation, selectors](ElementPicker::MatchResult matches) {
    if (generation != generation_) return;
    if (!matches) {
      fill({});
      setStatus(_("The element is no longer on the page. Pick it again."));
      return;
    }
    std::unordered_set<std::string> matching;
    for (std::size_t i = 0; i < selectors.size() && i < matches->size(); ++i) {
      if ((*matches)[i]) matching.insert(selectors[i]);
    }
    auto conditions = conditionsOf(sheet_);
    picker_.judgeConditions(conditions, [this, generation, matching = std::move(matching),
                                         conditions](ElementPicker::MatchResult holding) {
      if (generation != generation_) return;
      const auto holds = [&](const Condition& condition) {
        const auto at = static_cast<std::size_t>(std::ranges::find(conditions, condition) - conditions.begin());
        return !holding || at >= holding->size() || (*holding)[at];
      };
      fill(pickedRules(sheet_, matching, holds, [this](std::size_t rule) { return placeOf(rule); }));
    });
  });
}

void PickPanel::fill(std::vector<PickedRule> rows) {
  // Focus goes to the first row once per pick, whichever answer comes first.
  const bool focusFirst = std::exchange(focusFirst_, false);
  // The same rules again (a save elsewhere): the rows, and the focus on one, stay as they are.
  if (rows == rows_ && !focusFirst && gtk_widget_get_first_child(GTK_WIDGET(list_))) return;
  GtkWidget* focus = gtk_widget_get_root(GTK_WIDGET(list_)) ? gtk_root_get_focus(gtk_widget_get_root(GTK_WIDGET(list_))) : nullptr;
  while (focus && !GTK_IS_LIST_BOX_ROW(focus)) focus = gtk_widget_get_parent(focus);
  const int focused = focus && gtk_widget_get_parent(focus) == GTK_WIDGET(list_) ? gtk_list_box_row_get_index(GTK_LIST_BOX_ROW(focus)) : -1;
  rows_ = std::move(rows);
  while (GtkWidget* child = gtk_widget_get_first_child(GTK_WIDGET(list_))) gtk_list_box_remove(list_, child);
  for (const auto& rule : rows_) {
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
    for (auto* set : {gtk_widget_set_margin_start, gtk_widget_set_margin_end, gtk_widget_set_margin_top,
                      gtk_widget_set_margin_bottom}) {
      set(box, 4);
    }
    GtkWidget* top = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    GtkWidget* selector = label(rule.selector, {"monospace", "heading"});
    gtk_widget_set_hexpand(selector, TRUE);
    gtk_box_append(GTK_BOX(top), selector);
    const std::string place = rule.place ? rule.place->displayName : std::string();
    if (!place.empty()) {
      GtkWidget* where = label(place, {"link", "caption"});
      gtk_label_set_wrap(GTK_LABEL(where), FALSE);
      gtk_widget_set_valign(where, GTK_ALIGN_START);
      gtk_box_append(GTK_BOX(top), where);
    }
    gtk_box_append(GTK_BOX(box), top);
    if (const auto conditions = conditionsText(rule); !conditions.empty()) {
      gtk_box_append(GTK_BOX(box), label(conditions, {"caption", "dim-label", "monospace"}));
    }
    gtk_box_append(GTK_BOX(box), label(declarationsText(rule), {"monospace"}));
    GtkWidget* row = gtk_list_box_row_new();
    gtk_list_box_row_set_child(GTK_LIST_BOX_ROW(row), box);
    gtk_list_box_row_set_activatable(GTK_LIST_BOX_ROW(row), rule.place.has_value());
    // Read as one line: what the rule selects and where it is.
    const std::string name = place.empty() ? rule.selector : rule.selector + ", " + place;
    gtk_accessible_update_property(GTK_ACCESSIBLE(row), GTK_ACCESSIBLE_PROPERTY_LABEL, name.c_str(),
                                   GTK_ACCESSIBLE_PROPERTY_DESCRIPTION, declarationsText(rule).c_str(), -1);
    if (!place.empty()) gtk_widget_set_tooltip_text(row, _("Open in the editor"));
    gtk_list_box_append(list_, row);
  }
  setStatus(rows_.empty() ? _("No rule of the style sheet applies to this element.") : "");
  // As the Tab key would: the list then knows the row as its cursor.
  if (focusFirst && !rows_.empty()) {
    gtk_widget_child_focus(GTK_WIDGET(list_), GTK_DIR_TAB_FORWARD);
  } else if (focused >= 0 && !rows_.empty()) {
    gtk_widget_grab_focus(GTK_WIDGET(gtk_list_box_get_row_at_index(list_, std::min(focused, static_cast<int>(rows_.size()) - 1))));
  }
}

void PickPanel::setStatus(const std::string& text) {
  gtk_label_set_text(status_, text.c_str());
  gtk_widget_set_visible(GTK_WIDGET(status_), !text.empty());
}

void PickPanel::open(std::size_t row) {
  if (row >= rows_.size() || !rows_[row].place || !settings_) return;
  const auto& place = *rows_[row].place;
  // The error link's way to the editor: editors that take a line get it.
  ErrorLink link;
  link.setSettings(*settings_);
  link.setPlace(SourcePlace{place.file, place.line, std::nullopt});
  if (!link.open() && notice_) notice_(_("The rule's place could not be opened: choose an editor in Preferences."));
}

std::vector<std::string> PickPanel::rowTexts() const {
  std::vector<std::string> texts;
  for (const auto& rule : rows_) {
    texts.push_back(rule.selector + (rule.place ? "  " + rule.place->displayName : std::string()) + "\n" +
                    declarationsText(rule));
  }
  return texts;
}

}  // namespace fennelview
