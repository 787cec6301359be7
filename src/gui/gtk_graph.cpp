#include "gui/gtk_graph.h"

namespace nuvra::gui {

GraphWindow::GraphWindow(const std::string& title, GraphPainter paint) : paint_(std::move(paint)) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
  gtk_window_set_default_size(GTK_WINDOW(window_), 600, 440);
  area_ = gtk_drawing_area_new();
  gtk_container_add(GTK_CONTAINER(window_), area_);
  g_signal_connect(area_, "expose-event", G_CALLBACK(on_expose), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
  gtk_widget_show_all(window_);
}

GraphWindow::~GraphWindow() { gtk_widget_destroy(window_); }

void GraphWindow::set_painter(GraphPainter paint) {
  paint_ = std::move(paint);
  gtk_widget_queue_draw(area_);
}

gboolean GraphWindow::on_expose(GtkWidget* w, GdkEventExpose* ev, gpointer self) {
  auto* g = static_cast<GraphWindow*>(self);
  cairo_t* cr = gdk_cairo_create(w->window);
  gdk_cairo_region(cr, ev->region);
  cairo_clip(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  if (g->paint_) g->paint_(cr, w->allocation.width, w->allocation.height);
  cairo_destroy(cr);
  return TRUE;
}

}  // namespace nuvra::gui
