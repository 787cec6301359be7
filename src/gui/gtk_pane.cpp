#include "gui/gtk_pane.h"

namespace nuvra::gui {

namespace {

struct ColourClass {
  uint8_t code;
  const char* colour;
  bool bold;
};

// Results in black and bold, text in dark grey, errors in red, links in
// blue, the command echo and highlights in black.
constexpr ColourClass kColours[] = {
    {output::kColourResult, "#000000", true}, {output::kColourText, "#303030", false},
    {output::kColourError, "#c00000", false}, {output::kColourInput, "#000000", false},
    {output::kColourLink, "#0030c0", false},  {output::kColourHilite, "#000000", true},
};

void append_latin1(std::string& out, unsigned char c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

const char* drawing_glyph(uint8_t code) {
  switch (code) {
    case output::kDrawTopTee: return "\u252C";
    case output::kDrawBottomTee: return "\u2534";
    case output::kDrawLeftTee: return "\u251C";
    case output::kDrawRightTee: return "\u2524";
    case output::kDrawBottomRight: return "\u2518";
    case output::kDrawBottomLeft: return "\u2514";
    case output::kDrawTopRight: return "\u2510";
    case output::kDrawTopLeft: return "\u250C";
    case output::kDrawHorizontal: return "\u2500";
    case output::kDrawVertical: return "\u2502";
    case output::kDrawCross: return "\u253C";
    default: return "?";
  }
}

LinePane::LinePane(LinkHandler on_link) : on_link_(std::move(on_link)) {
  buffer_ = gtk_text_buffer_new(nullptr);
  view_ = GTK_TEXT_VIEW(gtk_text_view_new_with_buffer(buffer_));
  g_object_unref(buffer_);  // the view holds it now
  gtk_text_view_set_editable(view_, FALSE);
  gtk_text_view_set_cursor_visible(view_, FALSE);
  gtk_text_view_set_wrap_mode(view_, GTK_WRAP_CHAR);
  gtk_text_view_set_left_margin(view_, 4);
  PangoFontDescription* font = pango_font_description_from_string("Monospace 10");
  gtk_widget_modify_font(GTK_WIDGET(view_), font);
  pango_font_description_free(font);

  for (const ColourClass& c : kColours) {
    colour_tags_[c.code] = gtk_text_buffer_create_tag(buffer_, nullptr, "foreground", c.colour,
                                                      "weight", c.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL,
                                                      nullptr);
  }
  bold_ = gtk_text_buffer_create_tag(buffer_, nullptr, "weight", PANGO_WEIGHT_BOLD, nullptr);
  italic_ = gtk_text_buffer_create_tag(buffer_, nullptr, "style", PANGO_STYLE_ITALIC, nullptr);
  underline_ = gtk_text_buffer_create_tag(buffer_, nullptr, "underline", PANGO_UNDERLINE_SINGLE, nullptr);

  GtkTextIter end;
  gtk_text_buffer_get_end_iter(buffer_, &end);
  open_start_ = gtk_text_buffer_create_mark(buffer_, nullptr, &end, TRUE);
  end_ = gtk_text_buffer_create_mark(buffer_, nullptr, &end, FALSE);
  links_.emplace_back();

  scroll_ = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll_), GTK_POLICY_AUTOMATIC, GTK_POLICY_ALWAYS);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroll_), GTK_SHADOW_IN);
  gtk_container_add(GTK_CONTAINER(scroll_), GTK_WIDGET(view_));
  gtk_widget_add_events(GTK_WIDGET(view_), GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
  g_signal_connect(view_, "button-release-event", G_CALLBACK(on_release), this);
  g_signal_connect(view_, "motion-notify-event", G_CALLBACK(on_motion), this);
  hand_ = gdk_cursor_new(GDK_HAND2);
}

LinePane::~LinePane() {
  if (hand_) gdk_cursor_unref(hand_);
}

void LinePane::put(const uint8_t* rec, bool finished) {
  GtkTextIter start, end;
  gtk_text_buffer_get_iter_at_mark(buffer_, &start, open_start_);
  gtk_text_buffer_get_end_iter(buffer_, &end);
  gtk_text_buffer_delete(buffer_, &start, &end);
  int line = gtk_text_iter_get_line(&start);

  output::DecodedLine d = output::decode_line_record(rec);
  std::string piece;
  size_t n = d.text.size();
  for (size_t i = 0; i < n;) {
    uint8_t st = d.style[i];
    size_t j = i;
    piece.clear();
    for (; j < n && d.style[j] == st; ++j) {
      unsigned char c = static_cast<unsigned char>(d.text[j]);
      if (st & output::kStyleDrawing)
        piece += drawing_glyph(c);
      else
        append_latin1(piece, c);
    }
    GtkTextTag* tags[4] = {colour_tags_[st & output::kStyleColourMask], nullptr, nullptr, nullptr};
    int k = 1;
    if (st & output::kStyleBold) tags[k++] = bold_;
    if (st & output::kStyleItalic) tags[k++] = italic_;
    if ((st & output::kStyleUnderline) || (st & output::kStyleColourMask) == output::kColourLink)
      tags[k++] = underline_;
    gtk_text_buffer_get_end_iter(buffer_, &end);
    gtk_text_buffer_insert_with_tags(buffer_, &end, piece.data(), static_cast<gint>(piece.size()),
                                     tags[0], tags[1], tags[2], tags[3], nullptr);
    i = j;
  }
  if (static_cast<size_t>(line) >= links_.size()) links_.resize(static_cast<size_t>(line) + 1);
  links_[static_cast<size_t>(line)] = std::move(d.links);
  if (finished) {
    gtk_text_buffer_get_end_iter(buffer_, &end);
    gtk_text_buffer_insert(buffer_, &end, "\n", 1);
    gtk_text_buffer_get_end_iter(buffer_, &end);
    gtk_text_buffer_move_mark(buffer_, open_start_, &end);
    links_.emplace_back();
  }
}

