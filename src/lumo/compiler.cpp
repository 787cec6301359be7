// The Lumo compiler: statements by their first token, expressions by
// splitting the token range at the loosest operator, code emitted as
// 32-bit words with branch points patched at the end.
#include "lumo/compiler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "data/missing.h"
#include "lumo/builtins.h"
#include "lumo/lexer.h"
#include "lumo/opcodes.h"
#include "lumo/structdef.h"
#include "lumo/symbols.h"

namespace nuvra::lumo {

namespace {

enum class Rule { Join, Range, Logical, Equality, Ordering, Addition, Subtraction, Multiplication, Division };

struct BinaryRow {
  int tok;
  int op;
  Rule rule;
  const char* text;
};

// Loosest first; assignment and the conditional come before these.
constexpr BinaryRow kBinary[] = {
    {'\\', k_rowjoin, Rule::Join, "\\"},          {kTokColonColon, k_colrange, Rule::Range, "::"},
    {',', k_coljoin, Rule::Join, ","},            {kTokDotDot, k_rowrange, Rule::Range, ".."},
    {kTokColonOr, k_colonor, Rule::Logical, ":|"}, {'|', k_or, Rule::Logical, "|"},
    {kTokColonAnd, k_colonand, Rule::Logical, ":&"}, {'&', k_and, Rule::Logical, "&"},
    {kTokColonEqEq, k_coloneq, Rule::Equality, ":=="}, {kTokEqEq, k_eq, Rule::Equality, "=="},
    {kTokColonGe, k_colonge, Rule::Ordering, ":>="}, {kTokGe, k_ge, Rule::Ordering, ">="},
    {kTokColonLe, k_colonle, Rule::Ordering, ":<="}, {kTokLe, k_le, Rule::Ordering, "<="},
    {kTokColonLt, k_colonlt, Rule::Ordering, ":<"}, {'<', k_lt, Rule::Ordering, "<"},
    {kTokColonGt, k_colongt, Rule::Ordering, ":>"}, {'>', k_gt, Rule::Ordering, ">"},
    {kTokColonNotEq, k_colonne, Rule::Equality, ":!="}, {kTokNotEq, k_ne, Rule::Equality, "!="},
    {kTokColonAdd, k_colonadd, Rule::Addition, ":+"}, {'+', k_add, Rule::Addition, "+"},
    {kTokColonSub, k_colonsub, Rule::Subtraction, ":-"}, {'-', k_sub, Rule::Subtraction, "-"},
    {kTokColonMul, k_colonmul, Rule::Multiplication, ":*"}, {'*', k_mul, Rule::Multiplication, "*"},
    {'#', k_kron, Rule::Division, "#"},           {kTokColonDiv, k_colondiv, Rule::Division, ":/"},
    {'/', k_div, Rule::Division, "/"},
};

constexpr int kMaxBranchPoints = 500;
constexpr int kMaxPostponed = 8;
constexpr int kMaxNesting = 499;
constexpr size_t kMaxTokens = 500;

bool IsElWord(int c) {
  return c == kTokW_transmorphic || c == kTokW_numeric || c == kTokW_real || c == kTokW_complex ||
         c == kTokW_string || c == kTokW_pointer || c == kTokW_struct;
}
bool IsOrgWord(int c) {
  return c == kTokW_matrix || c == kTokW_vector || c == kTokW_rowvector || c == kTokW_colvector ||
         c == kTokW_scalar || c == kTokW_void;
}
int ElOf(int c) {
  switch (c) {
    case kTokW_real: return kCtReal;
    case kTokW_string: return kCtString;
    case kTokW_complex: return kCtComplex;
    case kTokW_numeric: return kCtNumeric;
    case kTokW_pointer: return kCtPointer;
    case kTokW_struct: return kCtStruct;
    default: return kCtTransmorphic;
  }
}
int OrgOf(int c) {
  switch (c) {
    case kTokW_scalar: return kOrgScalar;
    case kTokW_vector: return kOrgVector;
    case kTokW_rowvector: return kOrgRowvector;
    case kTokW_colvector: return kOrgColvector;
    case kTokW_void: return kOrgVoid;
    default: return kOrgMatrix;
  }
}

// Appends a name or string as a word count and NUL-padded words.
void AppendBytes(std::vector<int32_t>& code, std::string_view s) {
  size_t words = s.size() / 4 + 1;
  code.push_back(int32_t(words));
  size_t at = code.size();
  code.resize(at + words, 0);
  std::memcpy(&code[at], s.data(), s.size());
}

struct BranchPoint {
  std::string label;
  int target = -1;  // body word index, -1 while unresolved
  std::vector<size_t> refs;
};

struct ArgDecl {
  std::string name;
  std::string struct_name;
  int el = kCtTransmorphic;
  int org = kOrgMatrix;
  bool optional = false;
};

struct LiteralFix {
  size_t pos;
  bool is_string;
  int index;
};

struct ExprInfo {
  int type = 0;
  bool assignment = false;
  bool increment = false;
  bool is_void = false;
};

// One function (or statement function) being compiled.
class FnCompiler {
 public:
  FnCompiler(Host& host, Values& values, const std::vector<Token>& toks, bool statement, bool record_lines)
      : host_(host), values_(values), t_(toks), statement_(statement), record_lines_(record_lines),
        types_(host), lits_(host), syms_(host) {
    MatchBrackets();
  }

  // statements... until the end of the tokens
  void CompileStatements(size_t from) {
    pos_ = from;
    exit_bp_ = NewBranchPoint("");
    while (Cur().code != kTokEnd) Statement();
  }

  // [type] [function] name ( args ) { statements }
  void CompileDefinition(std::string* name_out, int8_t* el_out, int8_t* org_out) {
    pos_ = 0;
    int el = kCtTransmorphic, org = kOrgMatrix;
    bool typed = false;
    while (IsElWord(Cur().code) || IsOrgWord(Cur().code)) {
      if (IsElWord(Cur().code)) el = ElOf(Cur().code);
      else org = OrgOf(Cur().code);
      typed = true;
      Advance();
      SkipPointerTarget();
    }
    if (Cur().code == kTokW_function) Advance();
    else if (!typed) Expected("function");
    if (Cur().code != kTokName) Expected("name");
    std::string name = Cur().text;
    Advance();
    // A declaration where only definitions may begin.
    int after = Cur().code;
    if (after == kTokNewline || after == kTokEnd || after == ',' || after == ';')
      CompileFail(host_, "type declaration required\n");
    if (Cur().code != '(') Expected("'('");
    size_t close = Match(pos_);
    ParseArguments(pos_ + 1, close);
    pos_ = close + 1;
    SkipNewlines();
    if (Cur().code != '{') Expected("'{'");
    size_t body_end = Match(pos_);
    exit_bp_ = NewBranchPoint("");
    Advance();
    while (pos_ < body_end) Statement();
    pos_ = body_end + 1;
    SkipNewlines();
    if (Cur().code != kTokEnd) Expected("nothing");
    if (FindBuiltin(name)) CompileFail(host_, name + "() is built-in\n");
    if (values_.FindFunction(name)) CompileFail(host_, name + "() already exists\n");
    *name_out = name;
    *el_out = int8_t(el);
    *org_out = int8_t(org);
  }

