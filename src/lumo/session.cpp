// Running typed Lumo text.
#include "lumo/session.h"

#include <cstdio>

#include "lumo/disasm.h"
#include "lumo/object_file.h"
#include "lumo/structdef.h"

namespace nuvra::lumo {

Session::Outcome Session::Run(std::string_view text, rc_t* rc) {
  *rc = 0;
  CompiledUnit unit;
  switch (compiler_.Compile(text, &unit)) {
    case CompileStatus::kIncomplete: return Outcome::kIncomplete;
    case CompileStatus::kError: *rc = kCompileError; return Outcome::kDone;
    case CompileStatus::kBreak: *rc = kStatusBreak; return Outcome::kDone;
    case CompileStatus::kOk: break;
  }
  if (unit.is_definition) return Outcome::kDone;
  char name[32];
  std::snprintf(name, sizeof name, "<istmt%d>", nesting);
  FunctionRecord* f = values_.NewStatementFunction(name, std::move(unit.code));
  if (!f) {
    host_.Print(Style::Error, "unable to allocate function\n");
    *rc = 3900;
    return Outcome::kDone;
  }
  *rc = machine_.RunStatement(f);
  // Records that nothing holds after a failed statement are swept, unless
  // the failure was a silent stop.
  if (*rc != 0 && nesting <= 1) values_.Sweep();
  return Outcome::kDone;
}

FunctionRecord* Session::DefineFromObjectFile(std::string_view name) {
  std::string path;
  if (!host_.FindOnPath(std::string(name) + ".mo", &path)) return nullptr;
  ObjectFunction obj;
  std::string message;
  if (ReadObjectFile(path, &obj, &message) != 0) {
    host_.Print(Style::Error, message + "\n");
    return nullptr;
  }
  if (obj.name != name) {
    host_.Print(Style::Error, path + " holds " + obj.name + "(), not " + std::string(name) + "()\n");
    return nullptr;
  }
  if (DefineObject(values_, std::move(obj)) != 0) return nullptr;
  FunctionRecord* f = values_.FindFunction(name);
  if (f) {
    values_.MarkAutoloaded(f);
    libraries_.NoteOrigin(name, path.substr(path.rfind('/') + 1));
  }
  return f;
}

std::string Session::DisassembleText(std::string_view text, bool* incomplete) {
  *incomplete = false;
  CompiledUnit unit;
  switch (compiler_.Compile(text, &unit, false)) {
    case CompileStatus::kIncomplete: *incomplete = true; return "";
    case CompileStatus::kError:
    case CompileStatus::kBreak: return "";
    case CompileStatus::kOk: break;
  }
  return Disassemble(unit.code);
}

std::string Session::DisassembleFunction(std::string_view name) const {
  const FunctionRecord* f = values_.FindFunction(name);
  if (!f) return "";
  if (IsStructDef(f)) {
    // A structure definition holds its members, not code.
    std::string out = "struct " + std::string(f->name) + "\n";
    for (const MemberDecl& m : DecodeMembers(f)) {
      std::string el = m.el == kCtStruct && !m.struct_name.empty() ? "struct " + m.struct_name : ct_el_name(m.el);
      out += "    " + el + " " + ct_org_name(m.org) + " " + m.name + "\n";
    }
    return out;
  }
  return Disassemble(f->code(), f->code_words());
}

}  // namespace nuvra::lumo
