#include "gui/gtk_editor.h"

#include <cstdio>

namespace nuvra::gui {

namespace {

// Writes to a new file beside the target and renames it over the target,
// so a failed write leaves the old copy as it was.
bool write_file(const std::string& path, const std::string& text) {
  std::string tmp = path + ".new";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fclose(f) == 0 && ok;
  if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(tmp.c_str());
  return ok;
}

std::string buffer_text(GtkTextBuffer* b, GtkTextIter* from, GtkTextIter* to) {
  gchar* t = gtk_text_buffer_get_text(b, from, to, FALSE);
  std::string s(t);
  g_free(t);
  return s;
}

void message(GtkWidget* parent, const std::string& text) {
  GtkWidget* d = gtk_message_dialog_new(GTK_WINDOW(parent), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                        GTK_BUTTONS_OK, "%s", text.c_str());
  gtk_dialog_run(GTK_DIALOG(d));
  gtk_widget_destroy(d);
}

std::string choose_file(GtkWidget* parent, bool save) {
  GtkWidget* d = gtk_file_chooser_dialog_new(
      save ? "Save do-file" : "Open do-file", GTK_WINDOW(parent),
      save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, GTK_STOCK_CANCEL,
      GTK_RESPONSE_CANCEL, save ? GTK_STOCK_SAVE : GTK_STOCK_OPEN, GTK_RESPONSE_ACCEPT, nullptr);
  if (save) gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(d), TRUE);
  std::string path;
  if (gtk_dialog_run(GTK_DIALOG(d)) == GTK_RESPONSE_ACCEPT) {
    gchar* p = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d));
    if (p) path = p;
    g_free(p);
  }
  gtk_widget_destroy(d);
  return path;
}

}  // namespace

std::string quoted_path(const std::string& path) {
  // Paths holding a double quote get the compound quotes.
  if (path.find('"') != std::string::npos) return "`\"" + path + "\"'";
  return "\"" + path + "\"";
}

DoEditor::DoEditor(std::function<void(const std::string&)> run, std::string scratch)
    : run_(std::move(run)), scratch_(std::move(scratch)) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window_), 640, 480);
  GtkWidget* box = gtk_vbox_new(FALSE, 2);
  GtkWidget* bar = gtk_hbox_new(FALSE, 4);
  struct {
    const char* label;
    void (*fn)(GtkButton*, gpointer);
  } buttons[] = {{"Open...", on_open}, {"Save", on_save}, {"Do", on_do}, {"Do selection", on_do_selection}};
  for (const auto& b : buttons) {
    GtkWidget* w = gtk_button_new_with_label(b.label);
    g_signal_connect(w, "clicked", G_CALLBACK(b.fn), this);
    gtk_box_pack_start(GTK_BOX(bar), w, FALSE, FALSE, 0);
  }
  view_ = gtk_text_view_new();
  buffer_ = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view_));
  PangoFontDescription* font = pango_font_description_from_string("Monospace 10");
  gtk_widget_modify_font(view_, font);
  pango_font_description_free(font);
  GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroll), GTK_SHADOW_IN);
  gtk_container_add(GTK_CONTAINER(scroll), view_);
  gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 2);
  gtk_box_pack_start(GTK_BOX(box), scroll, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(window_), box);
  g_signal_connect(window_, "delete-event", G_CALLBACK(on_delete), this);
  set_path("");
}

DoEditor::~DoEditor() { gtk_widget_destroy(window_); }

void DoEditor::show() {
  gtk_widget_show_all(window_);
  gtk_window_present(GTK_WINDOW(window_));
}

void DoEditor::set_path(const std::string& path) {
  path_ = path;
  std::string t = "Do-file Editor - " + (path.empty() ? std::string("Untitled") : path);
  gtk_window_set_title(GTK_WINDOW(window_), t.c_str());
}