  std::vector<int32_t> Finish() {
    Emit(k_void);
    DefineHere(exit_bp_);
    Emit(k_ret);
    ResolveBranches();
    Optimize();
    std::vector<int32_t> pro = Prologue();
    int32_t offset = int32_t(kCodeHeaderWords + pro.size());
    for (size_t p : jump_fixups_) body_[p] += offset;
    std::vector<int32_t> code;
    code.push_back(int32_t(syms_.nargs));
    int required = 0;
    for (const ArgDecl& a : args_)
      if (!a.optional) ++required;
    code.push_back(required);
    code.insert(code.end(), pro.begin(), pro.end());
    size_t body_at = code.size();
    code.insert(code.end(), body_.begin(), body_.end());
    // The constant pools follow the code; literal operands are word
    // offsets into them.
    std::vector<size_t> double_at, string_at;
    if (!lits_.doubles().empty()) {
      code.push_back(k_realpool);
      code.push_back(int32_t(lits_.doubles().size()));
      for (double d : lits_.doubles()) {
        double_at.push_back(code.size());
        int32_t w[2];
        std::memcpy(w, &d, 8);
        code.push_back(w[0]);
        code.push_back(w[1]);
      }
    }
    if (!lits_.strings().empty()) {
      code.push_back(k_stringpool);
      code.push_back(int32_t(lits_.strings().size()));
      for (const std::string& s : lits_.strings()) {
        string_at.push_back(code.size());
        AppendBytes(code, s);
      }
    }
    for (const LiteralFix& f : lit_fixes_)
      code[body_at + f.pos] = int32_t(f.is_string ? string_at[size_t(f.index)] : double_at[size_t(f.index)]);
    return code;
  }

  void Notes() {
    for (size_t k = 0; k < syms_.size(); ++k) {
      const LocalSymbol& s = syms_.at(int(k));
      if (s.kind == 2 || s.cls == SymClass::External) continue;
      const char* what = s.cls == SymClass::Argument ? "argument " : "variable ";
      const char* finding = nullptr;
      if (!s.used && !s.set && !s.pragma_unused) finding = " unused\n";
      else if (s.set && !s.used && !s.pragma_unused) finding = " set but not used\n";
      // A structure scalar is always made at entry, never unset.
      else if (s.usedbeforeset && s.cls != SymClass::Argument && !s.pragma_unset &&
               !(types_.at(s.type).el == kCtStruct && types_.at(s.type).org == kOrgScalar))
        finding = " may be used before set\n";
      if (finding) host_.Print(Style::Text, std::string("note: ") + what + s.name + finding);
    }
  }

 private:
  // ---- tokens
  const Token& Cur() const { return At(pos_); }
  const Token& At(size_t k) const {
    static const Token kEnd{};
    return k < t_.size() ? t_[k] : kEnd;
  }
  void Advance() {
    if (pos_ < t_.size()) ++pos_;
  }
  void SkipNewlines() {
    while (Cur().code == kTokNewline) Advance();
  }
  [[noreturn]] void Expected(const char* what) {
    if (Cur().code == kTokEnd) throw CompileIncomplete{};
    CompileFail(host_, TokenDescription(Cur()) + " found where " + what + " expected\n");
  }
  void Expect(int code, const char* what) {
    if (Cur().code != code) Expected(what);
    Advance();
  }
  // Matching closer of the opener at k (the end of the text when the
  // text ends first, which makes the unit incomplete).
  size_t Match(size_t k) const {
    if (match_[k] < 0) throw CompileIncomplete{};
    return size_t(match_[k]);
  }
  void MatchBrackets() {
    match_.assign(t_.size(), -1);
    std::vector<size_t> open;
    for (size_t k = 0; k < t_.size(); ++k) {
      int c = t_[k].code;
      if (c == '(' || c == '[' || c == kTokRangeOpen || c == '{') {
        open.push_back(k);
      } else if (c == ')' || c == ']' || c == kTokRangeClose || c == '}') {
        if (open.empty()) continue;  // reported by the bracket check
        size_t o = open.back();
        int oc = t_[o].code;
        bool pairs = (oc == '(' && c == ')') || (oc == '[' && c == ']') || (oc == kTokRangeOpen && c == kTokRangeClose) ||
                     (oc == '{' && c == '}');
        if (!pairs) continue;
        open.pop_back();
        match_[o] = int(k);
        match_[k] = int(o);
      }
    }
  }
  void SkipPointerTarget() {
    if (Cur().code == '(' && pos_ > 0 && At(pos_ - 1).code == kTokW_pointer) pos_ = Match(pos_) + 1;
  }

  // ---- emission
  void Emit(int32_t op) { body_.push_back(op); }
  void Emit(int32_t op, int32_t a) {
    body_.push_back(op);
    body_.push_back(a);
  }
  void Emit(int32_t op, int32_t a, int32_t b) {
    body_.push_back(op);
    body_.push_back(a);
    body_.push_back(b);
  }
  int NewBranchPoint(std::string label) {
    if (bps_.size() >= size_t(kMaxBranchPoints)) CompileFail(host_, "too many branch points\n");
    bps_.push_back(BranchPoint{std::move(label), -1, {}});
    return int(bps_.size() - 1);
  }
  void EmitJump(int32_t op, int bp) {
    body_.push_back(op);
    bps_[size_t(bp)].refs.push_back(body_.size());
    body_.push_back(0);
  }
  void DefineHere(int bp) {
    bps_[size_t(bp)].target = int(body_.size());
    label_at_ = body_.size();
  }
  void EmitLiteral(int32_t op, bool is_string, int index) {
    body_.push_back(op);
    lit_fixes_.push_back(LiteralFix{body_.size(), is_string, index});
    body_.push_back(0);
  }
  void ResolveBranches() {
    for (BranchPoint& b : bps_) {
      if (b.target < 0) {
        if (b.label.empty()) CompileFail(host_, "system error:  UDpaddr\n");
        CompileFail(host_, b.label + " undefined tag\n");
      }
      for (size_t r : b.refs) {
        body_[r] = b.target;
        jump_fixups_.push_back(r);
      }
    }
  }
  // Jumps to jumps go straight to the final target.
  void Optimize() {
    for (size_t pc = 0; pc < body_.size();) {
      int32_t op = body_[pc];
      const OpcodeInfo& info = opcode_info(op);
      if (!info.name) {
        host_.Print(Style::Error, "optimize:  unterminated block not optimized\n");
        return;
      }
      if (op == k_jump || op == k_jumpiffalse || op == k_jumpifnot) {
        int32_t target = body_[pc + 1];
        int links = 0;
        while (size_t(target) < body_.size() && body_[size_t(target)] == k_jump && body_[size_t(target) + 1] != target) {
          target = body_[size_t(target) + 1];
          if (++links > 10000) {
            host_.Print(Style::Text, "optimizer:  too many recursive goto's\n            (program probably contains endless loop)\n");
            return;
          }
        }
        body_[pc + 1] = target;
      }
      pc += InstructionWords(pc);
    }
  }
  size_t InstructionWords(size_t pc) const {
    switch (opcode_info(body_[pc]).shape) {
      case Shape::None: return 1;
      case Shape::Word: return 2;
      case Shape::Words2: return 3;
      case Shape::Words3: return 4;
      case Shape::Bytes: return 2 + size_t(body_[pc + 1]);
      case Shape::WordBytes: return 3 + size_t(body_[pc + 2]);
      case Shape::FuncRef: return 5 + size_t(body_[pc + 4]);
      default: return 1;
    }
  }
  std::vector<int32_t> Prologue() {
    std::vector<int32_t> pro;
    for (size_t k = 0; k < args_.size(); ++k) {
      const ArgDecl& a = args_[k];
      if (!a.optional) continue;
      pro.push_back(OptionalOpcode(a));
      pro.push_back(int32_t(k + 1));
      AppendBytes(pro, a.name);
    }
    if (!statement_) {
      pro.push_back(k_count);
      pro.push_back(int32_t(args_.size()));
    }
    for (size_t k = size_t(syms_.nargs); k < syms_.size(); ++k) {
      const LocalSymbol& s = syms_.at(int(k));
      if (s.kind == 2) {
        pro.push_back(k_function);
        pro.insert(pro.end(), {0, 0, 0});
        AppendBytes(pro, std::string_view(s.name).substr(0, s.name.size() - 2));
      } else if (s.cls == SymClass::External) {
        pro.push_back(k_external);
        pro.push_back(s.set && !s.usedbeforeset ? 1 : 0);
        AppendBytes(pro, s.name);
      } else {
        int el = types_.at(s.type).el;
        pro.push_back(el == kCtComplex ? k_newcomplex : el == kCtString ? k_newstring : el == kCtPointer ? k_newpointer : el == kCtStruct ? k_newstruct : k_newreal);
        AppendBytes(pro, s.name);
        // A structure scalar starts as an instance of its structure.
        std::string sname = types_.StructName(s.type);
        if (el == kCtStruct && types_.at(s.type).org == kOrgScalar && !sname.empty()) {
          pro.push_back(k_instance);
          AppendBytes(pro, sname);
        }
      }
    }
    return pro;
  }
  int32_t OptionalOpcode(const ArgDecl& a) {
    int col = a.el == kCtComplex ? 1 : a.el == kCtString ? 2 : a.el == kCtPointer ? 3 : a.el == kCtStruct ? 4 : 0;
    static const int32_t kMatrix[] = {122, 123, 124, 134, 147};
    static const int32_t kRow[] = {125, 126, 127, 135, 148};
    static const int32_t kCol[] = {128, 129, 130, 136, 149};
    static const int32_t kScalar[] = {131, 132, 133, 137, 0};
    switch (a.org) {
      case kOrgVector:
      case kOrgRowvector: return kRow[col];
      case kOrgColvector: return kCol[col];
      case kOrgScalar: return kScalar[col];
      default: return kMatrix[col];
    }
  }

