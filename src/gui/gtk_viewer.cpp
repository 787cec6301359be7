#include "gui/gtk_viewer.h"

#include <cstdio>

#include "output/nmcl_stream.h"

namespace nuvra::gui {

namespace {

int pane_sink(void* arg, const uint8_t* rec, int kind) {
  auto* pane = static_cast<LinePane*>(arg);
  if (kind == output::kSinkLine) pane->put(rec, true);
  if (kind == output::kSinkPartial) pane->put(rec, false);
  return 0;
}

bool read_file(const std::string& path, std::string* out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buf[8192];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
  std::fclose(f);
  return true;
}

}  // namespace

void render_nmcl_into(LinePane& pane, const std::string& markup, int width) {
  auto stream = std::make_unique<output::NmclStream>();  // a few kilobytes: not on the stack
  stream->set_width(width);
  stream->set_page_length(0);
  stream->set_title_style(true);
  stream->set_sink(pane_sink, &pane);
  stream->feed(markup);
  stream->finish();
}

Viewer::Viewer(LinePane::LinkHandler on_link) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), "Nuvra Viewer");
  gtk_window_set_default_size(GTK_WINDOW(window_), 680, 560);
  GtkWidget* box = gtk_vbox_new(FALSE, 2);
  GtkWidget* bar = gtk_hbox_new(FALSE, 4);
  back_button_ = gtk_button_new_with_label("\u25C0 Back");
  forward_button_ = gtk_button_new_with_label("Forward \u25B6");
  title_label_ = gtk_label_new("");
  gtk_box_pack_start(GTK_BOX(bar), back_button_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar), forward_button_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar), title_label_, TRUE, TRUE, 0);
  pane_ = std::make_unique<LinePane>(std::move(on_link));
  gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 2);
  gtk_box_pack_start(GTK_BOX(box), pane_->widget(), TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(window_), box);
  g_signal_connect(back_button_, "clicked", G_CALLBACK(on_back), this);
  g_signal_connect(forward_button_, "clicked", G_CALLBACK(on_forward), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(on_delete), this);
  update_buttons();
}

Viewer::~Viewer() { gtk_widget_destroy(window_); }

void Viewer::open(const std::string& path, const std::string& title) {
  if (!history_.empty()) history_.resize(at_ + 1);
  history_.push_back({path, title});
  at_ = history_.size() - 1;
  show_current();
}

bool Viewer::back() {
  if (!can_back()) return false;
  --at_;
  show_current();
  return true;
}

bool Viewer::forward() {
  if (!can_forward()) return false;
  ++at_;
  show_current();
  return true;
}

void Viewer::show_current() {
  const Page& page = history_[at_];
  pane_->clear();
  std::string text;
  if (!read_file(page.path, &text)) text = "{err}file " + page.path + " could not be opened\n";
  render_nmcl_into(*pane_, "{nmcl}\n" + text + "\n{nmcl}\n", 79);
  gtk_label_set_text(GTK_LABEL(title_label_), page.title.c_str());
  std::string t = "Nuvra Viewer - " + page.title;
  gtk_window_set_title(GTK_WINDOW(window_), t.c_str());
  GtkTextIter start;
  gtk_text_buffer_get_start_iter(gtk_text_view_get_buffer(pane_->view()), &start);
  gtk_text_view_scroll_to_iter(pane_->view(), &start, 0, FALSE, 0, 0);
  update_buttons();
  gtk_widget_show_all(window_);
  gtk_window_present(GTK_WINDOW(window_));
}

void Viewer::update_buttons() {
  gtk_widget_set_sensitive(back_button_, can_back());
  gtk_widget_set_sensitive(forward_button_, can_forward());
}

void Viewer::on_back(GtkButton*, gpointer self) { static_cast<Viewer*>(self)->back(); }
void Viewer::on_forward(GtkButton*, gpointer self) { static_cast<Viewer*>(self)->forward(); }

gboolean Viewer::on_delete(GtkWidget* w, GdkEvent*, gpointer) {
  gtk_widget_hide(w);  // kept, with its history, for the next file
  return TRUE;
}

}  // namespace nuvra::gui
