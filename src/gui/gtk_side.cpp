#include "gui/gtk_side.h"

#include "graphics/cairo_device.h"
#include "graphics/drawing.h"

#include <X11/Xlib.h>
#include <gdk/gdkkeysyms.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "output/nmcl_stream.h"

namespace nuvra::gui {

namespace {

// Lines the command entry can hold; a longer paste is kept aside whole.
constexpr long kEntryLimit = GTK_ENTRY_BUFFER_MAX_SIZE - 1;
// Inside a long command, window events are answered at most this often.
constexpr auto kEventInterval = std::chrono::milliseconds(10);

// What the orderly exit would save, for when the display goes away.
std::function<void()>* g_session_saver = nullptr;

int on_lost_display(Display*) {
  if (g_session_saver && *g_session_saver) (*g_session_saver)();
  std::fputs("xnuvra-mp: the connection to the display was lost; preferences saved\n", stderr);
  std::fflush(stderr);
  ::_exit(0);  // returning would let Xlib end the process with an error
}

// The interpreter and its renderer work in Latin-1; the toolkit in UTF-8.
std::string to_latin1(const char* utf8) {
  gsize written = 0;
  gchar* conv = g_convert_with_fallback(utf8, -1, "ISO-8859-1", "UTF-8", "?", nullptr, &written, nullptr);
  if (!conv) return utf8;
  std::string s(conv, written);
  g_free(conv);
  return s;
}

std::string from_latin1(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (unsigned char c : text) {
    if (c < 0x80) {
      s.push_back(static_cast<char>(c));
    } else {
      s.push_back(static_cast<char>(0xC0 | (c >> 6)));
      s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return s;
}

std::string scratch_file() {
  const char* dir = std::getenv("NUVRATMP");
  if (!dir) dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/nuvra_edit_" + std::to_string(::getpid()) + ".do";
}

bool parse_geometry(const std::string* text, int v[4]) {
  return text && std::sscanf(text->c_str(), "%d %d %d %d", &v[0], &v[1], &v[2], &v[3]) == 4 &&
         v[2] > 0 && v[3] > 0;
}

}  // namespace

std::unique_ptr<WindowSide> make_gtk_side(int* argc, char*** argv) {
  if (!gtk_init_check(argc, argv)) return nullptr;
  return std::make_unique<GtkSide>();
}

GtkSide::GtkSide() {
  build_main_window();
  XSetIOErrorHandler(on_lost_display);
}

GtkSide::~GtkSide() {
  delete g_session_saver;
  g_session_saver = nullptr;
  graphs_.clear();
  editors_.clear();
  viewer_.reset();
  gtk_widget_destroy(window_);
  results_.reset();
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void GtkSide::set_session_saver(std::function<void()> save) {
  delete g_session_saver;
  g_session_saver = save ? new std::function<void()>(std::move(save)) : nullptr;
}

GtkWidget* GtkSide::list_view(GtkListStore* store, const char* const* titles, int columns) {
  GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
  g_object_unref(store);  // the view holds it
  for (int c = 0; c < columns; ++c) {
    GtkCellRenderer* r = gtk_cell_renderer_text_new();
    GtkTreeViewColumn* col = gtk_tree_view_column_new_with_attributes(titles[c], r, "text", c, nullptr);
    gtk_tree_view_column_set_resizable(col, TRUE);
    gtk_tree_view_append_column(GTK_TREE_VIEW(view), col);
  }
  return view;
}

namespace {

GtkWidget* framed(const char* title, GtkWidget* child) {
  GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_container_add(GTK_CONTAINER(scroll), child);
  GtkWidget* frame = gtk_frame_new(title);
  gtk_container_add(GTK_CONTAINER(frame), scroll);
  return frame;
}

}  // namespace

void GtkSide::build_main_window() {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), "Nuvra/MP");
  gtk_window_set_default_size(GTK_WINDOW(window_), 960, 640);

  // Tool bar: the other windows, the busy indicator, Break.
  GtkWidget* bar = gtk_hbox_new(FALSE, 4);
  GtkWidget* viewer_button = gtk_button_new_with_label("Viewer");
  GtkWidget* editor_button = gtk_button_new_with_label("Do-file Editor");
  break_button_ = gtk_button_new_with_label("Break");
  status_label_ = gtk_label_new("");
  gtk_box_pack_start(GTK_BOX(bar), viewer_button, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar), editor_button, FALSE, FALSE, 0);
  gtk_box_pack_end(GTK_BOX(bar), break_button_, FALSE, FALSE, 0);
  gtk_box_pack_end(GTK_BOX(bar), status_label_, FALSE, FALSE, 8);
  g_signal_connect(viewer_button, "clicked", G_CALLBACK(on_viewer_button), this);
  g_signal_connect(editor_button, "clicked", G_CALLBACK(on_editor_button), this);
  g_signal_connect(break_button_, "clicked", G_CALLBACK(on_break), this);