  // ---- declarations
  void ParseArguments(size_t lo, size_t hi) {
    bool optional = false;
    size_t k = lo;
    while (k < hi) {
      while (k < hi && At(k).code == kTokNewline) ++k;
      if (k >= hi) break;
      if (At(k).code == '|') {
        optional = true;
        ++k;
        continue;
      }
      ArgDecl a;
      a.optional = optional;
      bool is_function = false;
      while (k < hi && (IsElWord(At(k).code) || IsOrgWord(At(k).code) || At(k).code == kTokW_function)) {
        int c = At(k).code;
        if (c == kTokW_function) is_function = true;
        else if (IsElWord(c)) a.el = ElOf(c);
        else a.org = OrgOf(c);
        ++k;
        if (c == kTokW_pointer && At(k).code == '(') k = size_t(match_[k] < 0 ? int(hi) : match_[k]) + 1;
        if (c == kTokW_struct && StructNameAt(k)) a.struct_name = At(k++).text;
      }
      if (At(k).code != kTokName) {
        pos_ = k;
        Expected("name");
      }
      a.name = At(k).text;
      ++k;
      if (is_function && optional) CompileFail(host_, "function arguments cannot be optional\n");
      if (optional && a.el == kCtStruct && a.org == kOrgScalar)
        CompileFail(host_,
                    "{p 0 4 2}\nstruct scalars may not be received as optional arguments.{break}\n"
                    "Remove the qualifier -scalar- from the argument's declaration.\n"
                    "Now, if the argument is not passed, you will receive a 0 x 0\n"
                    "struct and, if necessary, you can allocate it yourself.\n{p_end}\n");
      int s = syms_.Add(a.name, SymClass::Argument, 0, DeclaredType(a.el, a.org, a.struct_name), true);
      if (size_t(s) != args_.size()) CompileFail(host_, "symbol " + a.name + " multiply defined\n");
      args_.push_back(a);
      while (k < hi && At(k).code == kTokNewline) ++k;
      if (k < hi && At(k).code == ',') ++k;
      else if (k < hi && At(k).code != '|') {
        pos_ = k;
        Expected("',' or ')'");
      }
    }
    syms_.nargs = int(args_.size());
  }

  // type names, ...
  // After `struct`: the structure's name, when one follows (a name
  // followed by another name or an organisation).
  bool StructNameAt(size_t k) const {
    return At(k).code == kTokName && (At(k + 1).code == kTokName || IsOrgWord(At(k + 1).code));
  }
  int DeclaredType(int el, int org, const std::string& struct_name) {
    if (el == kCtStruct && !struct_name.empty()) return types_.Struct(struct_name, org, false);
    return types_.Plain(el, org);
  }

  void Declaration(bool external) {
    int el = kCtTransmorphic, org = kOrgMatrix;
    std::string struct_name;
    while (IsElWord(Cur().code) || IsOrgWord(Cur().code)) {
      int c = Cur().code;
      if (IsElWord(c)) el = ElOf(c);
      else org = OrgOf(c);
      Advance();
      SkipPointerTarget();
      if (c == kTokW_struct && StructNameAt(pos_)) {
        struct_name = Cur().text;
        Advance();
      }
    }
    if (Cur().code == kTokW_function) CompileFail(host_, "function declarations are not yet available\n");
    int type = DeclaredType(el, org, struct_name);
    for (;;) {
      if (Cur().code != kTokName) Expected("name");
      std::string name = Cur().text;
      if (external) {
        syms_.Add(name, SymClass::External, 0, type, true);
      } else {
        int k = syms_.Find(name);
        if (k >= 0 && syms_.at(k).cls == SymClass::Argument) CompileFail(host_, "symbol " + name + " multiply defined\n");
        syms_.Add(name, SymClass::Declared, 0, type, true);
      }
      Advance();
      if (Cur().code != ',') break;
      Advance();
    }
    EndOfStatement();
  }

  void EndOfStatement() {
    int c = Cur().code;
    if (c == kTokNewline || c == ';') Advance();
    else if (c != kTokEnd && c != '}') Expected("nothing");
  }

  // ---- statements
  void Statement() {
    if (host_.PollBreak()) {
      host_.Print(Style::Error, "--Break--\n");
      throw CompileBreak{};
    }
    if (++nesting_ > kMaxNesting) CompileFail(host_, "expression too long\n");
    StatementBody();
    --nesting_;
  }

  void StatementBody() {
    const Token& tok = Cur();
    if (record_lines_ && tok.code != kTokNewline && tok.code != kTokEnd) Emit(k_line, tok.line);
    switch (tok.code) {
      case kTokEnd: throw CompileIncomplete{};
      case kTokNewline:
      case ';': Advance(); return;
      case '{': {
        size_t close = Match(pos_);
        Advance();
        while (pos_ < close) Statement();
        pos_ = close + 1;
        return;
      }
      case kTokW_if: return IfStatement();
      case kTokW_while: return WhileStatement();
      case kTokW_do: return DoStatement();
      case kTokW_for: return ForStatement();
      case kTokW_break:
      case kTokW_continue: {
        int bp = tok.code == kTokW_break ? break_bp_ : continue_bp_;
        if (bp < 0) CompileFail(host_, "misplaced break or continue\n");
        Advance();
        EmitJump(k_jump, bp);
        EndOfStatement();
        return;
      }
      case kTokW_goto: {
        Advance();
        if (Cur().code != kTokName) Expected("name");
        EmitJump(k_jump, Label(Cur().text));
        Advance();
        EndOfStatement();
        return;
      }
      case kTokW_return: return ReturnStatement();
      case kTokW_version: {
        Advance();
        if (Cur().code != kTokNumber || Cur().number <= 0 || Cur().number >= 1000) CompileFail(host_, "version number invalid\n");
        Advance();
        EndOfStatement();
        return;
      }
      case kTokW_pragma: {
        Advance();
        bool unused = Cur().code == kTokName && Cur().text == "unused";
        bool unset = Cur().code == kTokName && Cur().text == "unset";
        if (!unused && !unset) CompileFail(host_, "invalid pragma\n");
        Advance();
        if (Cur().code != kTokName) CompileFail(host_, "invalid pragma\n");
        int k = syms_.Find(Cur().text);
        if (k < 0) k = syms_.Add(Cur().text, statement_ ? SymClass::External : SymClass::Undeclared, 0, types_.Plain(0, 0), false);
        if (unused) syms_.at(k).pragma_unused = true;
        else syms_.at(k).pragma_unset = true;
        Advance();
        EndOfStatement();
        return;
      }
      case kTokW_external:
        if (statement_) CompileFail(host_, "type declaration required\n");
        Advance();
        return Declaration(true);
      default: break;
    }
    if (IsElWord(tok.code) || IsOrgWord(tok.code)) {
      if (statement_) CompileFail(host_, "type declaration required\n");
      return Declaration(false);
    }
    if (tok.code == kTokName && At(pos_ + 1).code == ':') {
      const std::string& name = tok.text;
      if (name.size() > 7) CompileFail(host_, name + ":  tag name too long\n");
      int bp = Label(name);
      if (bps_[size_t(bp)].target >= 0) CompileFail(host_, name + ":  tag multiply defined\n");
      DefineHere(bp);
      pos_ += 2;
      return;
    }
    ExpressionStatement();
  }

