// The command line and opening the input: usage text, arguments that are
// file names, and every way the input can fail to open.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e_harness.hpp"

using e2e::lines;

namespace {

const std::string kUsage =
    lines({"", "Usage: tlf2pos <tulo_format_file_name>", "ex. tlf2pos tulo005.tlf"});

// A good TULO file, so a run that should not open it would show.
const std::string kGood = "1 1 0\n0 5 0\n";

struct UsageCase {
  const char* what;
  std::vector<std::string> args;
};

// Failure messages name the case instead of dumping its bytes.
void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.what; }

class Usage : public testing::TestWithParam<UsageCase> {};

TEST_P(Usage, PrintsUsageAndTouchesNothing) {
  e2e::Options o;
  o.args = GetParam().args;
  o.files = {{"a.tlf", kGood}, {"b.tlf", kGood}};
  e2e::Result r = e2e::run(o);
  EXPECT_EQ(r.out, kUsage);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.changed.empty());
}

INSTANTIATE_TEST_SUITE_P(E2e, Usage,
                         testing::Values(UsageCase{"none", {}},
                                         UsageCase{"two", {"a.tlf", "b.tlf"}},
                                         UsageCase{"three", {"a.tlf", "b.tlf", "a.tlf"}},
                                         UsageCase{"two_empty", {"", ""}}),
                         [](const testing::TestParamInfo<UsageCase>& i) { return i.param.what; });

struct OpenCase {
  const char* what;
  std::string arg;
  std::string err;
  bool linux_only;
};

// Failure messages name the case instead of dumping its bytes.
void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.what; }

class OpenFailure : public testing::TestWithParam<OpenCase> {};

TEST_P(OpenFailure, ReportsWithPathAsContext) {
  const OpenCase& c = GetParam();
  if (c.linux_only)
    E2E_LINUX_ONLY("symbolic links");
  e2e::Options o;
  o.args = {c.arg};
  o.files = {{"plain.tlf", kGood}};
  o.prepare = [](const std::string& dir) {
    ASSERT_EQ(::mkdir((dir + "/folder.tlf").c_str(), 0755), 0);
    if (!e2e::windows_target()) {
      ASSERT_EQ(::symlink("loop2", (dir + "/loop1").c_str()), 0);
      ASSERT_EQ(::symlink("loop1", (dir + "/loop2").c_str()), 0);
      ASSERT_EQ(::symlink("gone.tlf", (dir + "/dangling.tlf").c_str()), 0);
    }
  };
  e2e::Result r = e2e::run(o);
  EXPECT_EQ(r.err, lines({c.err}));
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.changed.empty());
}

INSTANTIATE_TEST_SUITE_P(
    E2e, OpenFailure,
    testing::Values(OpenCase{"missing", "missing.tlf", "missing.tlf: No such file or directory",
                             false},
                    // No context, no colon, no blank.
                    OpenCase{"empty_argument", "", "No such file or directory", false},
                    OpenCase{"short_option", "-h", "-h: No such file or directory", false},
                    OpenCase{"long_option", "--help", "--help: No such file or directory", false},
                    OpenCase{"dash", "-", "-: No such file or directory", false},
                    OpenCase{"folder", "folder.tlf", "folder.tlf: Permission denied", false},
                    OpenCase{"folder_dot", ".", ".: Permission denied", false},
                    OpenCase{"missing_folder_on_path", "nowhere/a.tlf",
                             "nowhere/a.tlf: No such file or directory", false},
                    OpenCase{"file_used_as_folder", "plain.tlf/a.tlf",
                             "plain.tlf/a.tlf: No such file or directory", false},
                    OpenCase{"name_too_long", std::string(300, 'n') + ".tlf",
                             std::string(300, 'n') + ".tlf: No such file or directory", false},
                    OpenCase{"absolute_missing", "/nonexistent-tlf2pos-dir/x.tlf",
                             "/nonexistent-tlf2pos-dir/x.tlf: No such file or directory", false},
                    OpenCase{"symlink_loop", "loop1", "loop1: No such file or directory", true},
                    OpenCase{"dangling_symlink", "dangling.tlf",
                             "dangling.tlf: No such file or directory", true}),
    [](const testing::TestParamInfo<OpenCase>& i) { return i.param.what; });

// Options do not exist: a file named like one is converted.
TEST(E2eCommandLine, OptionLikeNamesAreInputFiles) {
  for (const char* name : {"-h", "--help", "-"}) {
    e2e::Options o;
    o.args = {name};
    o.files = {{name, "1 1 0\n0 5 0\n"}};
    e2e::Result r = e2e::run(o);
    EXPECT_EQ(r.out, lines({std::string("input : ") + name, "output : 00000000.pos"})) << name;
    EXPECT_EQ(r.err, "") << name;
    EXPECT_EQ(r.status, 1) << name;
    std::map<std::string, std::string> want{{"00000000.pos", e2e::bytes({1, 5})}};
    EXPECT_EQ(r.changed, want) << name;
  }
}

// The path is used as given, with no extension added, and the POS files go to
// the current folder, not next to the input.
TEST(E2eCommandLine, PathUsedUnchangedAndOutputInCurrentFolder) {
  e2e::Options o;
  o.args = {"sub/../sub/in"};
  o.prepare = [](const std::string& dir) {
    ASSERT_EQ(::mkdir((dir + "/sub").c_str(), 0755), 0);
    FILE* f = std::fopen((dir + "/sub/in").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("1 1 0\n0 5 0\n", f);
    std::fclose(f);
  };
  e2e::Result r = e2e::run(o);
  EXPECT_EQ(r.out, lines({"input : sub/../sub/in", "output : 00000000.pos"}));
  EXPECT_EQ(r.status, 1);
  std::map<std::string, std::string> want{{"00000000.pos", e2e::bytes({1, 5})}};
  EXPECT_EQ(r.changed, want);
}

TEST(E2eCommandLine, UnreadableInputAsUnprivilegedUser) {
  E2E_LINUX_ONLY("file permissions and user nobody");
  struct Case {
    const char* what;
    std::string arg;
  };
  for (const Case& c :
       {Case{"file_mode_0", "secret.tlf"}, Case{"folder_without_search", "closed/in.tlf"}}) {
    e2e::Options o;
    o.args = {c.arg};
    o.as_nobody = true;
    o.files = {{"secret.tlf", kGood}};
    o.prepare = [](const std::string& dir) {
      ASSERT_EQ(::chmod((dir + "/secret.tlf").c_str(), 0), 0);
      ASSERT_EQ(::mkdir((dir + "/closed").c_str(), 0755), 0);
      FILE* f = std::fopen((dir + "/closed/in.tlf").c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fputs(kGood.c_str(), f);
      std::fclose(f);
      ASSERT_EQ(::chmod((dir + "/closed").c_str(), 0), 0);
    };
    e2e::Result r = e2e::run(o);
    EXPECT_EQ(r.err, lines({c.arg + ": Permission denied"})) << c.what;
    EXPECT_EQ(r.out, "") << c.what;
    EXPECT_EQ(r.status, 0) << c.what;
    EXPECT_TRUE(r.changed.empty()) << c.what;
  }
}

// A read that fails after a successful open (reading address 0 of the
// process's own memory gives EIO): no header line, the failure's text.
TEST(E2eCommandLine, ReadFailureOfTheInput) {
  E2E_LINUX_ONLY("/proc/self/mem");
  e2e::Options o;
  o.args = {"/proc/self/mem"};
  e2e::Result r = e2e::run(o);
  EXPECT_EQ(r.err, lines({"header read error: Invalid argument"}));
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.changed.empty());
}

} // namespace