  // Left: review above variables.
  review_store_ = gtk_list_store_new(1, G_TYPE_STRING);
  static const char* const kReviewTitles[] = {"Command"};
  review_view_ = list_view(review_store_, kReviewTitles, 1);
  vars_store_ = gtk_list_store_new(3, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING);
  static const char* const kVarTitles[] = {"Name", "Label", "Type"};
  vars_view_ = list_view(vars_store_, kVarTitles, 3);
  g_signal_connect(review_view_, "button-release-event", G_CALLBACK(on_review_click), this);
  g_signal_connect(vars_view_, "button-release-event", G_CALLBACK(on_variable_click), this);
  GtkWidget* left = gtk_vpaned_new();
  gtk_paned_pack1(GTK_PANED(left), framed("Review", review_view_), TRUE, TRUE);
  gtk_paned_pack2(GTK_PANED(left), framed("Variables", vars_view_), TRUE, TRUE);

  // Right: results above the command line.
  results_ = std::make_unique<LinePane>([this](int kind, const std::string& t) { follow_link(kind, t); });
  // Typing goes to the command line even after a click in the results.
  gtk_widget_set_can_focus(GTK_WIDGET(results_->view()), FALSE);
  entry_ = gtk_entry_new();
  PangoFontDescription* font = pango_font_description_from_string("Monospace 10");
  gtk_widget_modify_font(entry_, font);
  pango_font_description_free(font);
  g_signal_connect(entry_, "key-press-event", G_CALLBACK(on_key), this);
  g_signal_connect(entry_, "activate", G_CALLBACK(on_activate), this);
  g_signal_connect(entry_, "paste-clipboard", G_CALLBACK(on_paste), this);
  GtkWidget* right = gtk_vbox_new(FALSE, 2);
  GtkWidget* results_frame = gtk_frame_new("Results");
  gtk_container_add(GTK_CONTAINER(results_frame), results_->widget());
  GtkWidget* command_frame = gtk_frame_new("Command");
  gtk_container_add(GTK_CONTAINER(command_frame), entry_);
  gtk_box_pack_start(GTK_BOX(right), results_frame, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(right), command_frame, FALSE, FALSE, 0);

  paned_ = gtk_hpaned_new();
  gtk_paned_pack1(GTK_PANED(paned_), left, FALSE, TRUE);
  gtk_paned_pack2(GTK_PANED(paned_), right, TRUE, TRUE);
  gtk_paned_set_position(GTK_PANED(paned_), 240);
  g_signal_connect(paned_, "notify::position", G_CALLBACK(on_split), this);

  GtkWidget* box = gtk_vbox_new(FALSE, 2);
  gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 2);
  gtk_box_pack_start(GTK_BOX(box), paned_, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(window_), box);
  g_signal_connect(window_, "delete-event", G_CALLBACK(on_delete), this);
  g_signal_connect(window_, "configure-event", G_CALLBACK(on_configure), this);
  g_signal_connect(window_, "size-allocate", G_CALLBACK(on_allocate), this);

  busy(false);
  gtk_widget_show_all(window_);
  gtk_widget_grab_focus(entry_);
}

void GtkSide::set_status(const char* text) {
  status_ = text;
  gtk_label_set_text(GTK_LABEL(status_label_), text);
}

// ---- the command loop's side

int GtkSide::read_key() {
  while (keys_.empty()) {
    if (closed_) return kKeyEndOfInput;
    if (!preinsert_.empty()) {
      std::string shown = from_latin1(preinsert_);
      gtk_entry_set_text(GTK_ENTRY(entry_), shown.c_str());
      gtk_editable_set_position(GTK_EDITABLE(entry_), -1);
      preinsert_.clear();
    }
    results_->scroll_to_end();
    waiting_ = true;
    gtk_main_iteration();
    waiting_ = false;
  }
  int k = keys_.front();
  keys_.pop_front();
  return k;
}

