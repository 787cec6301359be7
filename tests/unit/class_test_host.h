// The class engine without an interpreter: a small host runs member
// programs line by line (dotted statements, `class` lines and a counter
// command), with class files written to a private directory.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "class/engine.h"

namespace nuvra::cls::testing {

class TestHost : public Host {
 public:
  void Print(Style style, std::string_view text) override {
    (style == Style::Error ? errors : printed) += text;
  }
  rc_t Fail(rc_t code) override {
    errors += "rc " + std::to_string(code) + "\n";
    return code;
  }
  rc_t RunProgram(const std::string& name, std::string_view args) override {
    auto it = programs.find(name);
    if (it == programs.end()) return 4008;
    if (depth >= 64) return 1000;
    if (before_run) before_run(name);
    ++depth;
    last_args = std::string(args);
    rc_t rc = 0;
    for (const std::string& line : it->second) {
      if (line.starts_with("count ")) {
        ++counters[line.substr(6)];
      } else if (line.starts_with(".")) {
        rc = engine->Statement(line);
      } else if (line.starts_with("class ")) {
        rc = engine->Command(line.substr(6));
      }
      if (rc) break;
    }
    --depth;
    engine->EndContext(depth + 1);
    return rc;
  }
  rc_t DefineProgram(const std::string& name, const std::vector<std::string>& lines) override {
    programs[name] = lines;
    for (std::string& l : programs[name]) {
      size_t i = l.find_first_not_of(" \t");
      l = i == std::string::npos ? std::string() : l.substr(i);
    }
    return 0;
  }
  void DropProgram(const std::string& name) override { programs.erase(name); }
  bool FindFile(const std::string& name, std::string* path) override {
    std::filesystem::path p = dir / name;
    if (!std::filesystem::exists(p)) return false;
    *path = p.string();
    return true;
  }
  int ContextId() override { return depth; }
  rc_t Evaluate(std::string_view expr, bool* is_string, double* num, std::string* str) override {
    if (expr.size() >= 2 && expr.front() == '"' && expr.back() == '"') {
      *is_string = true;
      *str = std::string(expr.substr(1, expr.size() - 2));
      return 0;
    }
    std::string text(expr);
    char* end = nullptr;
    *num = std::strtod(text.c_str(), &end);
    *is_string = false;
    return end && *end == '\0' && !text.empty() ? 0 : 198;
  }
  rc_t RunCommand(std::string_view) override { return 0; }
  rc_t Exit(std::string_view) override { return 0; }
  void SetResult(const std::string& name, const std::string& value) override {
    results[name] = value;
  }

  Engine* engine = nullptr;
  // Called with the program's name as it starts, to look at the store
  // while a member program runs.
  std::function<void(const std::string&)> before_run;
  std::filesystem::path dir;
  std::map<std::string, std::vector<std::string>> programs;
  std::map<std::string, int> counters;
  std::map<std::string, std::string> results;
  std::string errors, printed, last_args;
  int depth = 0;
};

class ClassEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    host.dir = std::filesystem::temp_directory_path() /
               ("nuvra-class-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(host.dir);
    host.engine = &engine;
    Write("pt", "class pt {\n classwide:\n  double shared = 7\n instancespecific:\n"
                "  double x = 1\n  double y = 2\n  string s = \"hi\"\n}\n"
                "program .oncopy\n count oncopy\nend\n"
                "program .destructor\n count destructor\nend\n");
    Write("pt3", "class pt3, inherit(pt) {\n double z = 3\n}\n");
    Write("box", "class box {\n class p = .new pt\n class other\n array list\n}\n");
    Write("other", "class other {\n double v\n}\n");
  }
  void TearDown() override { std::filesystem::remove_all(host.dir); }
  void Write(const std::string& name, const std::string& text) {
    WriteFile(name + ".class", text);
  }
  void WriteFile(const std::string& file, const std::string& text) {
    std::ofstream(host.dir / file) << text;
  }
  // Runs a statement that must succeed.
  void Run(const std::string& line) {
    ASSERT_EQ(engine.Statement(line), 0) << line << "\n" << host.errors;
  }
  // Runs a statement that must fail with `code`, leaving the store as it
  // was and consistent.
  void Refused(const std::string& line, rc_t code) {
    ExpectRefused(line, code, [&] { return engine.Statement(line); });
  }
  // A `class` line that must succeed.
  void Cmd(const std::string& line) { ASSERT_EQ(engine.Command(line), 0) << line << "\n" << host.errors; }
  // A `class` line refused with `code`, with a message, changing nothing.
  void CmdRefused(const std::string& line, rc_t code) {
    ExpectRefused(line, code, [&] { return engine.Command(line); });
  }
  template <class Attempt>
  void ExpectRefused(const std::string& line, rc_t code, Attempt run) {
    size_t before = engine.store().Count();
    host.errors.clear();
    EXPECT_EQ(run(), code) << line;
    EXPECT_FALSE(host.errors.empty()) << line << " failed without a message";
    EXPECT_EQ(engine.Check(), "") << "after " << line;
    EXPECT_EQ(engine.store().Count(), before) << "objects left behind by " << line;
  }
  Key KeyOf(const std::string& path) {
    Slot s;
    EXPECT_EQ(engine.Resolve(path, &s), 0) << path;
    return engine.Deref(s.obj);
  }
  double Num(const std::string& path) {
    const Object* o = engine.store().Find(KeyOf(path));
    return o && o->type == TypeCode::Double ? o->num : -999;
  }
  std::string Text(const std::string& path) {
    std::string out;
    EXPECT_EQ(engine.MacroText(path, &out), 0) << path;
    return out;
  }

  TestHost host;
  Engine engine{host};
};

}  // namespace nuvra::cls::testing
