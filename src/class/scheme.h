// Schemes: named sets of styles, and styles: named sets of default
// attribute values for the instances of one class.  A scheme file reads
//
//   * a comment
//   scheme NAME [, inherit(PARENT)]
//   style CLASS STYLENAME {
//       attribute value
//       attribute.member "a string value"
//   }
//
// A value is the rest of the line after the attribute name, without the
// double quotes around it when it has them.  A scheme that inherits starts
// as a copy of its parent; a style it declares again replaces the parent's
// value attribute by attribute and keeps the others.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/rc.h"

namespace nuvra::cls {

struct StyleEntry {
  std::string attribute;  // an attribute name, or a dotted path below one
  std::string value;
};

struct StyleDef {
  std::string name;
  std::vector<StyleEntry> entries;  // in file order
  // The value given for `attribute`, or null.
  const std::string* Find(std::string_view attribute) const;
};

struct Scheme {
  std::string name;
  std::string parent;  // empty when it inherits from none
  // The styles of each class, in the order they were first declared.
  std::map<std::string, std::vector<StyleDef>, std::less<>> classes;

  const StyleDef* FindStyle(std::string_view cls, std::string_view style) const;
  // The names of the styles of `cls`, in order (empty when it has none).
  std::vector<std::string> StyleNames(std::string_view cls) const;
  // The value of `attribute` in style `style` of class `cls`, or null.
  const std::string* Lookup(std::string_view cls, std::string_view style,
                            std::string_view attribute) const;
};

// Reads the text of a scheme file into `out`.  `load_parent` gives the
// scheme named by `inherit()`.  A malformed file is 198 with `error` set to
// what is wrong and on which line; a parent that cannot be had is the code
// load_parent returned.
rc_t ParseScheme(std::string_view text,
                 const std::function<rc_t(const std::string&, const Scheme**)>& load_parent,
                 Scheme* out, std::string* error);

// "scheme-NAME.scheme": the file a scheme is read from.
std::string SchemeFileName(std::string_view name);

}  // namespace nuvra::cls