  int Label(const std::string& name) {
    for (size_t k = 0; k < bps_.size(); ++k)
      if (bps_[k].label == name) return int(k);
    return NewBranchPoint(name);
  }

  // The end of the expression that starts at pos_: a new line, ';' or a
  // '}' at bracket depth 0.
  size_t ExpressionEnd(size_t from) const {
    size_t k = from;
    while (k < t_.size()) {
      int c = t_[k].code;
      if (c == kTokNewline || c == ';' || c == '}') break;
      if ((c == '(' || c == '[' || c == kTokRangeOpen || c == '{') && match_[k] >= 0) {
        k = size_t(match_[k]) + 1;
        continue;
      }
      ++k;
    }
    return k;
  }

  void ExpressionStatement() {
    size_t lo = pos_, hi = ExpressionEnd(pos_);
    bool is_void = false;
    if (At(lo).code == '(' && At(lo + 1).code == kTokW_void && At(lo + 2).code == ')') {
      is_void = true;
      lo += 3;
    }
    ExprInfo e = TopExpr(lo, hi, true);
    if (!(e.assignment || e.increment || is_void || e.is_void)) Emit(k_display);
    PopResult();
    pos_ = hi;
    EndOfStatement();
    FlushPostponed();
  }

  // Pops the statement's value; a store followed by its pop becomes one
  // instruction.
  void PopResult() {
    if (body_.size() >= 2 && body_[body_.size() - 2] == k_store && label_at_ != body_.size() && last_op_at_ == body_.size() - 2) {
      body_[body_.size() - 2] = k_storepop;
      return;
    }
    Emit(k_pop);
  }

  void FlushPostponed() {
    for (auto [op, slot] : postponed_) Emit(op, slot);
    postponed_.clear();
  }

  // ( expr )
  std::pair<size_t, size_t> Condition() {
    SkipNewlines();
    if (Cur().code != '(') Expected("'('");
    size_t close = Match(pos_);
    std::pair<size_t, size_t> r{pos_ + 1, close};
    pos_ = close + 1;
    return r;
  }

  void CompileCondition(std::pair<size_t, size_t> r) {
    TopExpr(r.first, r.second, true);
    FlushPostponed();
  }

  // if ( expr ) statement [ else statement ]
  void IfStatement() {
    Advance();
    auto cond = Condition();
    CompileCondition(cond);
    int else_bp = NewBranchPoint("");
    EmitJump(k_jumpiffalse, else_bp);
    SkipNewlines();
    Statement();
    size_t save = pos_;
    SkipNewlines();
    if (Cur().code == kTokW_else) {
      Advance();
      int end_bp = NewBranchPoint("");
      EmitJump(k_jump, end_bp);
      DefineHere(else_bp);
      SkipNewlines();
      Statement();
      DefineHere(end_bp);
    } else {
      pos_ = save;
      DefineHere(else_bp);
    }
  }

  struct LoopSave {
    int brk, cont;
  };
  LoopSave EnterLoop(int brk, int cont) {
    LoopSave s{break_bp_, continue_bp_};
    break_bp_ = brk;
    continue_bp_ = cont;
    return s;
  }
  void LeaveLoop(LoopSave s) {
    break_bp_ = s.brk;
    continue_bp_ = s.cont;
  }

  // while ( expr ) statement
  void WhileStatement() {
    Advance();
    int top = NewBranchPoint(""), brk = NewBranchPoint("");
    DefineHere(top);
    CompileCondition(Condition());
    EmitJump(k_jumpiffalse, brk);
    LoopSave s = EnterLoop(brk, top);
    SkipNewlines();
    Statement();
    LeaveLoop(s);
    EmitJump(k_jump, top);
    DefineHere(brk);
  }

  // do statement while ( expr )
  void DoStatement() {
    Advance();
    int top = NewBranchPoint(""), cont = NewBranchPoint(""), brk = NewBranchPoint("");
    DefineHere(top);
    LoopSave s = EnterLoop(brk, cont);
    SkipNewlines();
    Statement();
    LeaveLoop(s);
    SkipNewlines();
    if (Cur().code != kTokW_while) Expected("'while'");
    Advance();
    DefineHere(cont);
    CompileCondition(Condition());
    EmitJump(k_jumpiffalse, brk);
    EmitJump(k_jump, top);
    DefineHere(brk);
    EndOfStatement();
  }

  // for ( init ; cond ; step ) statement
  void ForStatement() {
    Advance();
    auto [lo, hi] = Condition();
    size_t semi[2];
    int found = 0;
    for (size_t k = lo; k < hi && found < 2;) {
      int c = t_[k].code;
      if (c == ';') semi[found++] = k;
      if ((c == '(' || c == '[' || c == kTokRangeOpen) && match_[k] >= 0) k = size_t(match_[k]);
      ++k;
    }
    if (found < 2) {
      pos_ = hi;
      Expected("';'");
    }
    if (semi[0] > lo) {
      TopExpr(lo, semi[0], true);
      PopResult();
      FlushPostponed();
    }
    int test = NewBranchPoint(""), body = NewBranchPoint(""), step = NewBranchPoint(""), brk = NewBranchPoint("");
    DefineHere(test);
    if (semi[1] > semi[0] + 1) {
      CompileCondition({semi[0] + 1, semi[1]});
      EmitJump(k_jumpiffalse, brk);
    }
    EmitJump(k_jump, body);
    DefineHere(step);
    if (hi > semi[1] + 1) {
      TopExpr(semi[1] + 1, hi, true);
      PopResult();
      FlushPostponed();
    }
    EmitJump(k_jump, test);
    DefineHere(body);
    LoopSave s = EnterLoop(brk, step);
    SkipNewlines();
    Statement();
    LeaveLoop(s);
    EmitJump(k_jump, step);
    DefineHere(brk);
  }

  // return | return ( expr ) | return expr
  void ReturnStatement() {
    Advance();
    size_t hi = ExpressionEnd(pos_);
    if (hi == pos_) {
      Emit(k_void);
    } else {
      TopExpr(pos_, hi, true);
      FlushPostponed();
    }
    pos_ = hi;
    EmitJump(k_jump, exit_bp_);
    EndOfStatement();
  }

  // ---- expressions
  ExprInfo TopExpr(size_t lo, size_t hi, bool commas) {
    if (hi - lo > kMaxTokens) CompileFail(host_, "too many tokens\n");
    CheckBrackets(lo, hi);
    return Expr(lo, hi, commas);
  }

