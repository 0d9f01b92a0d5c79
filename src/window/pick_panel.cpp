// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/pick_panel.hpp"

#include <glib/gi18n.h>

#include <algorithm>
#include <new>
#include <unordered_set>
#include <utility>

#include "common/formatted.hpp"
#include "common/glib_ptr.hpp"
#include "inspect/cascade.hpp"
#include "present/error_link.hpp"
#include "window/window_resources.hpp"

namespace fennelview {

namespace {

std::string elementText(const PickedElement& element) {
  std::string text = element.tag;
  if (!element.id.empty()) text += "#" + element.id;
  for (const auto& name : element.classes) text += "." + name;
  return text;
}

// Labels lay out all of their text at once: what a row shows is clipped to a few lines' worth.
constexpr std::size_t kShownValue = 300;
constexpr std::size_t kShownText = 4000;

std::string declarationsText(const PickedRule& rule) {
  std::string text;
  for (const auto& declaration : rule.declarations) {
    if (!text.empty()) text += '\n';
    text += clipped(declaration.property, kShownValue) + ": " + clipped(declaration.value, kShownValue) +
            (declaration.important ? " !important;" : ";");
    if (text.size() > kShownText) return clipped(text, kShownText);
  }
  return text;
}

// What sets the rule apart beyond its selector: its other selectors, and what its listing cannot tell.
std::string notesText(const PickedRule& rule) {
  std::vector<std::string> notes;
  if (rule.otherSelectors > 0) {
    const auto count = static_cast<unsigned long>(rule.otherSelectors);
    notes.emplace_back(GCharPtr(g_strdup_printf(ngettext("and %lu other selector", "and %lu other selectors", count), count)).get());
  }
  if (rule.pointer) notes.emplace_back(_("only while the pointer is on it"));
  if (rule.asWritten) notes.emplace_back(_("nested too deeply to resolve: shown as written"));
  std::string text;
  for (const auto& note : notes) text += (text.empty() ? "" : "; ") + note;
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
}  // namespace fennelview

struct _FennelviewPickPanel {
  GtkBox parent_instance;
  GtkRevealer* revealer;
  GtkLabel* title;
  GtkLabel* status;
  GtkListBox* list;
  std::unique_ptr<fennelview::PickPanel> panel;  // placement-constructed in init, made in newPickPanel
};

G_DEFINE_FINAL_TYPE(FennelviewPickPanel, fennelview_pick_panel, GTK_TYPE_BOX)

static void fennelview_pick_panel_init(FennelviewPickPanel* self) {
  gtk_widget_init_template(GTK_WIDGET(self));
  new (&self->panel) std::unique_ptr<fennelview::PickPanel>();
}

static void fennelview_pick_panel_dispose(GObject* object) {
  FENNELVIEW_PICK_PANEL(object)->panel.reset();
  gtk_widget_dispose_template(GTK_WIDGET(object), FENNELVIEW_TYPE_PICK_PANEL);
  G_OBJECT_CLASS(fennelview_pick_panel_parent_class)->dispose(object);
}

static void fennelview_pick_panel_finalize(GObject* object) {
  FENNELVIEW_PICK_PANEL(object)->panel.~unique_ptr();
  G_OBJECT_CLASS(fennelview_pick_panel_parent_class)->finalize(object);
}

static void pick_panel_close(GtkButton*, FennelviewPickPanel* self) {
  if (self->panel) self->panel->dismiss();
}

static void pick_panel_row_activated(GtkListBox*, GtkListBoxRow* row, FennelviewPickPanel* self) {
  if (self->panel) self->panel->open(static_cast<std::size_t>(gtk_list_box_row_get_index(row)));
}

// Enter on the row that has the focus opens it, however the focus got there. Escape closes.
static gboolean pick_panel_key_pressed(GtkEventControllerKey*, guint key, guint, GdkModifierType, FennelviewPickPanel* self) {
  if (!self->panel) return FALSE;
  if (key == GDK_KEY_Escape) {
    self->panel->dismiss();
    return TRUE;
  }
  if (key != GDK_KEY_Return && key != GDK_KEY_KP_Enter && key != GDK_KEY_ISO_Enter) return FALSE;
  const auto row = self->panel->focusedRow();
  if (!row) return FALSE;
  self->panel->open(*row);
  return TRUE;
}

static void fennelview_pick_panel_class_init(FennelviewPickPanelClass* klass) {
  fennelview::registerWindowResources();
  G_OBJECT_CLASS(klass)->dispose = fennelview_pick_panel_dispose;
  G_OBJECT_CLASS(klass)->finalize = fennelview_pick_panel_finalize;
  auto* widgetClass = GTK_WIDGET_CLASS(klass);
  gtk_widget_class_set_template_from_resource(widgetClass, "/org/fennelview/Fennelview/window/pick_panel.ui");
  gtk_widget_class_bind_template_child(widgetClass, FennelviewPickPanel, revealer);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewPickPanel, title);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewPickPanel, status);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewPickPanel, list);
  gtk_widget_class_bind_template_callback(widgetClass, pick_panel_close);
  gtk_widget_class_bind_template_callback(widgetClass, pick_panel_row_activated);
  gtk_widget_class_bind_template_callback(widgetClass, pick_panel_key_pressed);
}