void LinePane::drop_open_line() {
  GtkTextIter start, end;
  gtk_text_buffer_get_iter_at_mark(buffer_, &start, open_start_);
  gtk_text_buffer_get_end_iter(buffer_, &end);
  gtk_text_buffer_delete(buffer_, &start, &end);
  links_.back().clear();
}

void LinePane::clear() {
  gtk_text_buffer_set_text(buffer_, "", 0);
  links_.assign(1, {});
}

void LinePane::scroll_to_end() {
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(buffer_, &end);
  gtk_text_buffer_move_mark(buffer_, end_, &end);
  gtk_text_view_scroll_mark_onscreen(view_, end_);
}

std::string LinePane::text() const {
  GtkTextIter start, end;
  gtk_text_buffer_get_bounds(buffer_, &start, &end);
  gchar* t = gtk_text_buffer_get_text(buffer_, &start, &end, FALSE);
  std::string s(t);
  g_free(t);
  return s;
}

int LinePane::display_lines() const {
  GtkTextIter it;
  gtk_text_buffer_get_start_iter(buffer_, &it);
  int count = 1;
  while (gtk_text_view_forward_display_line(view_, &it)) ++count;
  return count;
}

const output::DecodedLink* LinePane::link_at(int x, int y) const {
  int bx, by;
  gtk_text_view_window_to_buffer_coords(view_, GTK_TEXT_WINDOW_TEXT, x, y, &bx, &by);
  // The character the point lies in (not the nearest gap between two).
  GtkTextIter it;
  gint trailing = 0;
  gtk_text_view_get_iter_at_position(view_, &it, &trailing, bx, by);
  // A point past the end of a short line lands on its last character.
  GdkRectangle r;
  gtk_text_view_get_iter_location(view_, &it, &r);
  if (bx < r.x || bx >= r.x + r.width) return nullptr;
  size_t line = static_cast<size_t>(gtk_text_iter_get_line(&it));
  int col = gtk_text_iter_get_line_offset(&it);
  if (line >= links_.size()) return nullptr;
  for (const output::DecodedLink& l : links_[line])
    if (col >= l.start && col < l.end) return &l;
  return nullptr;
}

bool LinePane::follow_at(int x, int y) {
  const output::DecodedLink* l = link_at(x, y);
  if (!l) return false;
  // The handler may change the pane (the viewer loads another file).
  int kind = l->kind;
  std::string target = l->target;
  on_link_(kind, target);
  return true;
}

bool LinePane::link_position(const std::string& target, int* x, int* y) {
  for (size_t line = 0; line < links_.size(); ++line) {
    for (const output::DecodedLink& l : links_[line]) {
      if (l.target != target) continue;
      GtkTextIter it;
      gtk_text_buffer_get_iter_at_line_offset(buffer_, &it, static_cast<gint>(line), l.start);
      gtk_text_view_scroll_to_iter(view_, &it, 0.05, FALSE, 0, 0);
      GdkRectangle r;
      gtk_text_view_get_iter_location(view_, &it, &r);
      gtk_text_view_buffer_to_window_coords(view_, GTK_TEXT_WINDOW_TEXT, r.x + r.width / 2,
                                            r.y + r.height / 2, x, y);
      return true;
    }
  }
  return false;
}

gboolean LinePane::on_release(GtkWidget*, GdkEventButton* ev, gpointer self) {
  auto* pane = static_cast<LinePane*>(self);
  if (ev->button != 1 || ev->window != gtk_text_view_get_window(pane->view_, GTK_TEXT_WINDOW_TEXT))
    return FALSE;
  // A drag that selected text is a selection, not a click.
  if (gtk_text_buffer_get_has_selection(pane->buffer_)) return FALSE;
  pane->follow_at(static_cast<int>(ev->x), static_cast<int>(ev->y));
  return FALSE;
}

gboolean LinePane::on_motion(GtkWidget*, GdkEventMotion* ev, gpointer self) {
  auto* pane = static_cast<LinePane*>(self);
  GdkWindow* text = gtk_text_view_get_window(pane->view_, GTK_TEXT_WINDOW_TEXT);
  if (ev->window != text) return FALSE;
  bool over = pane->link_at(static_cast<int>(ev->x), static_cast<int>(ev->y)) != nullptr;
  gdk_window_set_cursor(text, over ? pane->hand_ : nullptr);
  return FALSE;
}

}  // namespace nuvra::gui