void GtkSide::append_char(int code) {
  // The loop types the whole line back after a function key that does not
  // submit: the entry shows it for further editing.
  preinsert_.push_back(static_cast<char>(code));
}

void GtkSide::process_events() {
  if (in_events_ || std::this_thread::get_id() != gui_thread_) return;
  auto now = std::chrono::steady_clock::now();
  if (now - last_events_ < kEventInterval) return;
  last_events_ = now;
  in_events_ = true;
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  in_events_ = false;
}

void GtkSide::busy(bool on) {
  busy_ = on;
  if (!on) close_pending_ = false;  // the queued exit is read next
  if (on) break_pending_ = false;  // a Break pressed between commands is stale
  gtk_widget_set_sensitive(break_button_, on);
  set_status(on ? "Busy" : "Ready");
  if (GdkWindow* w = window_->window) {
    GdkCursor* c = on ? gdk_cursor_new(GDK_WATCH) : nullptr;
    gdk_window_set_cursor(w, c);
    if (c) gdk_cursor_unref(c);
  }
}

bool GtkSide::take_break() { return break_pending_.exchange(false); }

void GtkSide::alert(const std::array<std::string, 4>& lines) {
  std::string text;
  for (const std::string& l : lines) {
    if (l.empty()) continue;
    if (!text.empty()) text += '\n';
    text += from_latin1(l);
  }
  GtkWidget* d = gtk_message_dialog_new(GTK_WINDOW(window_), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                        GTK_BUTTONS_OK, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(d), "Nuvra");
  gtk_dialog_run(GTK_DIALOG(d));
  gtk_widget_destroy(d);
}

void GtkSide::review_add(std::string_view line) {
  std::string shown = from_latin1(line);
  GtkTreeIter it;
  gtk_list_store_append(review_store_, &it);
  gtk_list_store_set(review_store_, &it, 0, shown.c_str(), -1);
  history_.push_back(shown);
  history_at_ = history_.size();
  GtkTreePath* path = gtk_tree_model_get_path(GTK_TREE_MODEL(review_store_), &it);
  gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(review_view_), path, nullptr, FALSE, 0, 0);
  gtk_tree_path_free(path);
}

int GtkSide::sink(const uint8_t* rec, int kind) {
  switch (kind) {
    case output::kSinkLine:
      results_->put(rec, true);
      return 0;
    case output::kSinkPartial:
      results_->put(rec, false);
      return 0;
    case output::kSinkFlush:
      results_->scroll_to_end();
      return 0;
    case output::kSinkMore: {
      if (!rec) return ' ';
      results_->put(rec, false);
      results_->scroll_to_end();
      set_status("more: click it, or press a key");
      more_key_ = kMoreWaiting;
      while (more_key_ == kMoreWaiting && !closed_) gtk_main_iteration();
      int key = closed_ ? 'q' : more_key_;
      more_key_ = kMoreIdle;
      results_->drop_open_line();
      set_status(busy_ ? "Busy" : "Ready");
      return key;
    }
    default:
      return 0;
  }
}

void GtkSide::answer_more(int key) {
  if (more_key_ == kMoreWaiting) more_key_ = key;
}

void GtkSide::show_variables(const std::vector<VariableRow>& rows) {
  if (rows == shown_vars_) return;
  shown_vars_ = rows;
  gtk_list_store_clear(vars_store_);
  for (const VariableRow& r : rows) {
    GtkTreeIter it;
    gtk_list_store_append(vars_store_, &it);
    std::string name = from_latin1(r.name), label = from_latin1(r.label);
    gtk_list_store_set(vars_store_, &it, 0, name.c_str(), 1, label.c_str(), 2, r.type.c_str(), -1);
  }
}

bool GtkSide::show_file(const std::string& path, std::string_view title) {
  viewer().open(path, from_latin1(title));
  return true;
}

Viewer& GtkSide::viewer() {
  if (!viewer_)
    viewer_ = std::make_unique<Viewer>([this](int kind, const std::string& t) { follow_link(kind, t); });
  return *viewer_;
}

DoEditor& GtkSide::new_editor() {
  editors_.push_back(
      std::make_unique<DoEditor>([this](const std::string& line) { submit(line, false); }, scratch_file()));
  return *editors_.back();
}