namespace fennelview {

FennelviewPickPanel* newPickPanel(WebKitWebView* view) {
  auto* widget = FENNELVIEW_PICK_PANEL(g_object_new(FENNELVIEW_TYPE_PICK_PANEL, nullptr));
  widget->panel = std::make_unique<PickPanel>(widget, view);
  return widget;
}

PickPanel& pickPanel(FennelviewPickPanel* widget) { return *widget->panel; }

PickPanel::PickPanel(FennelviewPickPanel* widget, WebKitWebView* view)
    : widget_(widget), revealer_(widget->revealer), title_(widget->title), status_(widget->status), list_(widget->list),
      picker_(view), differs_(GTK_LABEL(label("", {"caption"}))) {
  gtk_widget_insert_after(GTK_WIDGET(differs_), gtk_widget_get_parent(GTK_WIDGET(status_)), GTK_WIDGET(status_));
  gtk_widget_set_visible(GTK_WIDGET(differs_), FALSE);
  watch(picker_);
}

void PickPanel::watch(ElementPicker& picker) {
  picker.setPickedHandler([this, &picker](const PickedElement& element) { picked(picker, element); });
  picker.setLeftHandler([this] {
    leave();
    if (pickingChanged_) pickingChanged_(false);
  });
}

void PickPanel::picked(ElementPicker& picker, const PickedElement& element) {
  picked_ = &picker;
  leave();
  picker_.markPath(element.path);
  for (auto& other : others_) other.first->markPath(element.path);
  element_ = element;
  gtk_label_set_text(title_, clipped(elementText(element), kShownValue).c_str());
  gtk_widget_set_visible(GTK_WIDGET(widget_), TRUE);
  gtk_revealer_set_reveal_child(revealer_, TRUE);
  focusFirst_ = true;
  refresh();
  if (pickingChanged_) pickingChanged_(false);
}

std::optional<std::size_t> PickPanel::focusedRow() const {
  GtkRoot* root = gtk_widget_get_root(GTK_WIDGET(list_));
  GtkWidget* focus = root ? gtk_root_get_focus(root) : nullptr;
  while (focus && !GTK_IS_LIST_BOX_ROW(focus)) focus = gtk_widget_get_parent(focus);
  if (!focus || gtk_widget_get_parent(focus) != GTK_WIDGET(list_)) return std::nullopt;
  return static_cast<std::size_t>(gtk_list_box_row_get_index(GTK_LIST_BOX_ROW(focus)));
}

void PickPanel::enter() {
  picked_ = &picker_;
  others_.clear();
  firstName_.clear();
  for (const auto& [view, name] : panes_ ? panes_() : PaneList{}) {
    if (view == picker_.view()) {
      firstName_ = name;
      continue;
    }
    others_.emplace_back(std::make_unique<ElementPicker>(view), name);
    watch(*others_.back().first);
    others_.back().first->enter();
  }
  picker_.enter();
  if (pickingChanged_) pickingChanged_(true);
}

void PickPanel::leave() {
  picker_.leave();
  for (auto& other : others_) other.first->leave();
}

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
  picker_.markPath({});
  for (auto& other : others_) other.first->markPath({});
  gtk_revealer_set_reveal_child(revealer_, FALSE);
  gtk_widget_set_visible(GTK_WIDGET(widget_), FALSE);
}

