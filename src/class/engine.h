// The class engine: classes read from class files, instances laid out by
// position after their prototypes, member lookup, copy and reference,
// contexts, freeing with destructors, dotted statements and the `class`
// command's subcommands.  It reaches the interpreter only through Host.
#pragma once
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/rc.h"
#include "class/host.h"
#include "class/scheme.h"
#include "class/store.h"

namespace nuvra::cls {

// Where an object sits: element `pos` of the array `holder` (holder null
// for an object reached by key only), and the key found there.
struct Slot {
  Key holder = kNullKey;
  int pos = 0;
  Key obj = kNullKey;
};

class Engine {
 public:
  explicit Engine(Host& host) : host_(host) {}
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  ObjectStore& store() { return store_; }
  const ObjectStore& store() const { return store_; }

  // A dotted statement: a line that starts with ".".
  rc_t Statement(std::string_view text);
  // The text that `.name' gives in macro expansion (`text` starts with ".").
  rc_t MacroText(std::string_view text, std::string* out);
  // The `class` command: a subcommand, a dotted statement, or a comment.
  rc_t Command(std::string_view line);
  // Describes the object named by a key ("__key(1f)" or hex digits) as
  // results through the host.
  rc_t Describe(std::string_view key_text);
  // The program context `id` has ended: its objects are freed.
  void EndContext(int id);

  // The classtype of `name`, reading its class file when it is not yet
  // defined.
  rc_t LoadClass(const std::string& name, Key* out);
  // Defines a class from the text of a class file (exposed for tests and
  // the fuzz target; LoadClass reads the file and calls this).
  rc_t DefineFromText(const std::string& name, std::string_view text);
  // A new instance of `cls`, running its `new` member program with `args`.
  rc_t NewInstance(const std::string& cls, std::string_view args, Key* out);
  // Resolves a dotted name (".a.b[2].c", "__key(1f).x").
  rc_t Resolve(std::string_view path, Slot* out, bool quiet = false);
  // The object a key reaches after following references.
  Key Deref(Key k) const;

  // The structural check of the store, plus: every object is reachable
  // from a context, a class or a running member program.
  std::string Check() const;
  // Frees whatever nothing reaches, running destructors first.
  void Collect();

  // Schemes.  A scheme named NAME is the file scheme-NAME.scheme found
  // along the ado path (in the system tree, ado/base/s/); it is read once
  // and kept.  The current scheme is
  // the one styles are read from: "default" until UseScheme picks another.
  //
  //   const Scheme* s = nullptr;
  //   if (engine.UseScheme("mine") == 0) s = engine.CurrentScheme();
  //   const std::string* v = s ? s->Lookup("textbox", "title", "size") : nullptr;
  //
  // FindScheme loads without making it current; a missing file is 4039, a
  // malformed one 198, each with its message printed.
  rc_t FindScheme(const std::string& name, const Scheme** out);
  rc_t UseScheme(const std::string& name);
  // Reads a scheme from text as though from its file (for tests and the
  // fuzz target); a name already read is 198.
  rc_t DefineScheme(const std::string& name, std::string_view text);
  // The current scheme, read on first use; null when its file is not found
  // (quietly) or is malformed (the error printed), so that styling falls
  // back to declared values.
  const Scheme* CurrentScheme();
  const std::string& CurrentSchemeName() const { return scheme_name_; }
  // Fills instance `inst` from the style `style` of its class (or its
  // nearest superclass with styles) in the current scheme; `_restyle`
  // again from the style its `styledex` indexes.  Problems are notes,
  // never errors: both return 0 unless the object is not an instance.
  rc_t SetStyle(Key inst, std::string_view style);
  rc_t Restyle(Key inst);

  // Objects the system keeps for the whole session (the graphs): named
  // top-level objects of the outermost context, which no program's end
  // frees.  KeepTopLevel puts `obj` (a new instance nothing holds yet)
  // there under `name`, in place of an instance of the same class of that
  // name, which is freed; 110, freeing `obj` and changing nothing else,
  // when `name` holds anything else.  DropTopLevel frees `obj`, whether
  // held there or by nothing at all.
  rc_t KeepTopLevel(const std::string& name, Key obj);
  void DropTopLevel(Key obj);
  // The top-level objects of the outermost context, in the order made.
  std::vector<Key> OutermostObjects() const;

  // True when class `sub` is `super` or inherits from it.
  bool IsA(Key sub_classtype, Key super_classtype) const;
  Key ClassOf(Key instance) const;
  std::string ClassName(Key instance) const;

 private:
  struct Segment {
    std::string name;  // empty for an index
    int index = 0;
  };
  rc_t ParsePath(std::string_view path, std::vector<Segment>* segs, Key* start_key) const;
  rc_t Unresolved(std::string_view path, bool quiet);
  // Member lookup on an instance, in the fixed order.
  Slot Member(Key inst, std::string_view name) const;
  Slot ClassAttribute(Key classtype, std::string_view name) const;
  Key MemberProgram(Key inst, std::string_view name) const;
  // The object `inst` is being copied from, or the null key when no copy
  // is making it.
  Key CopySourceOf(Key inst) const;
  Key ContextArray(int id);
  // Where new top-level objects go: the active context when one is set,
  // otherwise the running program's own.
  Key CurrentContextArray() {
    return ContextArray(active_context_ >= 0 && contexts_.count(active_context_) ? active_context_
                                                                                  : host_.ContextId());
  }
  Slot TopLevel(std::string_view name);

