// Settings kept between sessions in the preferences file: one "name value"
// pair a line.
#pragma once
#include <map>
#include <string>

namespace nuvra {

class Preferences {
 public:
  // The directory: $NUVRA_PREF_DIR, else $HOME/.nuvra10/<$DISPLAY or "gui">.
  static std::string default_directory();

  // Reads <dir>/nuvra10.rc, creating the directory when it is missing.
  // A missing or unreadable file leaves the defaults; false only when the
  // directory cannot be made.
  bool load(const std::string& dir);
  // Writes the file when a setting changed since load; the previous file
  // survives a failed write.
  bool save();

  const std::string* get(const std::string& name) const;
  void set(const std::string& name, const std::string& value);
  // Sets `name` only when the file did not give it.
  void set_default(const std::string& name, const std::string& value);
  bool loaded() const { return loaded_; }

 private:
  std::string path_;
  std::map<std::string, std::string> values_;
  bool dirty_ = false;
  bool loaded_ = false;
};

}  // namespace nuvra
