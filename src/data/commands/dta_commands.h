// Helpers the dataset file commands share (save, use, describe using, and
// the commands that combine a file with the data in memory).
#pragma once
#include <string>
#include <string_view>

#include "interp/rc.h"

namespace nuvra {

class Interp;
namespace data {
class Dataset;
}
struct ParseSettings;
class CommandLine;

// describe using file [, short simple]: called by describe.
rc_t describe_using(Interp& ip, const std::string& file, bool is_short, bool simple);

namespace dta {

// The name with ".dta" (or `ext`) added when it has no extension: no `.`
// after the last `/` or `\`, and not ending in `:`.
std::string with_dta_suffix(std::string_view name, std::string_view ext = ".dta");

// The path a file name stands for: "~/" is the home directory.
std::string local_path(const std::string& name);

// The notes a save prints before it writes: a dataset of no observations,
// and a file named for replacing that does not exist yet.
void print_save_notes(Interp& ip, const data::Dataset& ds, const std::string& path, std::string_view shown,
                      bool replace);
// The line "file NAME saved".
void print_saved(Interp& ip, std::string_view shown);

// Runs the standard parse over `text` as if it were the rest of the
// command line, and puts the line back afterwards.
rc_t parse_text(Interp& ip, const ParseSettings& st, std::string text, CommandLine* cl);

// The paragraph "file NAME not found" (and the others of the file codes);
// returns rc.
rc_t file_message(Interp& ip, std::string_view shown, rc_t rc);

// The paragraph for files of a newer release (formats 115 and 116); 610.
rc_t newer_release_message(Interp& ip, std::string_view shown);

struct LoadResult;

// Prints the failure of a load (unless the reader printed it) and returns
// its code: the newer-release paragraph, the file paragraphs, or the
// message of the code.  For every command that reads a dataset file.
rc_t load_failure(Interp& ip, std::string_view shown, rc_t rc, const LoadResult& res, int newer);

}  // namespace dta
}  // namespace nuvra