DoEditor& GtkSide::editor() { return editors_.empty() ? new_editor() : *editors_.front(); }

int GtkSide::edit_file(const std::string& path) {
  if (path.empty()) {
    editor().show();
    return 0;
  }
  // The window that has the file already, with whatever edits it holds;
  // else a blank one; else a new window, so no text is displaced.
  DoEditor* ed = nullptr;
  for (const auto& e : editors_)
    if (e->path() == path) ed = e.get();
  if (!ed) {
    for (const auto& e : editors_)
      if (!ed && e->blank()) ed = e.get();
    if (!ed) ed = &new_editor();
    if (g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) {
      if (!ed->load(path)) return kCannotRead;
    } else {
      ed->start_new(path);
    }
  }
  ed->show();
  return 0;
}

GraphWindow& GtkSide::show_graph(const std::string& title, GraphPainter paint) {
  graphs_.push_back(std::make_unique<GraphWindow>(title, std::move(paint)));
  graph_names_.emplace_back();
  return *graphs_.back();
}

void GtkSide::show_graph(const std::string& name, const graphics::Recording& drawing) {
  // The painter holds its own copy: the graph command may replace or drop
  // its recording while the window still needs redrawing.
  auto copy = std::make_shared<const graphics::Recording>(drawing);
  GraphPainter paint = [copy](cairo_t* cr, int w, int h) { graphics::draw_recording(cr, *copy, w, h); };
  if (GraphWindow* g = graph_window(name)) {
    g->set_painter(std::move(paint));
    gtk_widget_show(g->window());
    gtk_window_present(GTK_WINDOW(g->window()));
    return;
  }
  show_graph("Graph: " + name, std::move(paint));
  graph_names_.back() = name;
}

GraphWindow* GtkSide::graph_window(const std::string& name) const {
  for (size_t k = 0; k < graphs_.size(); ++k)
    if (graph_names_[k] == name) return graphs_[k].get();
  return nullptr;
}

// ---- submitting lines

void GtkSide::submit(const std::string& line, bool silent) {
  // The loop may hold what an earlier function key typed: start clean.
  keys_.push_back(kKeyKillLine);
  if (silent) keys_.push_back(kKeySilent);
  for (unsigned char c : line) keys_.push_back(c == '\n' ? ' ' : c);
  keys_.push_back(kKeyEndOfLine);
}

void GtkSide::follow_link(int kind, const std::string& target) {
  switch (kind) {
    case output::kLinkClearMore:
      answer_more(' ');
      return;
    case output::kLinkHelp:
    case output::kLinkHelpDialog:
      submit("help " + target, true);
      return;
    case output::kLinkView:
    case output::kLinkViewDialog:
      submit("view " + target, true);
      return;
    case output::kLinkBack:
      if (viewer_) viewer_->back();
      return;
    case output::kLinkSearch:
    case output::kLinkSearchDialog:
      submit("search " + target, false);
      return;
    case output::kLinkNuvra:
      submit(target, false);
      return;
    case output::kLinkLumo:
      submit("lumo " + target, false);
      return;
    default:
      set_status("that link is not available in this edition");
      return;
  }
}

void GtkSide::recall(int step) {
  if (history_.empty()) return;
  long at = static_cast<long>(history_at_) + step;
  if (at < 0) at = 0;
  if (at > static_cast<long>(history_.size())) at = static_cast<long>(history_.size());
  history_at_ = static_cast<size_t>(at);
  const char* text = history_at_ < history_.size() ? history_[history_at_].c_str() : "";
  gtk_entry_set_text(GTK_ENTRY(entry_), text);
  gtk_editable_set_position(GTK_EDITABLE(entry_), -1);
}

// ---- event handlers