  void CheckBrackets(size_t lo, size_t hi) {
    std::vector<int> open;
    for (size_t k = lo; k < hi; ++k) {
      int c = t_[k].code;
      if (c == '(' || c == '[' || c == kTokRangeOpen) {
        if (open.size() >= 499) CompileFail(host_, "expression too long\n");
        open.push_back(c);
      } else if (c == ')' || c == ']' || c == kTokRangeClose) {
        int want = c == ')' ? '(' : c == ']' ? '[' : int(kTokRangeOpen);
        if (open.empty()) CompileFail(host_, std::string("too many '") + (c == kTokRangeClose ? "|]" : std::string(1, char(c))) + "'\n");
        if (open.back() != want) {
          auto closer = [](int o) { return o == '(' ? std::string(")") : o == '[' ? std::string("]") : std::string("|]"); };
          CompileFail(host_, (c == kTokRangeClose ? std::string("|]") : std::string(1, char(c))) + " found where " + closer(open.back()) + " expected\n");
        }
        open.pop_back();
      }
    }
    if (!open.empty()) CompileFail(host_, "too many '(', '[', or '['\n");
  }

  static bool EndsOperand(int c) {
    return c == kTokName || c == kTokNumber || c == kTokImaginary || c == kTokString || c == ')' || c == ']' ||
           c == kTokRangeClose || c == '\'' || c == kTokPlusPlus || c == kTokMinusMinus || c == kTokW_NULL;
  }

  // Rightmost (or leftmost) token of that code at bracket depth 0.
  std::optional<size_t> Find(size_t lo, size_t hi, int code, bool leftmost, bool check_prefix) const {
    std::optional<size_t> found;
    for (size_t k = lo; k < hi; ++k) {
      int c = t_[k].code;
      if ((c == '(' || c == '[' || c == kTokRangeOpen) && match_[k] >= 0) {
        k = size_t(match_[k]);
        continue;
      }
      if (c != code) continue;
      if (check_prefix && (k == lo || !EndsOperand(t_[k - 1].code))) continue;
      found = k;
      if (leftmost) break;
    }
    return found;
  }

  int TypeOfRule(Rule rule, int lt, int rt, const char* optext) {
    int a = types_.at(lt).el, b = types_.at(rt).el;
    auto stringlike = [](int e) { return e == kCtTransmorphic || e == kCtString; };
    auto numlike = [](int e) { return e == kCtTransmorphic || e == kCtReal || e == kCtComplex || e == kCtNumeric; };
    auto reallike = [](int e) { return e == kCtTransmorphic || e == kCtReal || e == kCtNumeric; };
    auto numeric_rule = [&]() -> int {
      if (a == kCtTransmorphic && b == kCtTransmorphic) return kCtTransmorphic;
      if (!numlike(a) || !numlike(b)) return -99;
      if (a == kCtReal && b == kCtReal) return kCtReal;
      if (a == kCtComplex || b == kCtComplex) return kCtComplex;
      return kCtNumeric;
    };
    int el = -99;
    switch (rule) {
      case Rule::Equality: el = kCtReal; break;
      case Rule::Ordering: el = (stringlike(a) && stringlike(b)) || (numlike(a) && numlike(b)) ? kCtReal : -99; break;
      case Rule::Logical: {
        auto ok = [](int e) { return e == kCtTransmorphic || e == kCtReal || e == kCtNumeric || e == kCtPointer; };
        el = ok(a) && ok(b) ? kCtReal : -99;
        break;
      }
      case Rule::Range: el = reallike(a) && reallike(b) ? kCtReal : -99; break;
      case Rule::Join:
        if (a == kCtStruct || b == kCtStruct) el = types_.Same(lt, rt, false) ? kCtStruct : -99;
        else if (a == kCtTransmorphic && b == kCtTransmorphic) el = kCtTransmorphic;
        else if (stringlike(a) && stringlike(b)) el = kCtString;
        else if (a == kCtPointer && b == kCtPointer) el = kCtPointer;
        else if (a == kCtTransmorphic || b == kCtTransmorphic) el = kCtTransmorphic;
        else el = numeric_rule();
        break;
      case Rule::Addition:
        if (a == kCtTransmorphic && b == kCtTransmorphic) el = kCtTransmorphic;
        else if (stringlike(a) && stringlike(b)) el = kCtString;
        else el = numeric_rule();
        break;
      case Rule::Subtraction: el = numeric_rule(); break;
      case Rule::Multiplication:
        if ((a == kCtTransmorphic && numlike(b)) || (b == kCtTransmorphic && numlike(a))) el = kCtTransmorphic;
        else if ((a == kCtString && reallike(b)) || (b == kCtString && reallike(a))) el = kCtString;
        else if (numlike(a) && numlike(b)) el = a == b ? a : (a == kCtComplex || b == kCtComplex) ? kCtComplex : kCtNumeric;
        break;
      case Rule::Division:
        if (numlike(a) && numlike(b)) el = (a == kCtComplex || b == kCtComplex) ? kCtComplex : a == kCtReal ? kCtReal : a == kCtTransmorphic && b == kCtTransmorphic ? kCtTransmorphic : kCtNumeric;
        break;
    }
    if (el == -99) Mismatch(std::string("exp ") + optext + " exp:  " + types_.Describe(lt) + " " + optext + " " + types_.Describe(rt) + " not allowed");
    return types_.Plain(el, kOrgMatrix);
  }

  [[noreturn]] void Mismatch(const std::string& what) {
    CompileFail(host_, "{p}\ntype mismatch:  " + what + "\n{p_end}\n");
  }

  int Matrix(int el) { return types_.Plain(el, kOrgMatrix); }

