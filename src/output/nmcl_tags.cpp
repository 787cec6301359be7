// Tag syntax and the tag table: what each {tag} does to the stream.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "base/text.h"
#include "output/nmcl_chars.h"
#include "output/nmcl_stream.h"

namespace nuvra::output {
namespace {

// Tag text is rendered recursively; beyond this depth tags show as typed
// instead of exhausting the stack.
constexpr int kMaxNesting = 48;
constexpr int kMaxTokens = 8;

enum TagId : uint8_t {
  kTagColour, kTagFont, kTagUnderline, kTagReset, kTagHline, kTagRule, kTagChar, kTagDup,
  kTagSpace, kTagCol, kTagTab, kTagRight, kTagCenter, kTagAlign, kTagTitle, kTagJoin,
  kTagBreak, kTagP, kTagPreset, kTagPEnd, kTagBind, kTagAsis, kTagS6hlp, kTagMarker,
  kTagNewpage, kTagLink, kTagSynVar, kTagFixed, kTagCmdab, kTagOpt, kTagManhelp,
  kTagP2colset, kTagP2colreset, kTagP2col, kTagP2line, kTagSynoptset, kTagSynopt,
  kTagSynopthdr, kTagSyntab, kTagDlgtab, kTagCcl,
};

// Link argument rules.
enum LinkRule : int { kNoTarget = 0, kTargetRequired = 1, kTargetOptional = 2 };
constexpr int link_param(int kind, LinkRule rule, bool bold = false) {
  return kind | (rule << 8) | (bold ? 1 << 12 : 0);
}
// Kinds taken from the stream's own fields.
constexpr int kKindNuvra = 250, kKindLumo = 251;

struct TagEntry {
  std::string_view name;  // with its length, so lookups compare lengths first
  TagId id;
  int param;
};

constexpr TagEntry kTags[] = {
    {"txt", kTagColour, kColourText}, {"text", kTagColour, kColourText},
    {"green", kTagColour, kColourText}, {"gr", kTagColour, kColourText},
    {"res", kTagColour, kColourResult}, {"result", kTagColour, kColourResult},
    {"yellow", kTagColour, kColourResult}, {"ye", kTagColour, kColourResult},
    {"err", kTagColour, kColourError}, {"error", kTagColour, kColourError},
    {"red", kTagColour, kColourError}, {"re", kTagColour, kColourError},
    {"inp", kTagColour, kColourInput}, {"input", kTagColour, kColourInput},
    {"com", kTagColour, kColourInput}, {"command", kTagColour, kColourInput},
    {"white", kTagColour, kColourInput}, {"wh", kTagColour, kColourInput},
    {"cmd", kTagColour, kColourHilite}, {"hilite", kTagColour, kColourHilite},
    {"hi", kTagColour, kColourHilite},
    {"sf", kTagFont, 0}, {"rm", kTagFont, 0}, {"it", kTagFont, kStyleItalic},
    {"bf", kTagFont, kStyleBold},
    {"ul", kTagUnderline, 0}, {"reset", kTagReset, 0}, {"hline", kTagHline, 0},
    {".-", kTagRule, 0}, {"c", kTagChar, 0}, {"char", kTagChar, 0}, {"dup", kTagDup, 0},
    {"space", kTagSpace, 0}, {"col", kTagCol, 0}, {"tab", kTagTab, 0},
    {"right", kTagRight, 0}, {"center", kTagCenter, 0}, {"centre", kTagCenter, 0},
    {"rcenter", kTagCenter, 1}, {"rcentre", kTagCenter, 1},
    {"ralign", kTagAlign, 1}, {"lalign", kTagAlign, 0}, {"title", kTagTitle, 0},
    {"...", kTagJoin, 0}, {"break", kTagBreak, 0}, {"p", kTagP, 0},
    {"pstd", kTagPreset, 0}, {"psee", kTagPreset, 1}, {"phang", kTagPreset, 2},
    {"pmore", kTagPreset, 3}, {"pin", kTagPreset, 4}, {"phang2", kTagPreset, 5},
    {"pmore2", kTagPreset, 6}, {"pin2", kTagPreset, 7}, {"phang3", kTagPreset, 8},
    {"pmore3", kTagPreset, 9}, {"pin3", kTagPreset, 10},
    {"p_end", kTagPEnd, 0}, {"bind", kTagBind, 0}, {"asis", kTagAsis, 0},
    {"s6hlp", kTagS6hlp, 0}, {"marker", kTagMarker, 0}, {"newpage", kTagNewpage, 0},
    {"ado_d", kTagLink, link_param(kLinkAdoDialog, kNoTarget)},
    {"asdialog", kTagLink, link_param(kLinkAdoDialog, kNoTarget)},
    {"help_d", kTagLink, link_param(kLinkHelpDialog, kNoTarget)},
    {"cdialog", kTagLink, link_param(kLinkHelpDialog, kNoTarget)},
    {"net_d", kTagLink, link_param(kLinkNetDialog, kNoTarget)},
    {"nsdialog", kTagLink, link_param(kLinkNetDialog, kNoTarget)},
    {"netfrom_d", kTagLink, link_param(kLinkNetFromDialog, kNoTarget)},
    {"nfdialog", kTagLink, link_param(kLinkNetFromDialog, kNoTarget)},
    {"search_d", kTagLink, link_param(kLinkSearchDialog, kNoTarget)},
    {"sdialog", kTagLink, link_param(kLinkSearchDialog, kNoTarget)},
    {"update_d", kTagLink, link_param(kLinkUpdateDialog, kNoTarget)},
    {"ufdialog", kTagLink, link_param(kLinkUpdateDialog, kNoTarget)},
    {"view_d", kTagLink, link_param(kLinkViewDialog, kNoTarget)},
    {"vdialog", kTagLink, link_param(kLinkViewDialog, kNoTarget)},
    {"clearmore", kTagLink, link_param(kLinkClearMore, kNoTarget)},
    {"browse", kTagLink, link_param(kLinkBrowse, kTargetRequired)},
    {"adorm", kTagLink, link_param(kLinkAdoRm, kTargetRequired)},
    {"back", kTagLink, link_param(kLinkBack, kNoTarget)},
    {"help", kTagLink, link_param(kLinkHelp, kTargetRequired)},
    {"helpb", kTagLink, link_param(kLinkHelp, kTargetRequired, true)},
    {"search", kTagLink, link_param(kLinkSearch, kTargetRequired)},
    {"net", kTagLink, link_param(kLinkNet, kTargetRequired)},
    {"ado", kTagLink, link_param(kLinkAdo, kTargetRequired)},
    {"update", kTagLink, link_param(kLinkUpdate, kTargetOptional)},
    {"rnethelp", kTagLink, link_param(kLinkRNetHelp, kTargetRequired)},
    {"view", kTagLink, link_param(kLinkView, kTargetRequired)},
    {"news", kTagLink, link_param(kLinkNews, kNoTarget)},
    {"nuvra", kTagLink, link_param(kKindNuvra, kTargetRequired)},
    {"lumocmd", kTagLink, link_param(kKindLumo, kTargetRequired)},
    {"dialog", kTagLink, link_param(kLinkDialog, kTargetRequired)},
    {"depvar", kTagSynVar, 0}, {"depvars", kTagSynVar, 1}, {"depvarlist", kTagSynVar, 1},
    {"indepvars", kTagSynVar, 2}, {"newvar", kTagSynVar, 3}, {"varname", kTagSynVar, 4},
    {"var", kTagSynVar, 4}, {"varlist", kTagSynVar, 5}, {"vars", kTagSynVar, 5},
    {"ifin", kTagFixed, 0}, {"weight", kTagFixed, 1}, {"dtype", kTagFixed, 2},
    {"cmdab", kTagCmdab, 0}, {"opt", kTagOpt, 0}, {"opth", kTagOpt, 1},
    {"manhelp", kTagManhelp, 0}, {"manhelpi", kTagManhelp, 1},
    {"p2colset", kTagP2colset, 0}, {"p2colreset", kTagP2colreset, 0},
    {"p2col", kTagP2col, 0}, {"p2coldent", kTagP2col, 1},
    {"p2line", kTagP2line, 0}, {"p2linedent", kTagP2line, 1}, {"synoptline", kTagP2line, 1},
    {"synoptset", kTagSynoptset, 0}, {"synopt", kTagSynopt, 0},
    {"synopthdr", kTagSynopthdr, 0}, {"syntab", kTagSyntab, 0}, {"dlgtab", kTagDlgtab, 0},
    {"ccl", kTagCcl, 0},
};
constexpr int kTagCount = static_cast<int>(sizeof kTags / sizeof kTags[0]);

// First-line indent, subsequent indent and right margin of the presets.
constexpr int kPresets[][3] = {{4, 4, 2},   {4, 13, 2},  {4, 8, 2},   {8, 8, 2},
                               {8, 8, 2},   {8, 12, 2},  {12, 12, 2}, {12, 12, 2},
                               {12, 16, 2}, {16, 16, 2}, {16, 16, 2}};

constexpr const char* kSynVarNames[] = {"depvar",  "depvarlist", "indepvars",
                                        "newvar", "varname",    "varlist"};
constexpr const char* kFixedMarkup[] = {"[{it:{help if}}] [{it:{help in}}]",
                                        "[{it:{help weight}}]",
                                        "[{it:{help datatypes:type}}]"};

// Tags are found by their first character, then by comparing names.
struct TagIndex {
  std::array<uint8_t, kTagCount> order{};
  std::array<int16_t, 129> start{};
  TagIndex() {
    for (int i = 0; i < kTagCount; ++i) order[i] = static_cast<uint8_t>(i);
    std::stable_sort(order.begin(), order.end(), [](uint8_t a, uint8_t b) {
      return static_cast<unsigned char>(kTags[a].name[0]) <
             static_cast<unsigned char>(kTags[b].name[0]);
    });
    int k = 0;
    for (int c = 0; c <= 128; ++c) {
      while (k < kTagCount && static_cast<unsigned char>(kTags[order[k]].name[0]) < c) ++k;
      start[c] = static_cast<int16_t>(k);
    }
  }
};

const TagEntry* find_tag(std::string_view name) {
  static const TagIndex index;
  unsigned char c = static_cast<unsigned char>(name[0]);
  if (c >= 128) return nullptr;
  for (int k = index.start[c]; k < index.start[c + 1]; ++k) {
    const TagEntry& e = kTags[index.order[k]];
    if (name == e.name) return &e;
  }
  return nullptr;
}

using base::is_blank;

std::string_view trim(std::string_view s) { return base::trim_blanks(s); }

// Unsigned decimal, or signed when the tag allows it.
bool parse_number(std::string_view s, bool allow_sign, int* out) {
  bool neg = false;
  if (allow_sign && !s.empty() && (s[0] == '-' || s[0] == '+')) {
    neg = s[0] == '-';
    s.remove_prefix(1);
  }
  int v = 0;
  if (!base::parse_digits(s, 7, &v)) return false;
  *out = neg ? -v : v;
  return true;
}

// Markup built by expanding a tag; small expansions stay on the stack.
class Expansion {
 public:
  Expansion& operator<<(std::string_view s) {
    if (!big_.empty() || len_ + s.size() > sizeof small_) {
      if (big_.empty()) big_.assign(small_, len_);
      big_.append(s);
    } else {
      std::memcpy(small_ + len_, s.data(), s.size());
      len_ += s.size();
    }
    return *this;
  }
  std::string_view view() const {
    return big_.empty() ? std::string_view(small_, len_) : std::string_view(big_);
  }