gboolean GtkSide::on_key(GtkWidget*, GdkEventKey* ev, gpointer self) {
  auto* s = static_cast<GtkSide*>(self);
  guint k = ev->keyval;
  if (s->more_showing()) {
    int key = ' ';
    if (k == GDK_Return || k == GDK_KP_Enter) key = 10;
    else if (k == GDK_q || k == GDK_Q) key = 'q';
    else if (k == GDK_l) key = 'l';
    else if (k == GDK_c && (ev->state & GDK_CONTROL_MASK)) key = 3;
    s->answer_more(key);
    return TRUE;
  }
  if (k == GDK_Page_Up || k == GDK_Page_Down) {
    s->recall(k == GDK_Page_Up ? -1 : 1);
    return TRUE;
  }
  if (k >= GDK_F1 && k <= GDK_F10) {
    // The loop types the key's macro after what the line holds so far.
    s->keys_.push_back(kKeyKillLine);
    for (unsigned char c : to_latin1(gtk_entry_get_text(GTK_ENTRY(s->entry_)))) s->keys_.push_back(c);
    s->keys_.push_back(kKeyF1 + static_cast<int>(k - GDK_F1));
    gtk_entry_set_text(GTK_ENTRY(s->entry_), "");
    return TRUE;
  }
  if (k == GDK_Escape && !s->long_line_.empty()) {
    s->long_line_.clear();
    gtk_editable_set_editable(GTK_EDITABLE(s->entry_), TRUE);
    gtk_entry_set_text(GTK_ENTRY(s->entry_), "");
    s->set_status(s->busy_ ? "Busy" : "Ready");
    return TRUE;
  }
  return FALSE;
}

void GtkSide::on_activate(GtkEntry* entry, gpointer self) {
  auto* s = static_cast<GtkSide*>(self);
  if (!s->long_line_.empty()) {
    s->submit(s->long_line_, false);
    s->long_line_.clear();
    gtk_editable_set_editable(GTK_EDITABLE(entry), TRUE);
    s->set_status(s->busy_ ? "Busy" : "Ready");
  } else {
    s->submit(to_latin1(gtk_entry_get_text(entry)), false);
  }
  gtk_entry_set_text(entry, "");
  s->history_at_ = s->history_.size();
}

void GtkSide::on_paste(GtkEntry* entry, gpointer self) {
  auto* s = static_cast<GtkSide*>(self);
  GtkClipboard* cb = gtk_widget_get_clipboard(GTK_WIDGET(entry), GDK_SELECTION_CLIPBOARD);
  gchar* text = gtk_clipboard_wait_for_text(cb);
  if (!text) return;
  long have = g_utf8_strlen(gtk_entry_get_text(entry), -1);
  if (have + g_utf8_strlen(text, -1) <= kEntryLimit) {
    g_free(text);
    return;  // fits: the entry pastes it as usual
  }
  // The entry would cut the line short without a word; keep it whole
  // instead, show its start, and let Enter submit it or Escape drop it.
  g_signal_stop_emission_by_name(entry, "paste-clipboard");
  gint pos = gtk_editable_get_position(GTK_EDITABLE(entry));
  std::string now = gtk_entry_get_text(entry);
  const char* cut = g_utf8_offset_to_pointer(now.c_str(), pos);
  std::string whole = std::string(now.c_str(), cut) + text + cut;
  g_free(text);
  s->long_line_ = to_latin1(whole.c_str());
  char head[160];
  std::snprintf(head, sizeof head, "[a line of %zu characters: Enter submits it, Escape drops it] ",
                s->long_line_.size());
  const char* head_end = g_utf8_offset_to_pointer(whole.c_str(), 200);
  std::string shown = head + std::string(whole.c_str(), static_cast<size_t>(head_end - whole.c_str()));
  gtk_entry_set_text(entry, shown.c_str());
  gtk_editable_set_editable(GTK_EDITABLE(entry), FALSE);
  s->set_status("long line pasted");
}

void GtkSide::on_break(GtkButton*, gpointer self) {
  auto* s = static_cast<GtkSide*>(self);
  if (!s->busy_) return;
  s->break_pending_ = true;
  s->answer_more('q');
}

void GtkSide::on_viewer_button(GtkButton*, gpointer self) {
  auto* s = static_cast<GtkSide*>(self);
  if (s->viewer().title().empty())
    s->submit("help", true);  // the contents page
  else
    gtk_window_present(GTK_WINDOW(s->viewer().window()));
}

void GtkSide::on_editor_button(GtkButton*, gpointer self) { static_cast<GtkSide*>(self)->editor().show(); }

gboolean GtkSide::on_delete(GtkWidget*, GdkEvent*, gpointer self) {
  // Closing the window is the `exit` command, with its refusal when the
  // data in memory have changed since they were saved. During a command
  // it waits its turn like any line, and is asked for once.
  auto* s = static_cast<GtkSide*>(self);
  if (s->close_pending_) return TRUE;
  s->submit("exit", false);
  if (s->busy_) {
    s->close_pending_ = true;
    s->set_status("Busy: closes when the command ends (Break stops it)");
  }
  return TRUE;
}

