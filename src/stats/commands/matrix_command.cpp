// The `matrix` command: define, list, the row and column stripes, drop,
// dir, rename, and the decompositions symeigen and svd.  The accumulation
// subcommands (accum, vecaccum, score) live in matrix_accum.cpp.
#include <lapacke.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "data/commands/commands.h"
#include "data/format.h"
#include "data/missing.h"
#include "data/varlist.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"
#include "stats/matexpr.h"
#include "stats/commands/matrix_command.h"

namespace nuvra {

using stats::Matrix;

namespace stats {

std::vector<std::string> split_words(std::string_view s) {
  std::vector<std::string> out;
  size_t i = 0;
  while (true) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= s.size()) break;
    size_t e = i;
    if (s[i] == '"') {
      e = s.find('"', i + 1);
      if (e == std::string_view::npos) e = s.size() - 1;
      out.emplace_back(s.substr(i + 1, e - i - 1));
      i = e + 1;
      continue;
    }
    while (e < s.size() && s[e] != ' ' && s[e] != '\t') ++e;
    out.emplace_back(s.substr(i, e - i));
    i = e;
  }
  return out;
}

std::vector<MatOption> split_matrix_options(std::string_view s) {
  std::vector<MatOption> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= s.size()) break;
    size_t e = i;
    while (e < s.size() && s[e] != ' ' && s[e] != '\t' && s[e] != '(') ++e;
    MatOption o;
    o.name = std::string(s.substr(i, e - i));
    if (e < s.size() && s[e] == '(') {
      int depth = 0;
      size_t k = e;
      for (; k < s.size(); ++k) {
        if (s[k] == '"') {
          size_t q = s.find('"', k + 1);
          if (q == std::string_view::npos) break;
          k = q;
          continue;
        }
        if (s[k] == '(') ++depth;
        if (s[k] == ')' && --depth == 0) break;
      }
      o.has_args = true;
      o.args = std::string(trim(s.substr(e + 1, (k < s.size() ? k : s.size()) - e - 1)));
      if (o.args.size() >= 2 && o.args.front() == '"' && o.args.back() == '"') o.args = o.args.substr(1, o.args.size() - 2);
      e = k < s.size() ? k + 1 : k;
    }
    out.push_back(std::move(o));
    i = e;
  }
  return out;
}

rc_t check_matsize(Interp& ip, const Matrix& m) {
  if (m.rows > ip.matsize || m.cols > ip.matsize) return rc_message(ip, 908);
  return 0;
}

rc_t store_matrix(Interp& ip, const std::string& name, Matrix m) {
  if (rc_t rc = check_matsize(ip, m)) return rc;
  ip.matrices[name] = std::move(m);
  return 0;
}

}  // namespace stats

