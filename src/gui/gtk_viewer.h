// The viewer: a window showing one NMCL file at a time (help files among
// them) with back and forward through the files shown before.
#pragma once
#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/gtk_pane.h"

namespace nuvra::gui {

class Viewer {
 public:
  // Links in the shown file are handed to `on_link`.
  explicit Viewer(LinePane::LinkHandler on_link);
  ~Viewer();
  Viewer(const Viewer&) = delete;
  Viewer& operator=(const Viewer&) = delete;

  // Shows the file, after the current one in the history (anything
  // forward of the current file is dropped, as in a browser).
  void open(const std::string& path, const std::string& title);
  bool back();
  bool forward();
  bool can_back() const { return at_ > 0; }
  bool can_forward() const { return at_ + 1 < history_.size(); }

  GtkWidget* window() const { return window_; }
  LinePane& pane() { return *pane_; }
  const std::string& title() const { return history_.empty() ? empty_ : history_[at_].title; }

 private:
  struct Page {
    std::string path, title;
  };
  void show_current();
  void update_buttons();
  static void on_back(GtkButton*, gpointer self);
  static void on_forward(GtkButton*, gpointer self);
  static gboolean on_delete(GtkWidget*, GdkEvent*, gpointer self);

  GtkWidget* window_ = nullptr;
  GtkWidget* back_button_ = nullptr;
  GtkWidget* forward_button_ = nullptr;
  GtkWidget* title_label_ = nullptr;
  std::unique_ptr<LinePane> pane_;
  std::vector<Page> history_;
  size_t at_ = 0;
  std::string empty_;
};

// Renders NMCL text into a pane at the given width, as the results would
// show it; no more prompt, no logs.
void render_nmcl_into(LinePane& pane, const std::string& markup, int width);

}  // namespace nuvra::gui