  ExprInfo Expr(size_t lo, size_t hi, bool commas) {
    ExprInfo info;
    if (lo >= hi) CompileFail(host_, "nothing found where subexp expected\n");
    // ( expr )
    if (t_[lo].code == '(' && match_[lo] == int(hi - 1)) return Expr(lo + 1, hi - 1, true);
    if (t_[lo].code == '(' && At(lo + 1).code == kTokW_void && At(lo + 2).code == ')') {
      info = Expr(lo + 3, hi, commas);
      info.is_void = true;
      return info;
    }
    if (auto p = Find(lo, hi, '=', true, false)) return Assignment(lo, *p, hi);
    if (auto p = Find(lo, hi, '?', true, false)) return Conditional(lo, *p, hi);
    for (const BinaryRow& row : kBinary) {
      if (row.tok == ',' && !commas) continue;
      bool prefix_capable = row.tok == '-' || row.tok == '*' || row.tok == '&';
      auto p = Find(lo, hi, row.tok, false, prefix_capable);
      if (!p) continue;
      ExprInfo l = Expr(lo, *p, commas);
      ExprInfo r = Expr(*p + 1, hi, commas);
      info.type = TypeOfRule(row.rule, l.type, r.type, row.text);
      Emit(row.op);
      last_op_at_ = body_.size() - 1;
      return info;
    }
    for (int tok : {int(kTokColonPow), int('^')}) {
      auto p = Find(lo, hi, tok, false, false);
      if (!p) continue;
      size_t base = lo;
      int minus = 0;
      while (base < *p && t_[base].code == '-') {
        ++base;
        ++minus;
      }
      ExprInfo l = Expr(base, *p, commas);
      ExprInfo r = Expr(*p + 1, hi, commas);
      info.type = TypeOfRule(Rule::Division, l.type, r.type, tok == '^' ? "^" : ":^");
      Emit(tok == '^' ? k_pow : k_colonpow);
      if (minus % 2) Emit(k_neg);
      last_op_at_ = body_.size() - 1;
      return info;
    }
    const Token& last = t_[hi - 1];
    if (last.code == '\'') {
      info = Expr(lo, hi - 1, commas);
      Emit(k_transpose);
      info.assignment = info.increment = false;
      return info;
    }
    if (hi - lo == 1 || (hi - lo == 2 && t_[lo].code == '-' && (t_[lo + 1].code == kTokNumber || t_[lo + 1].code == kTokImaginary))) {
      if (auto lit = Literal(lo, hi)) return *lit;
    }
    const Token& first = t_[lo];
    // (*p)(args): a call through the function pointer p; the call takes
    // the pointer itself, so the star that names it is not compiled as a
    // dereference. (p)(args) is the same call.
    if (first.code == '(' && match_[lo] >= 0 && size_t(match_[lo]) + 1 < hi && t_[size_t(match_[lo]) + 1].code == '(' &&
        match_[size_t(match_[lo]) + 1] == int(hi - 1)) {
      size_t close = size_t(match_[lo]);
      int n = Arguments(close + 2, hi - 1);
      size_t from = lo + 1;
      if (from + 1 < close && t_[from].code == '*') ++from;
      Expr(from, close, true);
      Emit(k_callptr, n);
      info.type = Matrix(kCtTransmorphic);
      return info;
    }
    if (first.code == '*') {
      ExprInfo e = Expr(lo + 1, hi, commas);
      int el = types_.at(e.type).el;
      if (el != kCtPointer && el != kCtTransmorphic) Mismatch("* (deref.):  " + types_.Describe(e.type) + " not allowed");
      Emit(k_deref);
      // A pointer declared without a target type points to anything.
      int to = el == kCtPointer ? types_.at(e.type).to : e.type;
      info.type = to >= 0 ? to : Matrix(kCtTransmorphic);
      return info;
    }
    if (first.code == '&') {
      if (hi - lo == 4 && t_[lo + 1].code == kTokName && t_[lo + 2].code == '(' && t_[lo + 3].code == ')') {
        body_.push_back(k_function);
        body_.insert(body_.end(), {0, 0, 0});
        AppendBytes(body_, t_[lo + 1].text);
        Emit(k_addr);
        info.type = types_.Pointer(kOrgScalar, false, types_.Plain(kCtTransmorphic, kOrgMatrix, true));
        return info;
      }
      ExprInfo e = Expr(lo + 1, hi, commas);
      Emit(k_addr);
      info.type = types_.Pointer(kOrgScalar, false, e.type);
      return info;
    }
    if (first.code == '-' || first.code == '!') {
      ExprInfo e = Expr(lo + 1, hi, commas);
      int el = types_.at(e.type).el;
      bool ok = first.code == '-' ? (el == kCtTransmorphic || el == kCtReal || el == kCtComplex || el == kCtNumeric)
                                  : (el == kCtTransmorphic || el == kCtReal || el == kCtNumeric);
      if (!ok) Mismatch(std::string(first.code == '-' ? "- (negation)" : "! (not)") + ":  " + types_.Describe(e.type) + " not allowed");
      Emit(first.code == '-' ? k_neg : k_not);
      info.type = first.code == '-' ? e.type : Matrix(kCtReal);
      return info;
    }
    if ((first.code == kTokPlusPlus || first.code == kTokMinusMinus) && !(hi - lo == 2 && t_[lo + 1].code == kTokName))
      return IncrementLvalue(lo + 1, hi, true, first.code == kTokPlusPlus);
    if ((last.code == kTokPlusPlus || last.code == kTokMinusMinus) && !(hi - lo == 2 && t_[lo].code == kTokName))
      return IncrementLvalue(lo, hi - 1, false, last.code == kTokPlusPlus);
    if (first.code == kTokPlusPlus || first.code == kTokMinusMinus) {
      int slot = Variable(t_[lo + 1].text, false);
      syms_.MarkSet(slot);
      Emit(first.code == kTokPlusPlus ? k_inc : k_dec, slot);
      Emit(k_local, slot);
      info.type = syms_.at(slot).type;
      info.increment = true;
      return info;
    }
    if (last.code == kTokPlusPlus || last.code == kTokMinusMinus) {
      if (postponed_.size() >= size_t(kMaxPostponed)) CompileFail(host_, "too many postponed ++ or --\n");
      int slot = Variable(t_[lo].text, false);
      syms_.MarkSet(slot);
      Emit(k_local, slot);
      postponed_.push_back({last.code == kTokPlusPlus ? k_inc : k_dec, slot});
      info.type = syms_.at(slot).type;
      info.increment = true;
      return info;
    }
    if (last.code == ']' || last.code == kTokRangeClose) return Subscript(lo, hi, false);
    if (first.code == kTokName && hi - lo >= 3 && t_[lo + 1].code == '(' && match_[lo + 1] == int(hi - 1)) return Call(lo, hi);
    if (hi - lo >= 3 && t_[hi - 1].code == kTokName && (t_[hi - 2].code == '.' || t_[hi - 2].code == kTokArrow))
      return Member(lo, hi);
    if (hi - lo == 1 && first.code == kTokName) {
      int slot = Variable(first.text, false);
      Emit(k_local, slot);
      info.type = syms_.at(slot).type;
      return info;
    }
    if (hi - lo == 1 && first.code == kTokW_NULL) {
      Emit(k_null);
      info.type = types_.Pointer(kOrgScalar, false, types_.Plain(0, 0));
      return info;
    }
    CompileFail(host_, "expression invalid\n");
  }

  std::optional<ExprInfo> Literal(size_t lo, size_t hi) {
    ExprInfo info;
    bool neg = hi - lo == 2;
    const Token& tok = t_[hi - 1];
    if (tok.code == kTokNumber) {
      double d = tok.number;
      if (neg && d < data::kMissing) d = -d;
      if (d == 0 && !std::signbit(d)) Emit(k_zero);
      else if (d == 1) Emit(k_one);
      else if (std::memcmp(&d, &data::kMissing, 8) == 0) Emit(k_missing);
      else EmitLiteral(k_real, false, lits_.Double(d));
      info.type = types_.Plain(kCtReal, kOrgScalar);
      return info;
    }
    if (tok.code == kTokImaginary) {
      EmitLiteral(k_complex, false, lits_.Double(neg ? -tok.number : tok.number));
      info.type = types_.Plain(kCtComplex, kOrgScalar);
      return info;
    }
    if (tok.code == kTokString && !neg) {
      EmitLiteral(k_string, true, lits_.String(tok.text));
      info.type = types_.Plain(kCtString, kOrgScalar);
      return info;
    }
    return std::nullopt;
  }

  // The frame slot of a variable (a global in a statement function).
  int Variable(const std::string& name, bool setting) {
    int k = syms_.Find(name);
    if (k < 0) k = syms_.Add(name, statement_ ? SymClass::External : SymClass::Undeclared, 0, types_.Plain(0, 0), false);
    if (syms_.at(k).kind == 2) CompileFail(host_, "expression invalid\n");
    if (!setting) syms_.MarkUsed(k);
    return k;
  }

  // Compiles the comma-separated arguments in [lo, hi); their count.
  int Arguments(size_t lo, size_t hi) {
    int n = 0;
    size_t start = lo;
    if (lo == hi) return 0;
    for (size_t k = lo; k <= hi; ++k) {
      if (k < hi) {
        int c = t_[k].code;
        if ((c == '(' || c == '[' || c == kTokRangeOpen) && match_[k] >= 0) {
          k = size_t(match_[k]);
          continue;
        }
        if (c != ',') continue;
      }
      Expr(start, k, false);
      ++n;
      start = k + 1;
    }
    return n;
  }

  // name ( args )
  ExprInfo Call(size_t lo, size_t hi) {
    ExprInfo info;
    const std::string& name = t_[lo].text;
    if (const BuiltinInfo* b = FindBuiltin(name)) {
      int n = CountArguments(lo + 2, hi - 1);
      if (n < b->minargs || n > b->maxargs) CompileFail(host_, "wrong number of arguments for " + name + "()\n");
      Arguments(lo + 2, hi - 1);
      Emit(k_builtin, b->code, n);
      info.type = types_.Plain(b->el, b->org);
      info.is_void = b->org == kOrgVoid;
      return info;
    }
    std::string key = name + "()";
    int slot = syms_.Find(key);
    if (slot < 0) slot = syms_.Add(key, SymClass::Declared, 2, types_.Plain(0, 0, true), false);
    int n = Arguments(lo + 2, hi - 1);
    Emit(k_call, slot, n);
    info.type = Matrix(kCtTransmorphic);
    return info;
  }