bool DoEditor::load(const std::string& path) {
  gchar* text = nullptr;
  gsize len = 0;
  if (!g_file_get_contents(path.c_str(), &text, &len, nullptr)) return false;
  // Do-files are Latin-1 as often as UTF-8; the view needs UTF-8.
  if (!g_utf8_validate(text, static_cast<gssize>(len), nullptr)) {
    gchar* conv = g_convert(text, static_cast<gssize>(len), "UTF-8", "ISO-8859-1", nullptr, nullptr, nullptr);
    g_free(text);
    if (!conv) return false;
    text = conv;
    len = std::char_traits<char>::length(conv);
  }
  gtk_text_buffer_set_text(buffer_, text, static_cast<gint>(len));
  g_free(text);
  gtk_text_buffer_set_modified(buffer_, FALSE);
  set_path(path);
  return true;
}

void DoEditor::start_new(const std::string& path) {
  gtk_text_buffer_set_text(buffer_, "", 0);
  gtk_text_buffer_set_modified(buffer_, FALSE);
  set_path(path);
}

bool DoEditor::blank() const {
  return path_.empty() && !gtk_text_buffer_get_modified(buffer_) && gtk_text_buffer_get_char_count(buffer_) == 0;
}

bool DoEditor::save_to(const std::string& path) {
  GtkTextIter a, b;
  gtk_text_buffer_get_bounds(buffer_, &a, &b);
  if (!write_file(path, buffer_text(buffer_, &a, &b))) return false;
  gtk_text_buffer_set_modified(buffer_, FALSE);
  set_path(path);
  return true;
}

bool DoEditor::run_text(const std::string& text) {
  std::string body = text;
  if (body.empty() || body.back() != '\n') body.push_back('\n');
  if (!write_file(scratch_, body)) return false;
  run_("do " + quoted_path(scratch_));
  return true;
}

bool DoEditor::run_selection() {
  GtkTextIter a, b;
  if (!gtk_text_buffer_get_selection_bounds(buffer_, &a, &b)) gtk_text_buffer_get_bounds(buffer_, &a, &b);
  // A selection runs as whole lines.
  gtk_text_iter_set_line_offset(&a, 0);
  if (!gtk_text_iter_ends_line(&b)) gtk_text_iter_forward_to_line_end(&b);
  return run_text(buffer_text(buffer_, &a, &b));
}

bool DoEditor::run_all() {
  GtkTextIter a, b;
  gtk_text_buffer_get_bounds(buffer_, &a, &b);
  if (path_.empty()) return run_text(buffer_text(buffer_, &a, &b));
  if (gtk_text_buffer_get_modified(buffer_) && !save_to(path_)) return false;
  run_("do " + quoted_path(path_));
  return true;
}

void DoEditor::on_open(GtkButton*, gpointer self) {
  auto* ed = static_cast<DoEditor*>(self);
  std::string path = choose_file(ed->window_, false);
  if (!path.empty() && !ed->load(path)) message(ed->window_, "file " + path + " could not be opened");
}

void DoEditor::on_save(GtkButton*, gpointer self) {
  auto* ed = static_cast<DoEditor*>(self);
  std::string path = ed->path_.empty() ? choose_file(ed->window_, true) : ed->path_;
  if (!path.empty() && !ed->save_to(path))
    message(ed->window_, "file " + path + " could not be saved; the previous copy is unchanged");
}

void DoEditor::on_do(GtkButton*, gpointer self) {
  auto* ed = static_cast<DoEditor*>(self);
  if (!ed->run_all()) message(ed->window_, "the do-file could not be written out to run");
}

void DoEditor::on_do_selection(GtkButton*, gpointer self) {
  auto* ed = static_cast<DoEditor*>(self);
  if (!ed->run_selection()) message(ed->window_, "the selection could not be written out to run");
}

gboolean DoEditor::on_delete(GtkWidget* w, GdkEvent*, gpointer) {
  gtk_widget_hide(w);  // the text stays for when it is shown again
  return TRUE;
}

}  // namespace nuvra::gui