void PickPanel::dismiss() {
  hide();
  gtk_widget_grab_focus(GTK_WIDGET(picked_->view()));
}

void PickPanel::refresh() {
  if (!element_ || !model_) return;
  const auto generation = ++generation_;
  picked_->listStyleSheets([this, generation](std::optional<PageSheetList> page) {
    if (generation != generation_) return;
    sheets_ = PageStyleSheets(page.value_or(PageSheetList{}), source_, model_->css());
    match(generation);
  });
}

void PickPanel::match(unsigned generation) {
  rulesIn(*picked_, generation, [this, generation](std::optional<std::vector<PickedRule>> rows) {
    if (!rows) {
      fill({});
      setStatus(_("The element is no longer on the page. Pick it again."));
      return;
    }
    fill(std::move(*rows));
    compare(generation);
  });
}

void PickPanel::rulesIn(ElementPicker& picker, unsigned generation,
                        std::function<void(std::optional<std::vector<PickedRule>>)> done) {
  auto selectors = candidateSelectors(sheets_.sheet());
  picker.matchSelectors(selectors, [this, &picker, generation, selectors, done](ElementPicker::MatchResult matches) {
    if (generation != generation_) return;
    if (!matches) return done(std::nullopt);
    std::unordered_set<std::string> matching;
    for (std::size_t i = 0; i < selectors.size() && i < matches->size(); ++i) {
      if ((*matches)[i]) matching.insert(selectors[i]);
    }
    auto conditions = conditionsOf(sheets_.sheet());
    picker.judgeConditions(conditions, [this, generation, matching = std::move(matching), conditions,
                                        done](ElementPicker::MatchResult holding) {
      if (generation != generation_) return;
      const auto* map = model_->sourceMap().get();
      done(pickedRules(sheets_.sheet(), matching, conditionTest(conditions, holding),
                       [this, map](std::size_t rule) { return sheets_.placeOf(rule, map); }));
    });
  });
}

// Each other pane's rules for the same element (its widths and states may take others), named
// where they differ from the rows shown.
void PickPanel::compare(unsigned generation) {
  std::vector<std::pair<ElementPicker*, std::string>> panes;
  if (picked_ != &picker_ && !firstName_.empty()) panes.emplace_back(&picker_, firstName_);
  for (auto& [picker, name] : others_) {
    if (picker.get() != picked_) panes.emplace_back(picker.get(), name);
  }
  gtk_widget_set_visible(GTK_WIDGET(differs_), FALSE);
  gtk_label_set_text(differs_, "");
  auto differ = std::make_shared<std::vector<int>>(panes.size(), -1);
  for (std::size_t i = 0; i < panes.size(); ++i) {
    rulesIn(*panes[i].first, generation, [this, differ, i, names = panes](std::optional<std::vector<PickedRule>> rows) {
      (*differ)[i] = !rows || *rows != rows_;
      if (std::ranges::count(*differ, -1) != 0) return;
      std::string list;
      for (std::size_t pane = 0; pane < names.size(); ++pane) {
        if ((*differ)[pane] == 1) list += (list.empty() ? "" : ", ") + names[pane].second;
      }
      /* Translators: %s lists side by side panes, such as "768 px, 1280 px". */
      gtk_label_set_text(differs_, list.empty() ? "" : formatted(_("Other rules win in %s."), list.c_str()).c_str());
      gtk_widget_set_visible(GTK_WIDGET(differs_), !list.empty());
    });
  }
}