  rc_t Assign(std::string_view lhs, bool lhs_ref, std::string_view rhs);
  rc_t MakeValue(std::string_view rhs, Key* out);
  rc_t AssignRef(const Slot& dest, std::string_view rhs_path);
  rc_t StoreValue(Slot dest, Key value, bool top_level);
  rc_t Overwrite(Key dest, Key value);
  rc_t Copy(Key src, Key* out, int depth = 0);
  rc_t CallMember(Key inst, Key code, std::string_view args);
  rc_t Builtin(Key obj, std::string_view member, std::string_view args, std::string* value,
               bool* has_value);
  rc_t BuiltinOn(Key obj, std::string_view member, std::string_view args, std::string* value,
                 bool* has_value);
  rc_t Display(Key k);
  std::string ValueText(Key k) const;

  // Class files.
  rc_t ParseClassBody(const std::string& name, std::string_view text, Key classtype,
                      std::vector<std::string>* programs);
  // Declares `type name [= value]` as a new named element of `array`.
  rc_t Declare(Key array, std::string_view decl);

  // Subcommands.
  rc_t Subcommand(std::string_view line);
  rc_t StatementBody(std::string_view text);
  rc_t Free(std::string_view args);
  rc_t Inspect(std::string_view args);
  rc_t Summary();
  rc_t NewCommand(std::string_view args);
  rc_t Modify(std::string_view args);
  rc_t SetCommand(std::string_view args);
  rc_t NameOf(std::string_view args, bool local);
  rc_t TopLevelList(std::string_view args);
  rc_t SelfTest(std::string_view args);
  rc_t DumpStore(std::string_view args);
  rc_t ProgramDirectory(std::string_view args);
  rc_t UndoCommand(std::string_view args);
  // The shortest dotted name that reaches `target` from the top-level
  // objects (from `from` when it is an instance and the name is wanted
  // relative to it); empty when none does.
  std::string PathTo(Key target, Key from) const;
  // The holder array of every top-level context, current first.
  std::vector<Key> ContextArrays() const;
  // The context whose array holds `obj` at top level, or -1.
  int ContextHolding(Key obj) const;

  // The undo log.  A change to an attribute of an instance is recorded in
  // the `__LOG` array of its log owner (the instance itself unless `_lref`
  // or `allon` named another) while the owner's log level is above 0.
  // Each outermost command's changes to one log lie between "<BeginCmd>"
  // and "<EndCmd>" markers; an entry is the object the slot held before,
  // named "__key(owner-of-slot).attribute", so undo can put it back.
  void LogSlotChange(const Slot& slot, Key old_value);
  Key LogOwner(Key inst) const;
  Key LogArray(Key owner) const;
  int LogLevel(Key owner) const;
  // Undoes the last `count` command groups of the log of `owner`.
  rc_t UndoLog(Key owner, int count);
  // Undoes the latest `count` groups of whichever logs they are in.
  rc_t UndoRecent(int count);
  // Ends the group this command has open in the log of `owner`, if any.
  void CloseOpenGroup(Key owner);
  // The last `count` groups of `log` (fewer when it has fewer), latest
  // first, as positions of their begin and end markers; 4036 when the
  // markers do not pair.
  rc_t FindGroups(Key log, int count, std::vector<std::pair<int, int>>* groups) const;
  void ApplyGroups(Key owner, Key log, const std::vector<std::pair<int, int>>& groups);
  rc_t RestoreEntry(Key entry);
  void BeginCommand() { ++command_depth_; }
  void EndCommand();
  rc_t SetLogRefs(Key owner);

  // Styles.
  // Parses the text of scheme `name` and keeps it.
  rc_t KeepScheme(const std::string& name, std::string_view text, const Scheme** out);
  Key ClassStyleNames(Key classtype);
  rc_t StyleMember(Key inst, std::string_view member, std::string_view args, bool* handled);
  const StyleDef* FindStyleFor(Key classtype, std::string_view style, std::string* cls_used);
  void ReadStyle(Key inst, const StyleDef& def);
  void StyleNote(const std::string& text);
  void PrintLine(Style style, const std::string& text);
  rc_t Error(rc_t code, const std::string& text);

  Host& host_;
  ObjectStore store_;
  std::map<std::string, Key> classes_;
  std::map<int, Key> contexts_;
  std::set<std::string> loading_;
  std::vector<Key> this_stack_;
  // The copies in progress: the source of each, and the new instance its
  // oncopy program runs on.
  std::vector<Key> copy_src_stack_;
  std::vector<Key> copy_dst_stack_;
  std::vector<Key> pinned_;  // objects being built, kept from the collector
  // Takes the last `n` keys off pinned_; `sweeps` is sweeps_ when they went on.
  void Unpin(size_t n, uint64_t sweeps) {
    pinned_.resize(pinned_.size() - n);
    if (sweeps != sweeps_) dirty_ = true;
  }
  // Undo log state.
  std::map<Key, int> log_levels_;
  std::map<Key, Key> log_refs_;
  std::vector<Key> open_logs_;   // logs with a group open in this command
  std::vector<Key> log_history_; // owners in the order their groups closed
  int command_depth_ = 0;
  bool undoing_ = false;
  bool logs_declared_ = false;
  // The context new top-level objects go to instead of the running
  // program's own, after `_set_to_active_context`.
  int active_context_ = -1;
  // Schemes read so far, and the current one.
  std::map<std::string, Scheme> schemes_;
  std::set<std::string> schemes_loading_;
  std::string scheme_name_ = "default";
  bool collecting_ = false;
  bool dirty_ = false;
  // Sweeps done so far: an object unpinned after a sweep it was kept
  // through may be garbage now, so the next Collect must look.
  uint64_t sweeps_ = 0;
  int uname_counter_ = 0;
};

// The built-in members every object has after a dot.
bool IsBuiltinMember(std::string_view name);

// Splits "path rest" at the first blank or "=" outside brackets; `rest`
// comes without its leading blanks.
void SplitPath(std::string_view text, std::string_view* path, std::string_view* rest);

}  // namespace nuvra::cls
