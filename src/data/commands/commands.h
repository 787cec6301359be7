// The data-management commands: describing, listing and reshaping the one
// dataset in memory, its labels and characteristics, and the data settings.
//
// Every handler reads the rest of the command line through the standard
// parse, prints its own messages and returns a return code. A handler that
// fails leaves the data, the value labels and the characteristics exactly as
// they were: each one checks everything it can before it changes anything.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "interp/rc.h"

namespace nuvra {
namespace data {
class Dataset;
}

class Interp;
class CommandLine;

// describe [varlist] [, short simple]   (also `_describe`)
rc_t cmd_describe(Interp& ip);
// list [varlist] [in] [, options]
rc_t cmd_list(Interp& ip);
// drop and keep: variables, or observations with `in`; told apart by
// ip.command_name.
rc_t cmd_drop_keep(Interp& ip);
rc_t cmd_rename(Interp& ip);
rc_t cmd_order(Interp& ip);
// move var1 var2   (also `_move`)
rc_t cmd_move(Interp& ip);
rc_t cmd_format(Interp& ip);
// label data|variable|define|values|list|dir|drop|copy   (also `_label`)
rc_t cmd_label(Interp& ip);
// char define|list|rename, and char owner[name] text
rc_t cmd_char(Interp& ip);
rc_t cmd_input(Interp& ip);
rc_t cmd_compress(Interp& ip);
rc_t cmd_recast(Interp& ip);
rc_t cmd_clear(Interp& ip);
rc_t cmd_memory(Interp& ip);
rc_t cmd_count(Interp& ip);
// tsset [panelvar] timevar [, delta(#) clear unit format(%fmt)]
rc_t cmd_tsset(Interp& ip);
// tsrevar varlist [, substitute list]   (operated terms as temporaries)
rc_t cmd_tsrevar(Interp& ip);
// edit and browse: the console edition has no data editor.
rc_t cmd_edit_browse(Interp& ip);

// The data settings of `set`: obs, memory, maxvar, matsize, varabbrev,
// type. *handled is false (and nothing is printed) for any other name, so
// that `set` can go on to its own settings. `value` is the rest of the
// line after the name, already checked against the settings table
// (interp/settings.def) where the setting has an entry there.
rc_t set_data_setting(Interp& ip, std::string_view name, std::string_view value, bool* handled);
// A whole number written plainly (no expression), blanks around it allowed.
bool read_whole_number(std::string_view s, long long* out);

// The storage type `set type` chose for new numeric variables (float at
// start). Read by the commands that create variables.
int default_numeric_type(const Interp& ip);

namespace datacmd {

// What the head of describe shows beside the dataset's own attributes.
struct DescribeHeader {
  std::string file;          // "Contains data from <file>"; empty for none
  std::string date;          // the file's time stamp
  long long nobs = 0;
  long long size = 0;        // bytes of data
  double free_share = -1;    // share of the data area free; < 0 not shown
};

// describe's report on `ds`: the head (unless a varlist was given, `some`),
// the variable table, and the sort list; `simple` lists the names only.
// The changed note appears only for the dataset in memory.
void describe_dataset(Interp& ip, const data::Dataset& ds, const DescribeHeader& h, bool is_short, bool simple,
                      const std::vector<int>* some = nullptr, bool fullnames = false);

// Marks the observations a command works on: all of them, narrowed by the
// `in` range. When `if` arrives, the condition is evaluated here, so that
// every command that takes a sample gets it by this one change.
// `sample` receives one byte per observation (1 = in the sample).
rc_t mark_sample(Interp& ip, const CommandLine& cl, std::vector<char>* sample);

// Reads an existing-variable list; an empty text is every variable.
// Prints the reader's message on failure.
rc_t varlist_or_all(Interp& ip, std::string_view text, std::vector<int>* out, unsigned flags = 0);
// Reads an existing-variable list that must not be empty (100
// "varlist required").
rc_t varlist_required(Interp& ip, std::string_view text, std::vector<int>* out, unsigned flags = 0);

// Sets both the interpreter's changed flag and the dataset's.
void mark_changed(Interp& ip);

// name shortened to n characters: its first n - 2 characters, "~", and its
// last character ("displacement" to 8 is "displa~t").
std::string abbreviate_name(std::string_view name, size_t n);

// An integer with thousands separators ("3,478").
std::string with_commas(long long v);

// The next blank-separated word of s (s advances past it).
std::string_view next_word(std::string_view& s);

// Prints "<before><user><after>" as an error with the user text plain.
rc_t fail_quoting(Interp& ip, std::string_view before, std::string_view user, std::string_view after,
                  rc_t code);

}  // namespace datacmd
}  // namespace nuvra
