// What only the Windows build shows: CR LF on the console, arguments taken
// as Windows delivers them (no wildcard expansion, quoting, backslashes),
// and the Windows path and device rules when the input is opened.
#include <gtest/gtest.h>

#include <fstream>
#include <ostream>
#include <string>
#include <utility>

#include <sys/stat.h>

#include "e2e_harness.hpp"

namespace {

// Skips the test unless the program under test is the Windows build.
#define E2E_WINDOWS_ONLY()                                                                         \
  do {                                                                                             \
    if (!::e2e::windows_target())                                                                  \
      GTEST_SKIP() << "needs the Windows build of the program";                                    \
  } while (0)

// One record line, prefix length 1, two branch pairs: 00100000.pos and
// 00100001.pos. The prefix value 10 is stored as CR LF in both.
const std::string kGood = "1 1 1\r\n7 10 2 0 3 0\r\n";
const std::string kPos0 = e2e::bytes({2, 13, 10, 2});
const std::string kPos1 = e2e::bytes({2, 13, 10, 3});

TEST(E2eWindows, ConsoleLinesAndReportsEndWithCrLf) {
  E2E_WINDOWS_ONLY();
  {
    e2e::Options o;
    e2e::Result r = e2e::run(o);
    EXPECT_EQ(r.out, "\r\nUsage: tlf2pos <tulo_format_file_name>\r\n"
                     "ex. tlf2pos tulo005.tlf\r\n");
    EXPECT_EQ(r.status, 0);
  }
  {
    e2e::Options o;
    o.args = {"in.tlf"};
    o.files = {{"in.tlf", kGood}};
    e2e::Result r = e2e::run(o);
    EXPECT_EQ(r.out, "input : in.tlf\r\noutput : 00100000.pos\r\n"
                     "output : 00100001.pos\r\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 1);
    // POS bytes are the same as on Linux: only the console differs.
    EXPECT_EQ(r.changed.at("00100000.pos"), kPos0);
    EXPECT_EQ(r.changed.at("00100001.pos"), kPos1);
  }
  {
    // One record line short: the report too ends in CR LF.
    e2e::Options o;
    o.args = {"in.tlf"};
    o.files = {{"in.tlf", "1 2 0\n5 6 0\n"}};
    e2e::Result r = e2e::run(o);
    EXPECT_EQ(r.err, "data reacord read error: No error\r\n");
    EXPECT_EQ(r.status, 0);
  }
}

// kGood with another value in its second branch pair: the second POS file
// then tells which input was read.
std::string good_with_branch(int value) {
  return "1 1 1\r\n7 10 2 0 " + std::to_string(value) + " 0\r\n";
}

// Files whose names the ANSI code page (1252 under Wine) cannot spell, one
// that it can, and one named as the code page spells the first, which the
// narrow argument would find if it were taken as a Linux name.
const std::pair<const char*, int> kNamedFiles[] = {
    {"日本.tlf", 4}, {"данные.tlf", 5}, {"a😀b.tlf", 6}, {"café.tlf", 7}, {"??.tlf", 9}};

struct ArgCase {
  const char* what;
  std::string arg;
  /// Expected standard error, without its line end; empty for a
  /// conversion.
  std::string err;
  /// The argument as the program prints it, if not `arg` itself: its
  /// spelling in the ANSI code page.
  std::string shown = {};
  /// The second branch value of the file to be converted.
  int branch = 3;
};

void PrintTo(const ArgCase& c, std::ostream* os) { *os << c.what; }

class WindowsArgument : public testing::TestWithParam<ArgCase> {};

// a.tlf, b.tlf and sub\in.tlf are good TULO files, so
// an argument that the C runtime expanded, or a path read as Linux would,
// shows up as the usage text or as a conversion.
TEST_P(WindowsArgument, IsTakenAsWindowsDeliversIt) {
  E2E_WINDOWS_ONLY();
  const ArgCase& c = GetParam();
  e2e::Options o;
  o.args = {c.arg};
  o.files = {{"a.tlf", kGood}, {"b.tlf", kGood}, {"my file.tlf", kGood}};
  for (const auto& [name, branch] : kNamedFiles)
    o.files.emplace_back(name, good_with_branch(branch));
  o.prepare = [](const std::string& dir) {
    ASSERT_EQ(::mkdir((dir + "/sub").c_str(), 0755), 0);
    std::ofstream(dir + "/sub/in.tlf", std::ios::binary) << kGood;
  };
  e2e::Result r = e2e::run(o);
  if (c.err.empty()) {
    EXPECT_EQ(r.err, "");
    const std::string& shown = c.shown.empty() ? c.arg : c.shown;
    EXPECT_EQ(r.out,
              e2e::lines({"input : " + shown, "output : 00100000.pos", "output : 00100001.pos"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.changed.size(), 2u);
    // Written into the current folder, never next to the input.
    EXPECT_EQ(r.changed["00100000.pos"], kPos0);
    EXPECT_EQ(r.changed["00100001.pos"], e2e::bytes({2, 13, 10, c.branch}));
  } else {
    EXPECT_EQ(r.err, e2e::lines({c.err}));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.changed.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(E2e, WindowsArgument,
                         testing::Values(
                             // Wildcards reach the program unexpanded and are no valid file name.
                             ArgCase{"star", "*.tlf", "*.tlf: Invalid argument"},
                             ArgCase{"star_one_match", "a*.tlf", "a*.tlf: Invalid argument"},
                             ArgCase{"question_mark", "?.tlf", "?.tlf: Invalid argument"},
                             ArgCase{"reserved_character", "a<b.tlf", "a<b.tlf: Invalid argument"},
                             ArgCase{"blank_in_name", "my file.tlf", ""},
                             ArgCase{"backslash_path", "sub\\in.tlf", ""},
                             ArgCase{"folder", "sub", "sub: Permission denied"},
                             ArgCase{"missing_folder_backslash", "nowhere\\a.tlf",
                                     "nowhere\\a.tlf: No such file or directory"},
                             ArgCase{"missing_folder_slash", "nowhere/a.tlf",
                                     "nowhere/a.tlf: No such file or directory"},
                             ArgCase{"missing_folder_absolute", "C:\\nowhere\\tlf2pos\\a.tlf",
                                     "C:\\nowhere\\tlf2pos\\a.tlf: No such file or directory"},
                             // The null device opens and is empty at once.
                             ArgCase{"null_device", "NUL", "header read error: No error"},
                             // A name opens in full even where the ANSI code page has '?' for
                             // its characters (two for an emoji, a surrogate pair); messages
                             // show that spelling.
                             ArgCase{"cjk_name", "日本.tlf", "", "??.tlf", 4},
                             ArgCase{"cyrillic_name", "данные.tlf", "", "??????.tlf", 5},
                             ArgCase{"emoji_name", "a😀b.tlf", "", "a??b.tlf", 6},
                             ArgCase{"code_page_name", "café.tlf", "", "caf\xE9.tlf", 7},
                             ArgCase{"cjk_name_missing", "日本-missing.tlf",
                                     "?\?-missing.tlf: No such file or directory"}),
                         [](const testing::TestParamInfo<ArgCase>& i) { return i.param.what; });

} // namespace
