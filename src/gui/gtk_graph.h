// A graph window: a drawing area whose every redraw hands a cairo context
// of the window's current size to a painter.  The graph subsystem's
// recorded list of drawing operations is what will paint here: the window
// side knows nothing about graphs beyond this.
#pragma once
#include <cairo.h>
#include <gtk/gtk.h>

#include <functional>
#include <string>

namespace nuvra::gui {

using GraphPainter = std::function<void(cairo_t* cr, int width, int height)>;

class GraphWindow {
 public:
  GraphWindow(const std::string& title, GraphPainter paint);
  ~GraphWindow();
  GraphWindow(const GraphWindow&) = delete;
  GraphWindow& operator=(const GraphWindow&) = delete;

  // Replaces what the window draws and redraws it.
  void set_painter(GraphPainter paint);
  GtkWidget* window() const { return window_; }

 private:
  static gboolean on_expose(GtkWidget* w, GdkEventExpose* ev, gpointer self);
  GraphPainter paint_;
  GtkWidget* window_ = nullptr;
  GtkWidget* area_ = nullptr;
};

}  // namespace nuvra::gui
