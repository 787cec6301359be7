// The front end both expression languages share: scalar expressions over
// observations (compile.cpp) and matrix expressions (stats/matexpr.cpp).
//
// One parser drives two back ends. The front end owns everything about
// the text: blanks, quotes, brackets, numbers, the operators and their
// precedence, and the nesting limit. A back end asks what a span of the
// text is (`split`, then `operand` at the bottom) and gives it meaning:
// the scalar compiler emits code, the matrix evaluator computes a value.
// The back end does the recursion itself, so it decides the order in
// which parts are read and checked.
//
// The text is read once when the expression is checked: every bracket
// learns where its partner is and every string where it ends, so a span is
// taken apart by walking only its top level.
//
// The two languages differ in the `Language` flags and in their functions:
//   - matrix expressions add the operators `\` (join rows), `,` (join
//     columns), `#` (Kronecker product) and a trailing `'` (transpose);
//   - scalar expressions read compound quotes `"..."' as strings.
// Which functions each language has is a table of the front end (below);
// what a name, a call or a subscript means is the back end's business.
//
// Precedence, loosest first (each operator its own level, and every
// binary operator associating to the left):
//   \   ,                            matrix only: row join, column join
//   |  &  ==  >=  <=  <  >  !=  ~=  +  -  *  /
//   #                                matrix only: Kronecker product
//   unary ! ~ - +                    over the whole rest of the span
//   ^
//   '                                matrix only: transpose (trailing)
//   operands: strings, numbers, names, name(args), name[args], ops.name
// Because + is looser than -, a+b-c is a+(b-c), and a*b/c is a*(b/c).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/rc.h"
#include "data/expr/env.h"

namespace nuvra::expr {

// Thrown by the front end and both back ends once the message has been
// printed; each language's entry point catches it and returns the code.
struct ParseAbort {
  rc_t rc;
};

struct Language {
  bool compound_quotes = false;   // `"..."' is a string
  bool matrix_operators = false;  // \ , # and the trailing '
};
inline constexpr Language kScalarLanguage{true, false};
inline constexpr Language kMatrixLanguage{false, true};

// Which functions each language has.  The function table (functions.def)
// serves both: scalar expressions compile its entries, and matrix
// expressions evaluate a call of one of them as a scalar expression.  Only
// matrix expressions have the functions of this table, which take or give
// whole matrices; a name in both (scalar()) has this meaning in matrix
// expressions.
enum class MatrixCall : std::uint8_t {
  kInv, kInvsym, kSweep, kJ, kIdentity, kDiag, kVecdiag, kCholesky, kGet, kNullmat, kScalar
};
struct MatrixCallName {
  const char* name;
  MatrixCall call;
  std::uint8_t nargs;  // a call with another count of arguments is 198
};
// The entry of a function only matrix expressions have; null for others.
const MatrixCallName* find_matrix_call(std::string_view name);

// Spans nested inside one another (unary prefixes, operands inside
// operators, arguments inside calls). A chain of one operator does not
// nest: a+b+c+... is read as a list. Deeper nesting is "expression too
// long" (130).
inline constexpr int kMaxNesting = 2400;

// Binary operators of the precedence table, loosest first.
enum class BinaryOp : std::uint8_t {
  kOr, kAnd, kEq, kGe, kLe, kLt, kGt, kNe, kNe2, kPlus, kMinus, kTimes, kDivide, kCount
};

struct Piece {
  std::size_t b = 0, e = 0;  // [b, e) of the text
};

// What a span is, loosest construction first.
enum class Form : std::uint8_t {
  kRowJoin,    // pieces joined by `\`
  kColJoin,    // pieces joined by `,`
  kBinary,     // pieces joined by `op`, to be combined left to right
  kKronecker,  // pieces joined by `#`
  kNot,        // ! or ~ before `inner`
  kNegate,     // - before `inner`
  kPlus,       // + before `inner`
  kPower,      // pieces joined by ^, combined left to right
  kTranspose,  // `inner` followed by '
  kOperand,    // none of these: see Syntax::operand
};

struct Split {
  Form form = Form::kOperand;
  BinaryOp op = BinaryOp::kOr;  // kBinary
  Piece whole;                  // the span with enclosing brackets removed
  Piece inner;                  // unary prefixes and the transpose
  std::vector<Piece> pieces;    // the chains, two or more pieces
};

enum class OperandKind : std::uint8_t {
  kString,     // a quoted string; `quote_whole` says whether it is all of the span
  kNumber,     // `value` (missing values included)
  kName,       // a name alone: [b, name_end)
  kCall,       // name(args): args inside [name_end + 1, e - 1)
  kSubscript,  // name[args]: args inside [name_end + 1, e - 1)
  kDotted,     // name.name... (time-series operators before a variable)
};

struct Operand {
  OperandKind kind = OperandKind::kName;
  std::size_t b = 0, e = 0, name_end = 0;
  bool quote_whole = false;
  double value = 0;
};

// Reads a number: decimal (e, E, d or D for the exponent) or the
// hexadecimal notation h.hhhX+hhh (mantissa and exponent both
// hexadecimal). A number too large for a double is `.`. False when the
// text is not one number.
bool read_number(std::string_view t, double* out);

class Syntax {
 public:
  // Blanks outside quotes are dropped; a blank between two name characters
  // would glue two words into one, so it stays and fails as syntax.
  Syntax(Env& env, std::string_view text, Language lang);

  // Checks quotes and brackets over the whole text, once, and learns where
  // each group ends (132 with its message when they do not balance).
  void check();

  const std::string& text() const { return s_; }
  char at(std::size_t i) const { return s_[i]; }
  std::string slice(std::size_t b, std::size_t e) const { return s_.substr(b, e - b); }
  std::string slice(Piece p) const { return slice(p.b, p.e); }

  [[noreturn]] void fail(rc_t code) const;
  [[noreturn]] void fail_msg(std::string_view before, std::string_view user, std::string_view after,
                             rc_t code) const;

  // One level of nesting for as long as it lives.
  class Level {
   public:
    explicit Level(const Syntax& s);
    ~Level() { --s_.nesting_; }
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;

   private:
    const Syntax& s_;
  };

  // The form of [b, e) (198 for an empty span or mismatched brackets).
  Split split(std::size_t b, std::size_t e) const;
  // The operand [b, e) (198 when it is none: bad numbers, stray characters).
  Operand operand(std::size_t b, std::size_t e) const;
  // The comma-separated arguments inside [b, e); none when it is empty.
  std::vector<Piece> args(std::size_t b, std::size_t e) const;

  // Whether a string starts at i.
  bool quote_at(std::size_t i) const;
  // One past the bracket group or string that starts at i; 0 when none does.
  std::size_t group_end(std::size_t i) const { return i < jump_.size() ? jump_[i] : 0; }
  // The first top-level occurrence of `what` in [b, e), or npos.
  std::size_t find_top(std::size_t b, std::size_t e, std::string_view what) const;
  // The text of a string operand, quotes removed.
  std::string string_text(const Operand& o) const;

 private:
  std::size_t compound_end(std::size_t i) const;
  bool binary_sign(std::size_t b, std::size_t i) const;
  template <class Visit>
  void scan(std::size_t b, std::size_t e, Visit&& visit) const;

  Env& env_;
  std::string s_;
  Language lang_;
  std::vector<std::size_t> jump_;
  mutable int nesting_ = 0;
};

}  // namespace nuvra::expr