namespace {

using stats::MatOption;

rc_t bad_name(Interp& ip, std::string_view name) {
  if (name.empty()) return msg_invalid(ip, "syntax");
  return msg_quoting(ip.out, "", name, " invalid name\n", 198);
}

rc_t not_found(Interp& ip, std::string_view name) {
  return msg_quoting(ip.out, "matrix ", name, " not found\n", 111);
}

// `matrix input` lets blanks separate the numbers of a row: "(1 2 \ 3 4)"
// reads as "(1,2\3,4)".
std::string input_commas(std::string_view t) {
  std::string out;
  for (size_t i = 0; i < t.size(); ++i) {
    char c = t[i];
    if (c != ' ' && c != '\t') {
      out += c;
      continue;
    }
    size_t j = i;
    while (j < t.size() && (t[j] == ' ' || t[j] == '\t')) ++j;
    char before = out.empty() ? '\0' : out.back();
    char after = j < t.size() ? t[j] : '\0';
    bool ends = is_name_char(before) || before == '.' || before == ')';
    bool starts = is_name_char(after) || after == '.' || after == '-' || after == '+' || after == '(';
    if (ends && starts) out += ',';
    i = j - 1;
  }
  return out;
}

// matrix [define] name = exp  |  matrix name[i,j] = exp
rc_t matrix_define(Interp& ip, std::string_view rest, bool input = false) {
  std::string_view name = cut_name(rest);
  if (!stats::valid_matrix_name(name)) return bad_name(ip, name);
  std::string subscript;
  if (!rest.empty() && rest.front() == '[') {
    int depth = 0;
    size_t k = 0;
    for (; k < rest.size(); ++k) {
      if (rest[k] == '[') ++depth;
      if (rest[k] == ']' && --depth == 0) break;
    }
    if (k >= rest.size()) return msg_invalid(ip, "syntax");
    subscript = std::string(rest.substr(1, k - 1));
    rest = trim(rest.substr(k + 1));
  }
  if (rest.empty() || rest.front() != '=') return msg_invalid(ip, "syntax");
  rest = trim(rest.substr(1));
  if (rest.empty()) return msg_invalid(ip, "syntax");
  Matrix value;
  bool scalar = false;
  std::string text = input ? input_commas(rest) : std::string(rest);
  if (rc_t rc = stats::eval_matrix(ip, text, &value, &scalar)) return rc;
  if (subscript.empty()) {
    if (value.rows == 0 || value.cols == 0) return rc_message(ip, 503);
    return stats::store_matrix(ip, std::string(name), std::move(value));
  }
  // An element, or a block placed with its top left corner at [i,j].
  auto it = ip.matrices.find(std::string(name));
  if (it == ip.matrices.end()) return not_found(ip, name);
  size_t comma = subscript.find(',');
  if (comma == std::string::npos) return msg_invalid(ip, "syntax");
  Matrix ri, ci;
  if (rc_t rc = stats::eval_matrix(ip, subscript.substr(0, comma), &ri)) return rc;
  if (rc_t rc = stats::eval_matrix(ip, subscript.substr(comma + 1), &ci)) return rc;
  if (ri.v.size() != 1 || ci.v.size() != 1) return rc_message(ip, 503);
  Matrix& m = it->second;
  double r = ri.v[0], c = ci.v[0];
  if (!(r >= 1 && r < m.rows + 1 && c >= 1 && c < m.cols + 1)) return rc_message(ip, 503);
  int i0 = static_cast<int>(r) - 1, j0 = static_cast<int>(c) - 1;
  if (i0 + value.rows > m.rows || j0 + value.cols > m.cols) return rc_message(ip, 503);
  for (int i = 0; i < value.rows; ++i)
    for (int j = 0; j < value.cols; ++j) m.at(i0 + i, j0 + j) = value.at(i, j);
  return 0;
}

// ---- matrix list ---------------------------------------------------------

struct ListOptions {
  data::Format fmt;
  std::string title;
  bool blank = true, half = true, header = true, names = true;
};

void list_matrix(Interp& ip, const std::string& name, const Matrix& m, const ListOptions& o) {
  output::Output& out = ip.out;
  bool half = o.half && m.rows > 1 && m.symmetric();
  out.set_class(output::OutClass::Text);
  if (o.blank) out.print_markup("\n");
  if (o.header) {
    if (half) out.print_markup("symmetric ");
    out.print_plain(name);
    out.printf_markup("[%d,%d]", m.rows, m.cols);
    if (!o.title.empty()) {
      out.print_markup(":  ");
      out.print_plain(o.title);
    }
    out.print_markup("\n");
  }
  if (m.rows == 0 || m.cols == 0) return;
  const int fw = o.fmt.width;
  size_t label_w = 1;
  if (o.names)
    for (int i = 0; i < m.rows; ++i) label_w = std::max(label_w, m.row_label(i).size());
  std::vector<int> width(static_cast<size_t>(m.cols));
  bool col_eq = o.names && m.any_equation_cols();
  for (int j = 0; j < m.cols; ++j) {
    size_t w = static_cast<size_t>(fw);
    if (o.names) w = std::max(w, m.colnames[j].size());
    if (col_eq) w = std::max(w, m.coleq[j].size());
    width[j] = static_cast<int>(w);
  }
  char buf[data::kRenderBufferSize];
  int first = 0;
  while (first < m.cols) {
    // As many columns as fit on the line; at least one.
    int last = first;
    int used = static_cast<int>(label_w) + 1 + width[first];
    while (last + 1 < m.cols && used + 1 + width[last + 1] <= ip.linesize) used += 1 + width[++last];
    if (first > 0) out.print_markup("\n");
    if (o.names) {
      out.set_class(output::OutClass::Text);
      if (col_eq) {
        // Each equation's name over its first column; no trailing blanks.
        std::string line(label_w, ' ');
        for (int j = first; j <= last; ++j) {
          bool show = j == first || m.coleq[j] != m.coleq[j - 1];
          std::string t = show ? m.coleq[j] : "";
          line += ' ' + std::string(static_cast<size_t>(width[j]) - t.size(), ' ') + t;
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out.print_plain(line);
        out.print_markup("\n");
      }
      out.printf_markup("%*s", static_cast<int>(label_w), "");
      for (int j = first; j <= last; ++j) {
        out.print_markup(" ");
        const std::string& t = m.colnames[j];
        out.print_plain(std::string(static_cast<size_t>(width[j]) - t.size(), ' ') + t);
      }
      out.print_markup("\n");
    }
    for (int i = 0; i < m.rows; ++i) {
      if (half && i < first) continue;
      out.set_class(output::OutClass::Text);
      std::string label = o.names ? m.row_label(i) : "";
      out.print_plain(label + std::string(label_w - label.size(), ' '));
      out.set_class(output::OutClass::Result);
      for (int j = first; j <= last && (!half || j <= i); ++j) {
        data::render_shown(o.fmt, m.at(i, j), buf, sizeof buf);
        std::string t = buf;
        if (static_cast<int>(t.size()) < width[j]) t = std::string(static_cast<size_t>(width[j]) - t.size(), ' ') + t;
        out.print_markup(" ");
        out.print_plain(t);
      }
      out.print_markup("\n");
    }
    first = last + 1;
  }
}

rc_t matrix_list(Interp& ip, std::string_view rest) {
  std::string_view args = rest, opts;
  size_t comma = rest.find(',');
  if (comma != std::string_view::npos) {
    args = rest.substr(0, comma);
    opts = rest.substr(comma + 1);
  }
  std::string name(trim(args));
  if (name.empty()) return msg_invalid(ip, "syntax");
  ListOptions o;
  data::parse_format("%10.0g", &o.fmt);
  for (const MatOption& op : stats::split_matrix_options(opts)) {
    if (abbreviates(op.name, "format", 1) && op.has_args) {
      if (!data::parse_format(op.args, &o.fmt) || !data::is_numeric_format(o.fmt) ||
          o.fmt.kind == data::FormatKind::kDate)
        return msg_quoting(ip.out, "invalid format ", op.args, "\n", 120);
    } else if (abbreviates(op.name, "title", 1) && op.has_args) {
      o.title = op.args;
    } else if (op.name == "noblank") {
      o.blank = false;
    } else if (op.name == "nohalf") {
      o.half = false;
    } else if (abbreviates(op.name, "noheader", 5)) {
      o.header = false;
    } else if (abbreviates(op.name, "nonames", 5)) {
      o.names = false;
    } else {
      return msg_quoting(ip.out, "option ", op.name, " not allowed\n", 198);
    }
  }
  const Matrix* m = stats::lookup_matrix(ip, name);
  if (!m) return not_found(ip, name);
  Matrix copy = *m;
  list_matrix(ip, name, copy, o);
  return 0;
}

// ---- stripes -------------------------------------------------------------

// matrix rownames|colnames|roweq|coleq A = words
rc_t matrix_stripe(Interp& ip, std::string_view rest, bool rows, bool eq) {
  std::string_view name = cut_name(rest);
  if (name.empty()) return msg_invalid(ip, "syntax");
  if (rest.empty() || rest.front() != '=') return msg_invalid(ip, "syntax");
  auto it = ip.matrices.find(std::string(name));
  if (it == ip.matrices.end()) return not_found(ip, name);
  Matrix& m = it->second;
  std::vector<std::string> words = stats::split_words(rest.substr(1));
  int n = rows ? m.rows : m.cols;
  if (words.empty()) return msg_invalid(ip, "syntax");
  for (const std::string& w : words)
    if (w.size() > 65) return msg_quoting(ip.out, "", w, " invalid name\n", 198);
  std::vector<std::string>& names = rows ? m.rownames : m.colnames;
  std::vector<std::string>& eqs = rows ? m.roweq : m.coleq;
  if (eq) {
    if (words.size() == 1) words.assign(static_cast<size_t>(n), words[0]);
    if (static_cast<int>(words.size()) != n) return rc_message(ip, 503);
    for (int k = 0; k < n; ++k) {
      std::string e = words[k];
      if (!e.empty() && e.back() == ':') e.pop_back();
      eqs[k] = e == "_" ? "" : e;
    }
    return 0;
  }
  if (static_cast<int>(words.size()) != n) return rc_message(ip, 503);
  for (int k = 0; k < n; ++k) {
    std::string e, nm;
    stats::split_label(words[k], &e, &nm);
    if (nm.empty()) return rc_message(ip, 550);
    names[k] = nm;
    if (words[k].find(':') != std::string::npos) eqs[k] = e;
  }
  return 0;
}

// ---- drop, dir, rename ---------------------------------------------------

rc_t matrix_drop(Interp& ip, std::string_view rest) {
  std::vector<std::string> words = stats::split_words(rest);
  if (words.empty()) return msg_invalid(ip, "syntax");
  if (words.size() == 1 && words[0] == "_all") {
    ip.matrices.clear();
    return 0;
  }
  std::vector<std::string> names;
  for (const std::string& w : words) {
    bool any = false;
    for (const auto& [n, m] : ip.matrices)
      if (data::varlist_pattern_match(w, n)) {
        names.push_back(n);
        any = true;
      }
    if (!any) return not_found(ip, w);
  }
  for (const std::string& n : names) ip.matrices.erase(n);
  return 0;
}

rc_t matrix_dir(Interp& ip, std::string_view rest) {
  if (!trim(rest).empty()) return msg_invalid(ip, "syntax");
  ip.out.set_class(output::OutClass::Text);
  for (const auto& [n, m] : ip.matrices) {
    ip.out.printf_markup("%13s", n.c_str());
    ip.out.printf_markup("[%d,%d]\n", m.rows, m.cols);
  }
  return 0;
}

rc_t matrix_rename(Interp& ip, std::string_view rest) {
  std::vector<std::string> words = stats::split_words(rest);
  if (words.size() != 2) return msg_invalid(ip, "syntax");
  auto it = ip.matrices.find(words[0]);
  if (it == ip.matrices.end()) return not_found(ip, words[0]);
  if (!stats::valid_matrix_name(words[1])) return bad_name(ip, words[1]);
  if (words[1] == words[0]) return 0;
  if (ip.matrices.count(words[1])) return msg_already_defined(ip, "matrix " + words[1]);
  Matrix m = std::move(it->second);
  ip.matrices.erase(it);
  ip.matrices[words[1]] = std::move(m);
  return 0;
}

// ---- decompositions ------------------------------------------------------

// Makes the sign of each column of `vec` (rows x k, row-major) such that
// its first element that is not negligibly small is positive, flipping the
// matching column of `other` too; so that results do not depend on the
// LAPACK build.
void orient_columns(std::vector<double>& vec, int rows, int k, std::vector<double>* other, int other_rows) {
  for (int j = 0; j < k; ++j) {
    double big = 0;
    for (int i = 0; i < rows; ++i) big = std::max(big, std::fabs(vec[static_cast<size_t>(i) * k + j]));
    for (int i = 0; i < rows; ++i) {
      double x = vec[static_cast<size_t>(i) * k + j];
      if (std::fabs(x) <= 1e-12 * big) continue;
      if (x < 0) {
        for (int r = 0; r < rows; ++r) vec[static_cast<size_t>(r) * k + j] = -vec[static_cast<size_t>(r) * k + j];
        if (other)
          for (int r = 0; r < other_rows; ++r) (*other)[static_cast<size_t>(r) * k + j] = -(*other)[static_cast<size_t>(r) * k + j];
      }
      break;
    }
  }
}

// matrix symeigen X v = A
rc_t matrix_symeigen(Interp& ip, std::string_view rest) {
  std::vector<std::string> w = stats::split_words(rest);
  if (w.size() != 4 || w[2] != "=") return msg_invalid(ip, "syntax");
  if (!stats::valid_matrix_name(w[0])) return bad_name(ip, w[0]);
  if (!stats::valid_matrix_name(w[1])) return bad_name(ip, w[1]);
  Matrix a;
  if (rc_t rc = stats::eval_matrix(ip, w[3], &a)) return rc;
  if (rc_t rc = stats::check_matsize(ip, a)) return rc;
  if (!a.square()) return rc_message(ip, 505);
  if (a.has_missing()) return rc_message(ip, 504);
  if (!a.symmetric()) return rc_message(ip, 505);
  int n = a.rows;
  std::vector<double> z = a.v, eig(static_cast<size_t>(n));
  lapack_int info = LAPACKE_dsyev(LAPACK_ROW_MAJOR, 'V', 'U', n, z.data(), n, eig.data());
  if (info < 0) return rc_message(ip, 3930);
  if (info > 0) return msg_quoting(ip.out, "eigenvalues did not converge\n", "", "", 430);
  // LAPACK returns ascending order; the largest comes first here.
  Matrix vecs = Matrix::make(n, n), vals = Matrix::make(1, n);
  for (int j = 0; j < n; ++j) {
    vals.at(0, j) = eig[static_cast<size_t>(n - 1 - j)];
    for (int i = 0; i < n; ++i) vecs.at(i, j) = z[static_cast<size_t>(i) * n + (n - 1 - j)];
  }
  orient_columns(vecs.v, n, n, nullptr, 0);
  vecs.rownames = a.rownames;
  vecs.roweq = a.roweq;
  for (int j = 0; j < n; ++j) vecs.colnames[j] = vals.colnames[j] = "e" + std::to_string(j + 1);
  vals.rownames[0] = "r1";
  if (rc_t rc = stats::store_matrix(ip, w[0], std::move(vecs))) return rc;
  return stats::store_matrix(ip, w[1], std::move(vals));
}

// matrix svd U w V = A   (A = U diag(w) V', A m x n with m >= n)
rc_t matrix_svd(Interp& ip, std::string_view rest) {
  std::vector<std::string> w = stats::split_words(rest);
  if (w.size() != 5 || w[3] != "=") return msg_invalid(ip, "syntax");
  for (int k = 0; k < 3; ++k)
    if (!stats::valid_matrix_name(w[k])) return bad_name(ip, w[k]);
  Matrix a;
  if (rc_t rc = stats::eval_matrix(ip, w[4], &a)) return rc;
  if (rc_t rc = stats::check_matsize(ip, a)) return rc;
  if (a.has_missing()) return rc_message(ip, 504);
  int m = a.rows, n = a.cols;
  if (m < n) return rc_message(ip, 503);
  std::vector<double> work = a.v, s(static_cast<size_t>(n)), u(static_cast<size_t>(m) * n),
                      vt(static_cast<size_t>(n) * n), superb(static_cast<size_t>(n > 1 ? n - 1 : 1));
  lapack_int info = LAPACKE_dgesvd(LAPACK_ROW_MAJOR, 'S', 'A', m, n, work.data(), n, s.data(), u.data(), n,
                                   vt.data(), n, superb.data());
  if (info < 0) return rc_message(ip, 3930);
  if (info > 0) return msg_quoting(ip.out, "singular value decomposition did not converge\n", "", "", 430);
  std::vector<double> v(static_cast<size_t>(n) * n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) v[static_cast<size_t>(i) * n + j] = vt[static_cast<size_t>(j) * n + i];
  orient_columns(v, n, n, &u, m);
  Matrix U = Matrix::make(m, n), W = Matrix::make(1, n), V = Matrix::make(n, n);
  U.v = u;
  W.v = s;
  V.v = v;
  U.rownames = a.rownames;
  U.roweq = a.roweq;
  W.colnames = a.colnames;
  W.coleq = a.coleq;
  V.rownames = a.colnames;
  V.roweq = a.coleq;
  if (rc_t rc = stats::store_matrix(ip, w[0], std::move(U))) return rc;
  if (rc_t rc = stats::store_matrix(ip, w[1], std::move(W))) return rc;
  return stats::store_matrix(ip, w[2], std::move(V));
}

}  // namespace

// matrix subcommand ... | matrix name = exp
rc_t cmd_matrix(Interp& ip) {
  std::string_view rest = trim(ip.reader.rest());
  std::string_view probe = rest;
  std::string_view first = cut_name(probe);
  if (first.empty()) return msg_invalid(ip, "syntax");
  // A name followed by = or [ is a definition whatever the name.
  if (!probe.empty() && (probe.front() == '=' || probe.front() == '[')) return matrix_define(ip, rest);
  std::string sub(first);
  if (abbreviates(sub, "define", 2)) return matrix_define(ip, probe);
  if (abbreviates(sub, "input", 2)) return matrix_define(ip, probe, true);
  if (abbreviates(sub, "list", 1)) return matrix_list(ip, probe);
  if (abbreviates(sub, "rownames", 4) || abbreviates(sub, "rownames", 7)) return matrix_stripe(ip, probe, true, false);
  if (abbreviates(sub, "colnames", 4)) return matrix_stripe(ip, probe, false, false);
  if (sub == "roweq") return matrix_stripe(ip, probe, true, true);
  if (sub == "coleq") return matrix_stripe(ip, probe, false, true);
  if (sub == "drop") return matrix_drop(ip, probe);
  if (sub == "dir") return matrix_dir(ip, probe);
  if (abbreviates(sub, "rename", 3)) return matrix_rename(ip, probe);
  if (abbreviates(sub, "accum", 1)) return stats::matrix_accum(ip, probe);
  if (abbreviates(sub, "vecaccum", 4)) return stats::matrix_vecaccum(ip, probe);
  if (abbreviates(sub, "score", 3)) return stats::matrix_score(ip, probe);
  if (abbreviates(sub, "symeigen", 4)) return matrix_symeigen(ip, probe);
  if (sub == "svd") return matrix_svd(ip, probe);
  return msg_invalid(ip, "syntax");
}

}  // namespace nuvra
