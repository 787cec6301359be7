// LinePane: a scrolled text view that shows LineRecords as the renderer made
// them: style runs as colours and fonts, drawing codes as box characters,
// and links that call back when clicked.  The results pane and the viewer
// are both one of these.
#pragma once
#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "output/nmcl_stream.h"

namespace nuvra::gui {

class LinePane {
 public:
  using LinkHandler = std::function<void(int kind, const std::string& target)>;

  explicit LinePane(LinkHandler on_link);
  ~LinePane();
  LinePane(const LinePane&) = delete;
  LinePane& operator=(const LinePane&) = delete;

  // The scrolled window holding the view; owned by whatever packs it.
  GtkWidget* widget() const { return scroll_; }
  GtkTextView* view() const { return view_; }

  // Replaces the open line with `rec`; a finished line is closed and the
  // next record starts a new one.
  void put(const uint8_t* rec, bool finished);
  // Takes the open line off the pane (the more prompt once answered).
  void drop_open_line();
  void clear();
  void scroll_to_end();

  // The text as shown, drawing codes as box characters (UTF-8).
  std::string text() const;
  // The number of lines the view shows the buffer in, counting wrapped
  // pieces; only meaningful once the view has been laid out.
  int display_lines() const;

  // Scrolls the first link with `target` into view and tells where it is
  // drawn, in the coordinates of the view's text window; false when no
  // such link is shown.
  bool link_position(const std::string& target, int* x, int* y);
  // The link under a point of the text window, as a click there would
  // follow it; false when there is none.
  bool follow_at(int x, int y);

 private:
  static gboolean on_release(GtkWidget* w, GdkEventButton* ev, gpointer self);
  static gboolean on_motion(GtkWidget* w, GdkEventMotion* ev, gpointer self);
  const output::DecodedLink* link_at(int x, int y) const;

  LinkHandler on_link_;
  GtkWidget* scroll_ = nullptr;
  GtkTextView* view_ = nullptr;
  GtkTextBuffer* buffer_ = nullptr;
  GtkTextMark* open_start_ = nullptr;  // where the open line begins
  GtkTextMark* end_ = nullptr;
  GtkTextTag* colour_tags_[8] = {};
  GtkTextTag* bold_ = nullptr;
  GtkTextTag* italic_ = nullptr;
  GtkTextTag* underline_ = nullptr;
  GdkCursor* hand_ = nullptr;
  // The links of each buffer line, by line number.
  std::vector<std::vector<output::DecodedLink>> links_;
};

// The box-drawing character shown for a drawing code, in UTF-8.
const char* drawing_glyph(uint8_t code);

}  // namespace nuvra::gui