gboolean GtkSide::on_configure(GtkWidget* w, GdkEventConfigure*, gpointer self) {
  auto* s = static_cast<GtkSide*>(self);
  Geometry& g = s->main_geometry_;
  gtk_window_get_position(GTK_WINDOW(w), &g.x, &g.y);
  gtk_window_get_size(GTK_WINDOW(w), &g.w, &g.h);
  return FALSE;
}

// Without a window manager there may be no configure event at all: the
// size the window is given is the size to keep.
void GtkSide::on_allocate(GtkWidget* w, GtkAllocation*, gpointer self) {
  on_configure(w, nullptr, self);
}

void GtkSide::on_split(GObject*, GParamSpec*, gpointer self) {
  auto* s = static_cast<GtkSide*>(self);
  s->split_ = gtk_paned_get_position(GTK_PANED(s->paned_));
}

namespace {

// The text in `column` of the row under a click, if any.
bool row_at(GtkWidget* tree, GdkEventButton* ev, int column, std::string* out) {
  if (ev->button != 1 || ev->window != gtk_tree_view_get_bin_window(GTK_TREE_VIEW(tree))) return false;
  GtkTreePath* path = nullptr;
  if (!gtk_tree_view_get_path_at_pos(GTK_TREE_VIEW(tree), static_cast<gint>(ev->x), static_cast<gint>(ev->y),
                                     &path, nullptr, nullptr, nullptr))
    return false;
  GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(tree));
  GtkTreeIter it;
  bool found = gtk_tree_model_get_iter(model, &it, path);
  gtk_tree_path_free(path);
  if (!found) return false;
  gchar* text = nullptr;
  gtk_tree_model_get(model, &it, column, &text, -1);
  out->assign(text ? text : "");
  g_free(text);
  return true;
}

}  // namespace

// On release, after the list has taken the focus on the press: the
// command line gets it back.
gboolean GtkSide::on_review_click(GtkWidget* tree, GdkEventButton* ev, gpointer self) {
  auto* s = static_cast<GtkSide*>(self);
  std::string text;
  if (!row_at(tree, ev, 0, &text)) return FALSE;
  gtk_entry_set_text(GTK_ENTRY(s->entry_), text.c_str());
  gtk_widget_grab_focus(s->entry_);
  gtk_editable_set_position(GTK_EDITABLE(s->entry_), -1);
  return FALSE;
}

gboolean GtkSide::on_variable_click(GtkWidget* tree, GdkEventButton* ev, gpointer self) {
  auto* s = static_cast<GtkSide*>(self);
  std::string name;
  if (!row_at(tree, ev, 0, &name)) return FALSE;
  name += ' ';
  gint pos = gtk_editable_get_position(GTK_EDITABLE(s->entry_));
  gtk_widget_grab_focus(s->entry_);
  gtk_editable_insert_text(GTK_EDITABLE(s->entry_), name.c_str(), -1, &pos);
  gtk_editable_set_position(GTK_EDITABLE(s->entry_), pos);
  return FALSE;
}

// ---- layout kept between sessions

void GtkSide::restore_layout(const PrefGetter& get) {
  int v[4];
  if (parse_geometry(get("gui_main_window"), v)) {
    gtk_window_resize(GTK_WINDOW(window_), v[2], v[3]);
    if (v[0] >= 0 && v[1] >= 0) gtk_window_move(GTK_WINDOW(window_), v[0], v[1]);
    main_geometry_ = {v[0], v[1], v[2], v[3]};
  }
  if (const std::string* p = get("gui_split")) {
    int pos = std::atoi(p->c_str());
    if (pos > 0) gtk_paned_set_position(GTK_PANED(paned_), pos);
  }
}

void GtkSide::save_layout(const PrefSetter& set) {
  // From the last configure event: the display may be gone by now.
  const Geometry& g = main_geometry_;
  if (g.w > 0 && g.h > 0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d %d %d %d", g.x, g.y, g.w, g.h);
    set("gui_main_window", buf);
  }
  if (split_ > 0) set("gui_split", std::to_string(split_));
}

}  // namespace nuvra::gui
