// The do-file editor: a plain text view over one file, with Open, Save,
// Do (the whole text) and Do selection.
#pragma once
#include <gtk/gtk.h>

#include <functional>
#include <string>

namespace nuvra::gui {

class DoEditor {
 public:
  // `run` gets a command line to submit; `scratch` is the file that text
  // not yet saved anywhere is written to before it runs.
  DoEditor(std::function<void(const std::string&)> run, std::string scratch);
  ~DoEditor();
  DoEditor(const DoEditor&) = delete;
  DoEditor& operator=(const DoEditor&) = delete;

  void show();
  // Loads a file; false (the text unchanged) when it cannot be read.
  bool load(const std::string& path);
  // An empty text that Save writes to `path`.
  void start_new(const std::string& path);
  // Untitled, empty and unmodified: free to take a file.
  bool blank() const;
  bool save_to(const std::string& path);
  // Runs the selection, or the whole text when nothing is selected.
  // False when the text could not be written out to run.
  bool run_selection();
  // Saves the file (when it has one) and runs it, else runs the text
  // through the scratch file.
  bool run_all();

  GtkWidget* window() const { return window_; }
  GtkTextBuffer* buffer() const { return buffer_; }
  const std::string& path() const { return path_; }

 private:
  bool run_text(const std::string& text);
  void set_path(const std::string& path);
  static void on_open(GtkButton*, gpointer self);
  static void on_save(GtkButton*, gpointer self);
  static void on_do(GtkButton*, gpointer self);
  static void on_do_selection(GtkButton*, gpointer self);
  static gboolean on_delete(GtkWidget*, GdkEvent*, gpointer self);

  std::function<void(const std::string&)> run_;
  std::string scratch_;
  std::string path_;
  GtkWidget* window_ = nullptr;
  GtkWidget* view_ = nullptr;
  GtkTextBuffer* buffer_ = nullptr;
};

// A path quoted for a command line.
std::string quoted_path(const std::string& path);

}  // namespace nuvra::gui