 private:
  char small_[512];
  size_t len_ = 0;
  std::string big_;
};

}  // namespace

struct NmclTagArgs {
  std::string_view name;  // without a leading '?'
  std::string_view raw;   // argument text before the colon, trimmed
  int ntok = 0;
  bool many = false;  // more tokens than kept, or an over-long token
  // Only the first ntok are ever set or read; leaving the rest unset
  // keeps every tag from paying for clearing them.
  union {
    std::string_view tok[kMaxTokens];
  };
  bool has_text = false;
  std::string_view text;

  NmclTagArgs() {}
  bool no_args() const { return ntok == 0 && !many; }
  std::string_view target() const { return ntok == 1 && !many ? tok[0] : raw; }
  bool numbers(int* v, int count, bool allow_sign = false) const {
    if (ntok != count || many) return false;
    for (int i = 0; i < count; ++i)
      if (!parse_number(tok[i], allow_sign, &v[i])) return false;
    return true;
  }
};

namespace {

// Splits tag text into name, argument tokens and the text after the colon.
bool parse_tag(std::string_view s, NmclTagArgs* t) {
  size_t n = s.size(), i = 0;
  while (i < n && is_blank(s[i])) ++i;
  size_t j = i;
  while (j < n && !is_blank(s[j]) && s[j] != ':') ++j;
  std::string_view name = s.substr(i, j - i);
  if (name.empty() || name.size() > 13 || name[0] < '*' || name[0] > 'y') return false;
  t->name = name;
  size_t k = j, args_end = n;
  while (true) {
    while (k < n && is_blank(s[k])) ++k;
    if (k >= n) break;
    if (s[k] == ':') {
      args_end = k;
      t->has_text = true;
      t->text = s.substr(k + 1);
      break;
    }
    const size_t start = k;
    std::string_view value;
    if (s[k] == '"') {
      size_t e = s.find('"', k + 1);
      if (e == std::string_view::npos) return false;
      value = s.substr(k + 1, e - k - 1);
      k = e + 1;
    } else if (s[k] == '`' && k + 1 < n && s[k + 1] == '"') {
      int depth = 1;
      size_t m = k + 2;
      for (; m + 1 < n; ++m) {
        if (s[m] == '`' && s[m + 1] == '"') {
          ++depth;
          ++m;
        } else if (s[m] == '"' && s[m + 1] == '\'') {
          if (--depth == 0) break;
          ++m;
        }
      }
      if (depth != 0 || m + 1 >= n) return false;
      value = s.substr(k + 2, m - k - 2);
      k = m + 2;
    } else {
      size_t e = k;
      while (e < n && !is_blank(s[e]) && s[e] != ':') ++e;
      value = s.substr(k, e - k);
      k = e;
    }
    if (k - start >= 255) {
      // An over-long token ends the argument list: no numbers or names are
      // taken from it, but a link still sees the raw text as its target
      // (too long to record), and a colon after it introduces the text.
      t->many = true;
      size_t colon = s.find(':', k);
      args_end = colon == std::string_view::npos ? n : colon;
      if (colon != std::string_view::npos) {
        t->has_text = true;
        t->text = s.substr(colon + 1);
      }
      break;
    }
    if (t->ntok < kMaxTokens)
      t->tok[t->ntok++] = value;
    else
      t->many = true;
  }
  t->raw = trim(s.substr(j, args_end - j));
  if (t->ntok == 1 && !t->many) t->raw = t->tok[0];
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------

void NmclStream::render_with_style(uint8_t mask, uint8_t bits, std::string_view text) {
  uint8_t old = static_cast<uint8_t>(style_ & mask);
  style_ = static_cast<uint8_t>((style_ & ~mask) | bits);
  render_nested(text);
  style_ = static_cast<uint8_t>((style_ & ~mask) | old);
}

bool NmclStream::run_tag(std::string_view tag) {
  if (nesting_ > kMaxNesting) return false;
  if (nesting_ == 1 && !measuring_) own_measure_budget_ = kMeasureBudget;
  size_t i = 0;
  while (i < tag.size() && is_blank(tag[i])) ++i;
  if (i < tag.size() && tag[i] == '*') return true;  // comment
  TagArgs t;
  if (!parse_tag(tag, &t)) return false;
  bool optional = t.name[0] == '?';
  if (optional) t.name.remove_prefix(1);
  const TagEntry* e = t.name.empty() ? nullptr : find_tag(t.name);
  if (!e) {
    if (!optional) return false;
    if (t.has_text) render_nested(t.text);
    return true;
  }
  return run_known_tag(static_cast<int>(e - kTags), t);
}

bool NmclStream::run_known_tag(int index, const TagArgs& t) {
  const TagEntry& e = kTags[index];
  const bool line = mode_ == NmclMode::Line;
  const bool para = mode_ == NmclMode::Paragraph;
  const bool bare = t.no_args() && !t.has_text;
  int v[4] = {0, 0, 0, 0};

  switch (e.id) {
    case kTagColour:
    case kTagFont: {
      if (!t.no_args()) return false;
      uint8_t mask = e.id == kTagColour ? kStyleColourMask : kStyleFontMask;
      if (t.has_text)
        render_with_style(mask, static_cast<uint8_t>(e.param), t.text);
      else
        style_ = static_cast<uint8_t>((style_ & ~mask) | e.param);
      return true;
    }
    case kTagUnderline:
      if (t.has_text) {
        if (!t.no_args()) return false;
        render_with_style(kStyleUnderline, kStyleUnderline, t.text);
        return true;
      }
      if (t.ntok != 1 || t.many) return false;
      if (t.tok[0] == "on")
        style_ |= kStyleUnderline;
      else if (t.tok[0] == "off")
        style_ = static_cast<uint8_t>(style_ & ~kStyleUnderline);
      else
        return false;
      return true;
    case kTagReset:
      if (!bare) return false;
      style_ = static_cast<uint8_t>(kColourText | (style_ & kLinkBit));
      return true;
    case kTagHline: {
      if (t.has_text) return false;
      int n;
      if (t.no_args()) {
        if (!line) return false;
        n = width_ - col_;
      } else {
        if (!t.numbers(v, 1, true)) return false;
        n = v[0] < 0 ? width_ + v[0] - col_ : v[0];
      }
      if (n < 0 || n > 255) return false;
      if (para) {
        for (int k = 0; k < n; ++k)
          pend_append(kDrawHorizontal, static_cast<uint8_t>(style_ | kStyleDrawing));
      } else {
        draw_rule(n);
      }
      return true;
    }
    case kTagRule:
      if (!bare) return false;
      if (para) place_pending();
      if (!line_empty_) finish_line();
      draw_rule(width_ - col_);
      finish_line();
      newline_pending_ = false;
      sep_prev_ = 2;
      sep_spaces_ = 0;
      return true;
    case kTagChar: {
      if (t.ntok != 1 || t.many) return false;
      std::string_view name = t.tok[0];
      char diaeresis[2];
      if (t.has_text) {
        // The letters with a diaeresis end in the colon that otherwise
        // starts a tag's text: {c a:} is the name "a:" with no text.
        if (!t.text.empty() || name.size() != 1) return false;
        diaeresis[0] = name[0];
        diaeresis[1] = ':';
        name = std::string_view(diaeresis, 2);
      }
      uint8_t byte;
      bool drawing;
      if (!lookup_nmcl_char(name, charset_, &byte, &drawing)) return false;
      emit_glyph(byte, drawing ? static_cast<uint8_t>(style_ | kStyleDrawing) : style_);
      return true;
    }
    case kTagDup:
      if (!t.has_text || !t.numbers(v, 1) || v[0] > 999) return false;
      for (int k = 0; k < v[0]; ++k) render_nested(t.text);
      return true;
    case kTagSpace:
      if (t.has_text || !t.numbers(v, 1) || v[0] > 255) return false;
      pad(v[0]);
      return true;
    case kTagCol: {
      if (t.has_text || !t.numbers(v, 1) || v[0] > 255) return false;
      int target = std::max(v[0], 1) - 1;
      if (para) {
        place_pending();
        pad_direct_to(target);
        sep_prev_ = 2;
        sep_spaces_ = 0;
      } else if (col_ < target) {
        pad(target - col_);
      }
      return true;
    }
    case kTagTab:
      if (!bare) return false;
      if (para)
        para_spaces(2);
      else
        pad(8 - col_ % 8);
      return true;
    case kTagRight:
    case kTagCenter:
    case kTagAlign:
    case kTagTitle:
      return tag_align(index, t);
    case kTagJoin:
      if (!bare) return false;
      if (line) newline_pending_ = false;
      return true;
    case kTagBreak:
      if (!bare || nesting_ != 1) return false;
      if (para) place_pending();
      finish_line();
      if (para) {
        para_lines_ = 0;
        sep_prev_ = 2;
        sep_spaces_ = 0;
      }
      return true;
    case kTagP:
    case kTagPreset:
    case kTagPEnd:
      return tag_paragraph(index, t);
    case kTagBind:
      if (!t.has_text || !t.no_args()) return false;
      if (para) ++bind_depth_;
      render_nested(t.text);
      if (para) --bind_depth_;
      return true;
    case kTagAsis:
      if (!bare || nesting_ != 1) return false;
      change_mode(NmclMode::Asis);
      return true;
    case kTagS6hlp:
      if (!bare) return false;
      change_mode(NmclMode::S6hlp);
      return true;
    case kTagMarker:
      if (t.has_text || t.ntok != 1 || t.many) return false;
      add_marker(t.tok[0]);
      return true;
    case kTagNewpage:
      if (!bare) return false;
      add_marker("\f");
      return true;
    case kTagLink:
      return tag_link(index, t);
    case kTagSynVar:
    case kTagFixed:
    case kTagCmdab:
    case kTagOpt:
    case kTagManhelp:
      return tag_syntax(index, t);
    case kTagP2colset:
    case kTagP2colreset:
    case kTagP2col:
    case kTagP2line:
    case kTagSynoptset:
    case kTagSynopt:
    case kTagSynopthdr:
    case kTagSyntab:
    case kTagDlgtab:
      return tag_two_column(index, t);
    case kTagCcl: {
      if (t.has_text || t.ntok != 1 || t.many) return false;
      const CclHook* hook = ccl_hook_ ? &ccl_hook_ : parent_ccl_;
      if (hook && *hook) {
        std::string value = (*hook)(t.tok[0]);
        if (value.size() > 499) value.resize(499);
        render_literal(value);
      }
      return true;
    }
  }
  return false;
}

// {right}, {center}/{rcenter}, {ralign}/{lalign} and {title}.
bool NmclStream::tag_align(int index, const TagArgs& t) {
  const TagEntry& e = kTags[index];
  const bool line = mode_ == NmclMode::Line;
  if (!t.has_text) return false;
  int v[1] = {0};
  switch (e.id) {
    case kTagRight: {
      if (!t.no_args()) return false;
      if (!line) {
        render_nested(t.text);
        return true;
      }
      int len = measure(t.text);
      if (len <= width_ - col_) {
        pad(width_ - col_ - len);
      } else if (len <= width_) {
        finish_line();
        pad(width_ - len);
      }
      render_nested(t.text);
      return true;
    }
    case kTagCenter: {
      bool field = !t.no_args();
      if (field && (!t.numbers(v, 1) || v[0] > 255)) return false;
      if (!line) {
        render_nested(t.text);
        return true;
      }
      int len = measure(t.text);
      int room = (field ? v[0] : width_ - col_) - len;
      if (room <= 0) {
        render_nested(t.text);
        return true;
      }
      int left = e.param ? room - room / 2 : room / 2;
      pad(left);
      render_nested(t.text);
      if (field) pad(room - left);
      return true;
    }
    case kTagAlign: {
      if (!t.numbers(v, 1) || v[0] > 255) return false;
      int room = v[0] - measure(t.text);
      if (e.param) pad(room);
      render_nested(t.text);
      if (!e.param) pad(room);
      return true;
    }
    case kTagTitle: {
      if (!t.no_args()) return false;
      if (!line) {
        render_nested(t.text);
        return true;
      }
      int start = col_;
      int before = placed_;
      uint8_t bits = static_cast<uint8_t>(kStyleBold | (title_style_ ? kStyleUnderline : 0));
      render_with_style(kStyleFontMask | kStyleUnderline, bits, t.text);
      if (!title_style_) {
        int len = placed_ - before;
        finish_line();
        pad(start);
        draw_rule(std::min(len, width_ - col_));
      }
      return true;
    }
    default:
      return false;
  }
}

// {p}, the presets and {p_end}.
bool NmclStream::tag_paragraph(int index, const TagArgs& t) {
  const TagEntry& e = kTags[index];
  if (t.has_text || nesting_ != 1) return false;
  switch (e.id) {
    case kTagP: {
      int v[4] = {0, 0, 0, 0};
      if (t.many || t.ntok > 4 || !t.numbers(v, t.ntok)) return false;
      return start_paragraph(v[0], v[1], v[2], v[3], t.ntok == 4);
    }
    case kTagPreset: {
      if (!t.no_args()) return false;
      const int* p = kPresets[e.param];
      return start_paragraph(p[0], p[1], p[2], 0, false);
    }
    case kTagPEnd:
      if (!t.no_args()) return false;
      // Outside a paragraph there is nothing to end.
      if (mode_ == NmclMode::Paragraph) {
        release_partial();
        end_paragraph(false);
        newline_pending_ = true;
        skip_newline_ = true;
      }
      return true;
    default:
      return false;
  }
}

bool NmclStream::tag_link(int index, const TagArgs& t) {
  const TagEntry& e = kTags[index];
  int kind = e.param & 0xFF;
  int rule = (e.param >> 8) & 0xF;
  bool bold = (e.param >> 12) & 1;
  if (kind == kKindNuvra) kind = nuvra_link_kind_;
  if (kind == kKindLumo) kind = lumo_link_kind_;
  std::string_view target = t.target();
  if (rule == kNoTarget && (!t.no_args() || !t.has_text)) return false;
  if (rule == kTargetRequired && target.empty()) return false;
  if (link_live_) return false;  // links do not nest

  if (mode_ == NmclMode::Paragraph && pend_link_chars_ > 0) {
    // The pending word still holds the previous link's text.
    place_pending();
    sep_prev_ = 2;
    sep_spaces_ = 0;
  }
  if (open_entry_ >= 0) close_link_entry(col_);
  bool recorded = begin_link(static_cast<uint8_t>(kind), target);
  uint8_t old = style_;
  style_ = static_cast<uint8_t>((style_ & ~kStyleColourMask) | kColourLink);
  if (bold) style_ = static_cast<uint8_t>((style_ & ~kStyleFontMask) | kStyleBold);
  if (recorded) style_ |= kLinkBit;
  link_live_ = recorded;
  if (t.has_text)
    render_nested(t.text);
  else if (!target.empty())
    render_literal(target);
  else
    render_literal(e.name);
  style_ = old;
  if (recorded) end_link();
  return true;
}

// Syntax-diagram tags that expand to other markup.
bool NmclStream::tag_syntax(int index, const TagArgs& t) {
  const TagEntry& e = kTags[index];
  Expansion x;
  switch (e.id) {
    case kTagSynVar: {
      if (!t.no_args()) return false;
      std::string_view name = kSynVarNames[e.param];
      if (t.has_text)
        x << "{it:{help " << name << ":" << name << t.text << "}}";
      else
        x << "{it:{help " << name << "}}";
      break;
    }
    case kTagFixed:
      if (!t.no_args() || t.has_text) return false;
      x << kFixedMarkup[e.param];
      break;
    case kTagCmdab: {
      if (!t.has_text || !t.no_args()) return false;
      // The abbreviation ends at the first colon outside braces.
      std::string_view text = t.text;
      size_t cut = std::string_view::npos;
      int depth = 0;
      for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '{') ++depth;
        if (text[k] == '}') --depth;
        if (text[k] == ':' && depth == 0) {
          cut = k;
          break;
        }
      }
      std::string_view ab = text.substr(0, cut);
      std::string_view rest = cut == std::string_view::npos ? "" : text.substr(cut + 1);
      uint8_t ab_bits = static_cast<uint8_t>(kColourHilite | (title_style_ ? kStyleUnderline : 0));
      render_with_style(kStyleColourMask | kStyleUnderline, ab_bits, ab);
      if (title_style_)
        render_with_style(kStyleColourMask, kColourHilite, rest);
      else
        render_nested(rest);
      return true;
    }
    case kTagOpt: {
      if (t.has_text ? (t.ntok != 1 || t.many) : t.raw.empty()) return false;
      std::string_view body = t.has_text ? t.text : t.raw;
      size_t paren = body.find('(');
      std::string_view base = body.substr(0, paren);
      if (t.has_text)
        x << "{cmdab:" << t.tok[0] << ":" << base << "}";
      if (paren == std::string_view::npos) {
        if (!t.has_text) x << "{cmd:" << base << "}";
        break;
      }
      std::string_view arg = body.substr(paren + 1);
      if (!arg.empty() && arg.back() == ')') arg.remove_suffix(1);
      if (arg.empty()) {
        x << "{cmd:" << (t.has_text ? "" : base) << "()}";
        break;
      }
      if (t.has_text)
        x << "{cmd:(}";
      else
        x << "{cmd:" << base << "(}";
      if (e.param)
        x << "{it:{help " << arg << "}}";
      else
        x << "{it:" << arg << "}";
      x << "{cmd:)}";
      break;
    }
    case kTagManhelp: {
      if (t.ntok != 2 || t.many) return false;
      std::string_view name = t.tok[0], section = t.tok[1];
      std::string_view shown = t.has_text ? t.text : name;
      if (e.param == 0)
        x << "{help " << name << ":{bf:[" << section << "] " << shown << "}}";
      else
        x << "{help " << name << ":{bf:[" << section << "]} {it:" << shown << "}}";
      break;
    }
    default:
      return false;
  }
  render_nested(x.view());
  return true;
}

// A two-column paragraph: first column text at c1, the rest flowing from
// c2 and continuing at c3.
bool NmclStream::p2col_start(int c1, int c2, int c3, int c4, std::string_view first) {
  if (!start_paragraph(std::max(c1 - 1, 0), std::max(c3 - 1, 0), std::max(c4, 0), 0, false))
    return false;
  render_nested(first);
  place_pending();
  int target = c2 - 1;
  if (col_ >= target)
    finish_line();
  else
    pad_direct_to(target);
  sep_prev_ = 2;
  sep_spaces_ = 0;
  return true;
}

bool NmclStream::tag_two_column(int index, const TagArgs& t) {
  const TagEntry& e = kTags[index];
  const bool line = mode_ == NmclMode::Line;
  int v[4] = {0, 0, 0, 0};
  // Headings and rules of option tables start this far from the first column.
  const int dent_col = std::max(1, p2_[0] + p2_[4]);
  switch (e.id) {
    case kTagP2colset: {
      if (t.has_text || !t.numbers(v, 4)) return false;
      for (int k = 0; k < 3; ++k) v[k] = std::max(v[k], 1);
      for (int k = 0; k < 4; ++k)
        if (v[k] > 255) return false;
      if (v[1] <= v[0]) return false;
      std::copy(v, v + 4, p2_);
      return true;
    }
    case kTagP2colreset: {
      if (!t.no_args() || t.has_text) return false;
      const int defaults[5] = {1, 31, 35, 0, 2};
      std::copy(defaults, defaults + 5, p2_);
      return true;
    }
    case kTagP2col:
    case kTagSynopt: {
      if (!t.has_text || nesting_ != 1) return false;
      int c[4] = {p2_[0], p2_[1], p2_[2], p2_[3]};
      if (e.id == kTagP2col && !t.no_args()) {
        if (!t.numbers(v, 4)) return false;
        for (int k = 0; k < 4; ++k) {
          if (v[k] > 255) return false;
          c[k] = k < 3 ? std::max(v[k], 1) : v[k];
        }
      } else if (!t.no_args()) {
        return false;
      }
      if (e.id == kTagP2col && e.param == 1) c[0] = std::max(1, c[0] + p2_[4]);
      return p2col_start(c[0], c[1], c[2], c[3], t.text);
    }
    case kTagP2line: {
      if (t.has_text) return false;
      int start = e.param ? dent_col : p2_[0];
      int margin = p2_[3];
      if (!t.no_args()) {
        if (!t.numbers(v, 2) || v[0] > 255 || v[1] > 255) return false;
        start += v[0];
        margin = v[1];
      }
      if (mode_ == NmclMode::Paragraph) place_pending();
      pad_direct_to(start - 1);
      draw_rule(std::max(0, p2_[1] - start - 2));
      pad_direct_to(p2_[1] - 1);
      draw_rule(std::max(0, width_ - margin - col_));
      sep_prev_ = 2;
      sep_spaces_ = 0;
      return true;
    }
    case kTagSynoptset: {
      if (t.has_text || t.many || t.ntok > 2) return false;
      int w = 20, layout = 0, k = 0;
      if (k < t.ntok && parse_number(t.tok[k], false, &w)) ++k;
      if (k < t.ntok) {
        if (t.tok[k] == "tabbed")
          layout = 1;
        else if (t.tok[k] == "notes")
          layout = 2;
        else
          return false;
        ++k;
      }
      if (k != t.ntok) return false;
      int c1 = 5 + 2 * layout, c2 = w + 7 + (layout == 2 ? 2 : 0), c3 = c2 + 2;
      if (c3 > 255) return false;
      p2_[0] = c1;
      p2_[1] = c2;
      p2_[2] = c3;
      p2_[3] = 2;
      p2_[4] = -2 * layout;
      return true;
    }
    case kTagSynopthdr:
      if (!t.no_args()) return false;
      if (!line) {
        if (t.has_text) render_nested(t.text);
        return true;
      }
      pad_direct_to(dent_col - 1);
      if (t.has_text)
        render_nested(t.text);
      else
        render_literal("options");
      pad_direct_to(p2_[1] - 1);
      render_literal("description");
      return true;
    case kTagSyntab:
      if (!t.has_text || !t.no_args()) return false;
      if (!line) {
        render_nested(t.text);
        return true;
      }
      pad_direct_to(dent_col - 1);
      render_with_style(kStyleUnderline, kStyleUnderline, t.text);
      return true;
    case kTagDlgtab: {
      if (!t.has_text || t.many || t.ntok > 2 || !t.numbers(v, t.ntok)) return false;
      if (v[0] > 255 || v[1] > 255) return false;
      if (!line) {
        render_nested(t.text);
        return true;
      }
      pad_direct_to(v[0]);
      draw_rule(2);
      pad(1);
      render_with_style(kStyleFontMask, kStyleBold, t.text);
      pad(1);
      draw_rule(std::max(0, width_ - v[1] - col_));
      return true;
    }
    default:
      return false;
  }
}

}  // namespace nuvra::output
