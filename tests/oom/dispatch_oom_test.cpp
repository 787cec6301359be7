// An allocation failure escaping a command is caught where built-in
// commands are dispatched: the command returns 909 with its message, the data stay as
// they were, and the session goes on. Every allocation a command makes is
// failed in turn (the k-th allocation after the command starts, for
// k = 1, 2, ...) until the command runs through.
//
// This is its own executable because it replaces the global allocator.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "interp/interp.h"
#include "../unit/test_side.h"

namespace {

// Allocations left before the one that fails; 0 when nothing is armed.
std::atomic<long> g_countdown{0};
std::atomic<bool> g_failed{false};

void* allocate(std::size_t n) {
  if (g_countdown.load(std::memory_order_relaxed) > 0 && g_countdown.fetch_sub(1) == 1) {
    g_failed = true;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return allocate(n);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace nuvra {
namespace {

class DispatchOom : public ::testing::Test {
 protected:
  DispatchOom() : ip(&side) {}
  void SetUp() override {
    ASSERT_EQ(ip.execute_line("set obs 30"), 0);
    ASSERT_EQ(ip.execute_line("generate double x = _n * 1.5"), 0);
    ASSERT_EQ(ip.execute_line("generate str5 s = \"a\" + string(_n)"), 0);
  }

  // Runs `line` through the dispatch entry with the k-th allocation after
  // the command starts failing.
  rc_t dispatch_armed(const std::string& line, long k) {
    ip.cmdbuf = line;
    ip.reader.attach(&ip.cmdbuf, 0);
    ip.token = std::string(ip.reader.next());
    g_failed = false;
    g_countdown = k;
    rc_t rc = ip.dispatch();
    g_countdown = 0;
    return rc;
  }

  // Fails each allocation of `line` in turn. Returns how many failures
  // were injected before the command ran through untouched.
  int fail_each_allocation(const std::string& line, const std::string& undo) {
    int injected = 0;
    for (long k = 1; k < 100000; ++k) {
      const std::uint64_t before = ip.dataset.checksum();
      side.text.clear();
      rc_t rc = dispatch_armed(line, k);
      ip.out.flush();
      if (!g_failed) {
        EXPECT_EQ(rc, 0) << line << ": " << side.text;
        return injected;
      }
      ++injected;
      if (rc == 0) {
        // The command coped with the failure on its own.
        if (!undo.empty()) {
          EXPECT_EQ(ip.execute_line(undo), 0);
        }
        continue;
      }
      EXPECT_TRUE(rc == 909 || rc == 950) << line << " at allocation " << k << ": rc " << rc;
      EXPECT_EQ(ip.dataset.checksum(), before) << line << " at allocation " << k;
      if (rc == 909) {
        EXPECT_NE(side.text.find("memory"), std::string::npos) << line << " at allocation " << k << ": " << side.text;
      }
    }
    ADD_FAILURE() << line << " never ran through";
    return injected;
  }

  testing::CaptureSide side;
  Interp ip;
};

TEST_F(DispatchOom, CommandsThatOnlyReadTheData) {
  EXPECT_GT(fail_each_allocation("list x s in 1/4", ""), 0);
  EXPECT_GT(fail_each_allocation("summarize x", ""), 0);
  EXPECT_GT(fail_each_allocation("describe", ""), 0);
}

TEST_F(DispatchOom, CommandsThatChangeTheData) {
  EXPECT_GT(fail_each_allocation("generate y = x*2", "drop y"), 0);
  EXPECT_GT(fail_each_allocation("replace x = x + 1 in 2/5", "replace x = x - 1 in 2/5"), 0);
  EXPECT_GT(fail_each_allocation("sort s", ""), 0);
  EXPECT_GT(fail_each_allocation("drop s", "generate str5 s = \"a\" + string(_n)"), 0);
  ASSERT_EQ(ip.execute_line("generate str5 s = \"a\" + string(_n)"), 0);  // the run that went through
  EXPECT_GT(fail_each_allocation("order s x", "order x s"), 0);
  EXPECT_GT(fail_each_allocation("rename s t", "rename t s"), 0);
}

// A line the screen could not take does not fail a command whose work is
// done; the gap in the transcript is reported once the command ends.
TEST_F(DispatchOom, LostOutputIsReportedAfterTheCommand) {
  int failures_in_output = 0;
  for (long k = 1; k < 1000; ++k) {
    ip.execute_line("capture drop y");
    side.text.clear();
    rc_t rc = dispatch_armed("generate y = cond(_n < 3, ., x)", k);
    if (!g_failed) break;
    if (rc == 0 && side.text.find("of output lost: insufficient memory)") != std::string::npos) {
      ++failures_in_output;
      // The variable is there, with its values.
      int j = ip.dataset.find_exact("y");
      ASSERT_GT(j, 0);
      EXPECT_EQ(ip.dataset.fetch(j, 4), 6);
    }
  }
  EXPECT_GT(failures_in_output, 0);
}

// Macro expansion runs before any command is dispatched; a failure there
// is reported the same way and leaves the macros as they were.
TEST_F(DispatchOom, ExpandingTheLine) {
  ASSERT_EQ(ip.execute_line("local a = \"abc\""), 0);
  int injected = 0;
  for (long k = 1; k < 100000; ++k) {
    side.text.clear();
    g_failed = false;
    g_countdown = k;
    rc_t rc = ip.execute_line("local b `a'`a'`a'`a'");
    g_countdown = 0;
    ip.out.flush();
    if (!g_failed) {
      EXPECT_EQ(rc, 0);
      break;
    }
    ++injected;
    EXPECT_TRUE(rc == 0 || rc == 909 || rc == 950) << "allocation " << k << ": rc " << rc;
    EXPECT_EQ(ip.execute_line("assert \"`a'\" == \"abc\""), 0) << "allocation " << k;
  }
  EXPECT_GT(injected, 0);
  EXPECT_EQ(ip.execute_line("assert \"`b'\" == \"abcabcabcabc\""), 0);
}

TEST_F(DispatchOom, TheSessionGoesOnAfterwards) {
  rc_t rc = dispatch_armed("describe", 1);
  EXPECT_TRUE(rc == 909 || rc == 950);
  side.text.clear();
  ASSERT_EQ(ip.execute_line("generate z = x + 1"), 0);
  EXPECT_EQ(ip.dataset.fetch(ip.dataset.find_exact("z"), 2), 4);  // 2 * 1.5 + 1
}

}  // namespace
}  // namespace nuvra
