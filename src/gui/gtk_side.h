// The window side of the windowed edition: one main window with the
// results, the command line, the review and variables lists, a busy
// indicator and a Break button; a viewer, a do-file editor and graph
// windows beside it.
//
// Everything runs on the interpreter's thread.  Event handlers never run a
// command themselves: what they submit goes into the key queue that the
// command loop reads, so a click during a long command waits its turn.
#pragma once
#include <gtk/gtk.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gui/gtk_editor.h"
#include "gui/gtk_graph.h"
#include "gui/gtk_pane.h"
#include "gui/gtk_viewer.h"
#include "gui/window_side.h"

namespace nuvra::gui {

// Initialises the toolkit and opens the main window; null when the display
// cannot be opened.
std::unique_ptr<WindowSide> make_gtk_side(int* argc, char*** argv);

class GtkSide : public WindowSide {
 public:
  // The toolkit must be initialised.
  GtkSide();
  ~GtkSide() override;

  // WindowSide
  int read_key() override;
  void append_char(int code) override;
  void process_events() override;
  void busy(bool on) override;
  void alert(const std::array<std::string, 4>& lines) override;
  void review_add(std::string_view line) override;
  int sink(const uint8_t* rec, int kind) override;
  bool take_break() override;
  bool wants_variables() const override { return true; }
  void show_variables(const std::vector<VariableRow>& rows) override;
  bool show_file(const std::string& path, std::string_view title) override;
  int edit_file(const std::string& path) override;
  void restore_layout(const PrefGetter& get) override;
  void save_layout(const PrefSetter& set) override;
  void set_session_saver(std::function<void()> save) override;

  // Queues a command line as if typed and submitted with Enter; a silent
  // line is neither echoed nor kept in the review.
  void submit(const std::string& line, bool silent);
  // A link clicked in the results or the viewer.
  void follow_link(int kind, const std::string& target);
  // Opens a graph window drawn by `paint` (the graph device's hook).
  GraphWindow& show_graph(const std::string& title, GraphPainter paint);
  // The graph drawn under `name`, in the window of that name (made on the
  // first drawing, redrawn on the next).
  void show_graph(const std::string& name, const graphics::Recording& drawing) override;
  // The window showing the graph `name`, or null.
  GraphWindow* graph_window(const std::string& name) const;

  // The widgets, for tests and screenshots.
  GtkWidget* main_window() const { return window_; }
  GtkWidget* command_entry() const { return entry_; }
  GtkWidget* break_button() const { return break_button_; }
  GtkWidget* review_view() const { return review_view_; }
  GtkWidget* variables_view() const { return vars_view_; }
  LinePane& results() { return *results_; }
  Viewer& viewer();
  // The first do-file editor; `doedit` opens more, one per file.
  DoEditor& editor();
  const std::vector<std::unique_ptr<DoEditor>>& editors() const { return editors_; }
  bool is_busy() const { return busy_; }
  bool waiting_for_input() const { return waiting_; }
  bool more_showing() const { return more_key_ == kMoreWaiting; }
  const std::string& status_text() const { return status_; }
  // Ends input: the next read reports end of input (the display went away,
  // or a test is done).
  void close_input() { closed_ = true; }

 private:
  static constexpr int kMoreIdle = -2, kMoreWaiting = -1;
  struct Geometry {
    int x = -1, y = -1, w = 0, h = 0;
  };

  void build_main_window();
  DoEditor& new_editor();
  void set_status(const char* text);
  void recall(int step);
  void answer_more(int key);
  GtkWidget* list_view(GtkListStore* store, const char* const* titles, int columns);

  static gboolean on_key(GtkWidget*, GdkEventKey* ev, gpointer self);
  static void on_activate(GtkEntry*, gpointer self);
  static void on_paste(GtkEntry*, gpointer self);
  static void on_split(GObject*, GParamSpec*, gpointer self);
  static void on_allocate(GtkWidget* w, GtkAllocation*, gpointer self);
  static void on_break(GtkButton*, gpointer self);
  static void on_viewer_button(GtkButton*, gpointer self);
  static void on_editor_button(GtkButton*, gpointer self);
  static gboolean on_delete(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean on_configure(GtkWidget*, GdkEventConfigure* ev, gpointer self);
  static gboolean on_review_click(GtkWidget* tree, GdkEventButton* ev, gpointer self);
  static gboolean on_variable_click(GtkWidget* tree, GdkEventButton* ev, gpointer self);

  GtkWidget* window_ = nullptr;
  GtkWidget* entry_ = nullptr;
  GtkWidget* status_label_ = nullptr;
  GtkWidget* break_button_ = nullptr;
  GtkWidget* paned_ = nullptr;
  GtkWidget* review_view_ = nullptr;
  GtkWidget* vars_view_ = nullptr;
  GtkListStore* review_store_ = nullptr;
  GtkListStore* vars_store_ = nullptr;
  std::unique_ptr<LinePane> results_;
  std::unique_ptr<Viewer> viewer_;
  std::vector<std::unique_ptr<DoEditor>> editors_;
  std::vector<std::unique_ptr<GraphWindow>> graphs_;
  std::vector<std::string> graph_names_;  // beside graphs_: the graph each shows, or ""

  std::deque<int> keys_;
  std::string preinsert_;  // what the loop typed back into the line
  std::string long_line_;  // a pasted line longer than the entry holds
  std::vector<std::string> history_;
  size_t history_at_ = 0;  // == size(): past the newest line
  std::vector<VariableRow> shown_vars_;
  bool busy_ = false;
  bool waiting_ = false;
  // Parallel loops may poll from worker threads: the flag is atomic, and
  // only the thread that made the windows handles their events.
  std::atomic<bool> break_pending_{false};
  std::thread::id gui_thread_ = std::this_thread::get_id();
  bool closed_ = false;
  bool close_pending_ = false;  // an exit queued by closing the window while busy
  bool in_events_ = false;
  int more_key_ = kMoreIdle;
  std::string status_;
  Geometry main_geometry_;
  int split_ = 0;  // width of the review and variables column
  std::chrono::steady_clock::time_point last_events_{};
};

}  // namespace nuvra::gui