  int CountArguments(size_t lo, size_t hi) const {
    if (lo == hi) return 0;
    int n = 1;
    for (size_t k = lo; k < hi; ++k) {
      int c = t_[k].code;
      if ((c == '(' || c == '[' || c == kTokRangeOpen) && match_[k] >= 0) k = size_t(match_[k]);
      else if (c == ',') ++n;
    }
    return n;
  }

  // base [ i ] | base [ i , j ] | base [| r |]; as a store target when
  // `store` is set (the value is already on the stack).
  ExprInfo Subscript(size_t lo, size_t hi, bool store) {
    ExprInfo info;
    size_t open = size_t(match_[hi - 1]);
    bool range = t_[hi - 1].code == kTokRangeClose;
    if (open <= lo) CompileFail(host_, "expression invalid\n");
    int before = t_[open - 1].code;
    if (!(before == kTokName || before == ')' || before == ']' || before == kTokRangeClose)) CompileFail(host_, "expression invalid\n");
    ExprInfo base;
    if (store) base = LvalueBase(lo, open);
    else {
      base = Expr(lo, open, true);
    }
    if (range) {
      Expr(open + 1, hi - 1, true);
      Emit(store ? k_rangestore : k_rangesub);
    } else {
      int n = CountArguments(open + 1, hi - 1);
      if (n != 1 && n != 2) CompileFail(host_, "invalid [ ] list subscript\n");
      // An empty index ("x[,1]") means all, like a missing value.
      size_t start = open + 1;
      for (size_t k = open + 1; k <= hi - 1; ++k) {
        if (k < hi - 1) {
          int c = t_[k].code;
          if ((c == '(' || c == '[' || c == kTokRangeOpen) && match_[k] >= 0) {
            k = size_t(match_[k]);
            continue;
          }
          if (c != ',') continue;
        }
        if (k == start) Emit(k_missing);
        else Expr(start, k, false);
        start = k + 1;
      }
      Emit(store ? (n == 1 ? k_store1 : k_store2) : (n == 1 ? k_sub1 : k_sub2));
    }
    info.type = Matrix(types_.at(base.type).el);
    return info;
  }

  // What can be stored into: a variable, the target of a pointer (*p,
  // (*p)), or a subscripted or selected one of these.  Pushes the record
  // itself.
  ExprInfo LvalueBase(size_t lo, size_t hi) {
    ExprInfo base;
    if (hi - lo == 1 && t_[lo].code == kTokName) {
      int slot = Variable(t_[lo].text, true);
      syms_.MarkSet(slot);
      Emit(k_local, slot);
      base.type = syms_.at(slot).type;
      return base;
    }
    if (!IsLvalue(lo, hi)) CompileFail(host_, "invalid lval\n");
    return Expr(lo, hi, true);
  }
  bool IsLvalue(size_t lo, size_t hi) const {
    if (hi <= lo) return false;
    if (hi - lo == 1) return t_[lo].code == kTokName;
    if (t_[lo].code == '*') return true;
    if (t_[lo].code == '(' && match_[lo] == int(hi - 1)) return IsLvalue(lo + 1, hi - 1);
    // A structure member is a record of its own, whatever holds the
    // structure.
    if (hi - lo >= 3 && t_[hi - 1].code == kTokName && (t_[hi - 2].code == '.' || t_[hi - 2].code == kTokArrow)) return true;
    int last = t_[hi - 1].code;
    if ((last == ']' || last == kTokRangeClose) && match_[hi - 1] > int(lo)) return IsLvalue(lo, size_t(match_[hi - 1]));
    return false;
  }

  // ++x[i], x[i]++ and the like on anything but a plain name: the element
  // is taken out, incremented by 150 or 151 and stored back, so that the
  // value left is the new one; a postfix form keeps a copy of the old
  // value beneath it and drops the new one.
  ExprInfo IncrementLvalue(size_t lo, size_t hi, bool prefix, bool up) {
    ExprInfo info;
    if (!IsLvalue(lo, hi)) CompileFail(host_, "invalid use of ++ or --\n");
    int last = t_[hi - 1].code;
    bool subscripted = (last == ']' || last == kTokRangeClose) && match_[hi - 1] > int(lo);
    if (!subscripted) {
      // *p++ and the like act on the target record itself.
      info = Expr(lo, hi, true);
      Emit(prefix ? (up ? k_preinc : k_predec) : (up ? k_postinc : k_postdec));
      info.increment = true;
      return info;
    }
    if (!prefix) Expr(lo, hi, true);
    info = Expr(lo, hi, true);
    Emit(up ? k_preinc : k_predec);
    Subscript(lo, hi, true);
    if (!prefix) Emit(k_pop);
    info.increment = true;
    return info;
  }

  // exp.name and exp->name: the member record itself is pushed, so that
  // it can be read, subscripted or stored into.
  ExprInfo Member(size_t lo, size_t hi) {
    ExprInfo info;
    bool arrow = t_[hi - 2].code == kTokArrow;
    const std::string& member = t_[hi - 1].text;
    ExprInfo e = Expr(lo, hi - 2, true);
    int type = e.type;
    if (arrow) {
      const TypeEntry t = types_.at(type);  // a copy: the table may grow below
      if (t.el != kCtPointer && t.el != kCtTransmorphic) Mismatch("-> (pointing to):  " + types_.Describe(type) + " not allowed");
      Emit(k_deref);
      type = t.el == kCtPointer && t.to >= 0 ? t.to : types_.Plain(kCtTransmorphic, kOrgMatrix);
    }
    const TypeEntry t = types_.at(type);
    if (t.el != kCtStruct && t.el != kCtTransmorphic)
      Mismatch(std::string(arrow ? "exp->exp" : "exp.exp") + ":  " + types_.Describe(type) + " not allowed");
    info.type = types_.Plain(kCtTransmorphic, kOrgMatrix);
    std::string sname = types_.StructName(type);
    if (t.el == kCtStruct && !sname.empty()) {
      // The structure is known here: the member is checked now.
      FunctionRecord* def = values_.FindOrLoadFunction(sname);
      if (!def) CompileFail(host_, "struct " + sname + " undefined\n");
      if (!IsStructDef(def)) CompileFail(host_, "function " + sname + "() is not a struct\n");
      std::vector<MemberDecl> members = DecodeMembers(def);
      auto it = std::find_if(members.begin(), members.end(), [&](const MemberDecl& m) { return m.name == member; });
      if (it == members.end()) CompileFail(host_, member + " not found -- struct " + sname + " contains no such member\n");
      info.type = DeclaredType(it->el, it->org, it->struct_name);
    }
    body_.push_back(k_member);
    AppendBytes(body_, member);
    return info;
  }