void PickPanel::fill(std::vector<PickedRule> rows) {
  // Focus goes to the first row once per pick, whichever answer comes first.
  const bool focusFirst = std::exchange(focusFirst_, false);
  // The same rules again (a save elsewhere): the rows, and the focus on one, stay as they are.
  if (rows == rows_ && !focusFirst && gtk_widget_get_first_child(GTK_WIDGET(list_))) return;
  const auto focused = focusedRow();
  rows_ = std::move(rows);
  while (GtkWidget* child = gtk_widget_get_first_child(GTK_WIDGET(list_))) gtk_list_box_remove(list_, child);
  for (const auto& rule : rows_) {
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
    for (auto* set : {gtk_widget_set_margin_start, gtk_widget_set_margin_end, gtk_widget_set_margin_top,
                      gtk_widget_set_margin_bottom}) {
      set(box, 4);
    }
    GtkWidget* top = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    // One line, elided: a selector list can run to many kilobytes.
    GtkWidget* selector = label(clipped(rule.selector, kShownValue), {"monospace", "heading"});
    gtk_label_set_wrap(GTK_LABEL(selector), FALSE);
    gtk_label_set_ellipsize(GTK_LABEL(selector), PANGO_ELLIPSIZE_END);
    gtk_label_set_width_chars(GTK_LABEL(selector), 10);
    gtk_widget_set_tooltip_text(selector, clipped(rule.selectorList, kShownText).c_str());
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
    if (const auto notes = notesText(rule); !notes.empty()) gtk_box_append(GTK_BOX(box), label(notes, {"caption", "dim-label"}));
    if (const auto conditions = conditionsText(rule); !conditions.empty()) {
      gtk_box_append(GTK_BOX(box), label(clipped(conditions, kShownText), {"caption", "dim-label", "monospace"}));
    }
    gtk_box_append(GTK_BOX(box), label(declarationsText(rule), {"monospace"}));
    GtkWidget* row = gtk_list_box_row_new();
    gtk_list_box_row_set_child(GTK_LIST_BOX_ROW(row), box);
    gtk_list_box_row_set_activatable(GTK_LIST_BOX_ROW(row), rule.place.has_value());
    // Read as one line: what the rule selects and where it is.
    const std::string shown = clipped(rule.selector, kShownValue);
    const std::string name = place.empty() ? shown : shown + ", " + place;
    gtk_accessible_update_property(GTK_ACCESSIBLE(row), GTK_ACCESSIBLE_PROPERTY_LABEL, name.c_str(),
                                   GTK_ACCESSIBLE_PROPERTY_DESCRIPTION, declarationsText(rule).c_str(), -1);
    if (!place.empty()) gtk_widget_set_tooltip_text(row, _("Open in the editor"));
    gtk_list_box_append(list_, row);
  }
  setStatus(rows_.empty()                   ? _("No rule of the style sheet applies to this element.")
            : sheets_.sheet().truncated ? _("Some rules nest too deeply or repeat too much to be listed.")
                                        : "");
  // As the Tab key would: the list then knows the row as its cursor.
  if (focusFirst && !rows_.empty()) {
    gtk_widget_child_focus(GTK_WIDGET(list_), GTK_DIR_TAB_FORWARD);
  } else if (focused && !rows_.empty()) {
    gtk_widget_grab_focus(GTK_WIDGET(gtk_list_box_get_row_at_index(list_, static_cast<int>(std::min(*focused, rows_.size() - 1)))));
  }
}

void PickPanel::setStatus(const std::string& text) {
  gtk_label_set_text(status_, text.c_str());
  gtk_widget_set_visible(GTK_WIDGET(status_), !text.empty());
}

void PickPanel::open(std::size_t row) {
  if (row >= rows_.size() || !rows_[row].place || !settings_) return;
  const auto& place = *rows_[row].place;
  // A server's sheet is placed by its URL: the project file it most likely is opens, if any.
  std::string file = place.file;
  if (!g_path_is_absolute(file.c_str())) {
    const auto served = fileAt_ ? fileAt_(file) : std::nullopt;
    if (!served) {
      if (notice_) notice_(_("No file of the project is served at this rule's address."));
      return;
    }
    file = served->string();
  }
  // The error link's way to the editor: editors that take a line get it.
  ErrorLink link;
  link.setSettings(*settings_);
  link.setPlace(SourcePlace{file, place.line, std::nullopt});
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