 public:
  // struct name { declarations }
  void CompileStructDefinition(std::string* name_out, std::vector<MemberDecl>* members) {
    pos_ = 1;
    std::string name = Cur().text;
    Advance();
    SkipNewlines();
    if (Cur().code != '{') Expected("'{'");
    size_t close = Match(pos_);
    Advance();
    for (;;) {
      while (pos_ < close && (Cur().code == kTokNewline || Cur().code == ';')) Advance();
      if (pos_ >= close) break;
      if (!IsElWord(Cur().code) && !IsOrgWord(Cur().code)) CompileFail(host_, "type declaration required\n");
      MemberDecl d;
      while (IsElWord(Cur().code) || IsOrgWord(Cur().code)) {
        int c = Cur().code;
        if (IsElWord(c)) d.el = int8_t(ElOf(c));
        else d.org = int8_t(OrgOf(c));
        Advance();
        SkipPointerTarget();
        if (c == kTokW_struct && StructNameAt(pos_)) {
          d.struct_name = Cur().text;
          Advance();
        }
      }
      if (d.org == kOrgVoid) CompileFail(host_, "type declaration required\n");
      for (;;) {
        if (Cur().code != kTokName) Expected("name");
        for (const MemberDecl& m : *members)
          if (m.name == Cur().text) CompileFail(host_, "symbol " + m.name + " multiply defined\n");
        d.name = Cur().text;
        members->push_back(d);
        Advance();
        if (Cur().code != ',') break;
        Advance();
      }
      if (pos_ < close && Cur().code != kTokNewline && Cur().code != ';') Expected("nothing");
    }
    pos_ = close + 1;
    SkipNewlines();
    if (Cur().code != kTokEnd) Expected("nothing");
    if (FindBuiltin(name)) CompileFail(host_, name + "() is built-in\n");
    if (values_.FindFunction(name)) CompileFail(host_, name + "() already exists\n");
    *name_out = name;
  }

 private:
  // lvalue = expr
  ExprInfo Assignment(size_t lo, size_t p, size_t hi) {
    ExprInfo info;
    if (p == lo) CompileFail(host_, "nothing found where subexp expected\n");
    ExprInfo r = Expr(p + 1, hi, true);
    info.assignment = true;
    info.type = r.type;
    if (p - lo == 1 && t_[lo].code == kTokName) {
      int slot = Variable(t_[lo].text, true);
      syms_.MarkSet(slot);
      Emit(k_store, slot);
      last_op_at_ = body_.size() - 2;
      return info;
    }
    int last = t_[p - 1].code;
    if ((last == ']' || last == kTokRangeClose) && match_[p - 1] >= 0) {
      Subscript(lo, p, true);
      return info;
    }
    if (IsLvalue(lo, p)) {
      Expr(lo, p, true);
      Emit(k_assign);
      return info;
    }
    CompileFail(host_, "invalid lval\n");
  }

  // cond ? a : b
  ExprInfo Conditional(size_t lo, size_t q, size_t hi) {
    ExprInfo info;
    size_t colon = 0;
    int nested = 0;
    for (size_t k = q + 1; k < hi; ++k) {
      int c = t_[k].code;
      if ((c == '(' || c == '[' || c == kTokRangeOpen) && match_[k] >= 0) {
        k = size_t(match_[k]);
        continue;
      }
      if (c == '?') ++nested;
      if (c == ':') {
        if (nested == 0) {
          colon = k;
          break;
        }
        --nested;
      }
    }
    if (!colon) CompileFail(host_, "? :  matching ':' not found\n");
    Expr(lo, q, true);
    int else_bp = NewBranchPoint(""), end_bp = NewBranchPoint("");
    EmitJump(k_jumpiffalse, else_bp);
    ExprInfo a = Expr(q + 1, colon, true);
    EmitJump(k_jump, end_bp);
    DefineHere(else_bp);
    ExprInfo b = Expr(colon + 1, hi, true);
    DefineHere(end_bp);
    if (!types_.Same(a.type, b.type, false) && types_.at(a.type).el != kCtTransmorphic && types_.at(b.type).el != kCtTransmorphic)
      Mismatch("? ... : ... not allowed");
    info.type = a.type;
    return info;
  }

  Host& host_;
  Values& values_;
  const std::vector<Token>& t_;
  std::vector<int> match_;
  size_t pos_ = 0;
  bool statement_;
  bool record_lines_;
  int nesting_ = 0;

 public:
  TypeTable types_;
  LiteralPool lits_;
  LocalSymbols syms_;

 private:
  std::vector<ArgDecl> args_;
  std::vector<int32_t> body_;
  std::vector<size_t> jump_fixups_;
  std::vector<LiteralFix> lit_fixes_;
  std::vector<BranchPoint> bps_;
  std::vector<std::pair<int32_t, int32_t>> postponed_;
  int break_bp_ = -1, continue_bp_ = -1, exit_bp_ = -1;
  size_t label_at_ = size_t(-1);
  size_t last_op_at_ = size_t(-1);
};

}  // namespace

bool StartsDefinition(std::string_view text) {
  std::vector<Token> toks;
  std::string err;
  Tokenize(text, 1, &toks, &err);
  size_t k = 0;
  while (k < toks.size() && toks[k].code == kTokNewline) ++k;
  if (k >= toks.size()) return false;
  int c = toks[k].code;
  return c == kTokW_function || c == kTokW_struct || IsElWord(c) || IsOrgWord(c);
}

CompileStatus Compiler::Compile(std::string_view text, CompiledUnit* unit, bool store) {
  std::vector<Token> toks;
  std::string err;
  if (!Tokenize(text, 1, &toks, &err)) {
    host_.Print(Style::Error, err);
    return CompileStatus::kError;
  }
  size_t first = 0;
  while (first < toks.size() && toks[first].code == kTokNewline) ++first;
  bool definition = first < toks.size() &&
                    (toks[first].code == kTokW_function || toks[first].code == kTokW_struct || IsElWord(toks[first].code) ||
                     IsOrgWord(toks[first].code));
  std::vector<Token> body(toks.begin() + long(first), toks.end());
  // Openers still waiting for their closers: more text is to come.
  int depth = 0;
  for (const Token& t : body) {
    if (t.code == '(' || t.code == '[' || t.code == kTokRangeOpen || t.code == '{') ++depth;
    if (t.code == ')' || t.code == ']' || t.code == kTokRangeClose || t.code == '}') --depth;
  }
  if (depth > 0) return CompileStatus::kIncomplete;
  try {
    if (definition && body[0].code == kTokW_struct && body.size() > 1 && body[1].code == kTokName &&
        (body.size() < 3 || body[2].code != kTokName)) {
      // struct name { members }: complete once its closing brace is seen.
      int depth = 0;
      bool closed = false;
      for (const Token& t : body) {
        if (t.code == '{') ++depth;
        if (t.code == '}' && --depth == 0) closed = true;
      }
      if (!closed) return CompileStatus::kIncomplete;
      FnCompiler fc(host_, values_, body, false, false);
      std::string name;
      std::vector<MemberDecl> members;
      fc.CompileStructDefinition(&name, &members);
      std::vector<int32_t> code{0, 0};
      std::vector<int32_t> list = EncodeMembers(members);
      code.insert(code.end(), list.begin(), list.end());
      unit->is_definition = true;
      unit->name = name;
      if (!store) {
        unit->code = std::move(code);
        return CompileStatus::kOk;
      }
      if (!values_.AddFunction(name, std::move(code), kCtStructdef, kOrgMatrix)) {
        host_.Print(Style::Error, "unable to allocate function\n");
        return CompileStatus::kError;
      }
      return CompileStatus::kOk;
    }
    FnCompiler fc(host_, values_, body, !definition, record_lines);
    if (definition) {
      std::string name;
      int8_t el, org;
      fc.CompileDefinition(&name, &el, &org);
      std::vector<int32_t> code = fc.Finish();
      if (notes) fc.Notes();
      unit->is_definition = true;
      unit->name = name;
      if (store) {
        if (!values_.AddFunction(name, std::move(code), el, org)) {
          host_.Print(Style::Error, "unable to allocate function\n");
          return CompileStatus::kError;
        }
      } else {
        unit->code = std::move(code);
      }
      return CompileStatus::kOk;
    }
    fc.CompileStatements(0);
    unit->is_definition = false;
    unit->code = fc.Finish();
    return CompileStatus::kOk;
  } catch (const CompileAbort&) {
    return CompileStatus::kError;
  } catch (const CompileIncomplete&) {
    return CompileStatus::kIncomplete;
  } catch (const CompileBreak&) {
    return CompileStatus::kBreak;
  }
}

}  // namespace nuvra::lumo
