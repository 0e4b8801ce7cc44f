// The record loop: which POS files each record line gives, in which order,
// with which names and stored bytes.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "e2e_harness.hpp"

using e2e::bytes;
using e2e::lines;
using namespace std::string_literals;

namespace {

using Files = std::map<std::string, std::string>;
using Pos = std::vector<std::pair<std::string, std::string>>;

const std::string kNoLine = "data reacord read error: No error";

struct RecordCase {
  const char* what;
  std::string input;
  Pos pos;         // POS files in the order they are announced
  std::string err; // one report line, or empty
  int status;
};

// Failure messages name the case instead of dumping its bytes.
void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.what; }

// What a run of `c` must print on standard output.
std::string expected_out(const Pos& pos) {
  std::vector<std::string> l{"input : a.tlf"};
  for (const auto& [name, content] : pos)
    l.push_back("output : " + name);
  return lines(l);
}

// The files a run of `c` must leave: a later file of the same name wins.
Files expected_files(const Pos& pos) {
  Files f;
  for (const auto& [name, content] : pos)
    f[name] = content;
  return f;
}

class Records : public testing::TestWithParam<RecordCase> {};

TEST_P(Records, Run) {
  const RecordCase& c = GetParam();
  e2e::Options o;
  o.args = {"a.tlf"};
  o.files = {{"a.tlf", c.input}};
  e2e::Result r = e2e::run(o);
  EXPECT_EQ(r.out, expected_out(c.pos));
  EXPECT_EQ(r.err, c.err.empty() ? "" : lines({c.err}));
  EXPECT_EQ(r.status, c.status);
  Files want = expected_files(c.pos);
  want["a.tlf"] = c.input; // the input is left as it was
  EXPECT_EQ(r.after, want);
}

std::string case_name(const testing::TestParamInfo<RecordCase>& i) { return i.param.what; }

INSTANTIATE_TEST_SUITE_P(
    Pairs, Records,
    testing::Values(
        RecordCase{"two_lines_three_pairs",
                   "1 2 3\n0 1 2 3 4 0 5 0\n1 7 8 9 6 0\n",
                   {{"00300000.pos", bytes({4, 1, 2, 3, 4})},
                    {"00300001.pos", bytes({4, 1, 2, 3, 5})},
                    {"00300100.pos", bytes({4, 7, 8, 9, 6})}},
                   "",
                   1},
        // The pair mark starts at the line's start, so a line with prefix
        // values and no pair still gives a file, ending in 0.
        RecordCase{
            "no_pair", "1 1 3\n7 1 2 3\n", {{"00300000.pos", bytes({4, 1, 2, 3, 0})}}, "", 1},
        RecordCase{"key_only", "1 1 3\n7\n", {{"00300000.pos", bytes({4, 0, 0, 0, 0})}}, "", 1},
        RecordCase{"fewer_prefix_values",
                   "1 1 3\n7 1 2\n",
                   {{"00300000.pos", bytes({4, 1, 2, 0, 0})}},
                   "",
                   1},
        RecordCase{"second_number_missing",
                   "1 1 3\n7 1 2 3 9\n",
                   {{"00300000.pos", bytes({4, 1, 2, 3, 9})}},
                   "",
                   1},
        RecordCase{"second_number_missing_mid_line",
                   "1 1 1\n7 1 2 0 3 x 4 0\n",
                   {{"00100000.pos", bytes({2, 1, 2})}, {"00100001.pos", bytes({2, 1, 3})}},
                   "",
                   1},
        // A stray character ends the line: every later scan stops at it.
        RecordCase{"stray_character",
                   "1 1 3\n0 1 2 3 4 0 x 5 0\n",
                   {{"00300000.pos", bytes({4, 1, 2, 3, 4})}},
                   "",
                   1},
        RecordCase{"stray_character_in_prefix",
                   "1 1 3\n0 1 ; 3 4 0\n",
                   {{"00300000.pos", bytes({4, 1, 0, 0, 0})}},
                   "",
                   1},
        RecordCase{"many_pairs",
                   "1 1 0\n0 1 0 2 0 3 0 4 0 5 0 6 0 7 0 8 0 9 0 10 0 11 0\n",
                   {{"00000000.pos", bytes({1, 1})},
                    {"00000001.pos", bytes({1, 2})},
                    {"00000002.pos", bytes({1, 3})},
                    {"00000003.pos", bytes({1, 4})},
                    {"00000004.pos", bytes({1, 5})},
                    {"00000005.pos", bytes({1, 6})},
                    {"00000006.pos", bytes({1, 7})},
                    {"00000007.pos", bytes({1, 8})},
                    {"00000008.pos", bytes({1, 9})},
                    {"00000009.pos", bytes({1, 13, 10})},
                    {"00000010.pos", bytes({1, 11})}},
                   "",
                   1},
        RecordCase{"surplus_lines_ignored",
                   "1 1 1\n0 5 6\n0 7 8\nnot read\n",
                   {{"00100000.pos", bytes({2, 5, 6})}},
                   "",
                   1},
        RecordCase{"missing_record_lines",
                   "1 3 1\n0 5 6 0\n",
                   {{"00100000.pos", bytes({2, 5, 6})}},
                   kNoLine,
                   0},
        RecordCase{"last_line_without_lf",
                   "1 2 1\n0 5 6\n0 7 8",
                   {{"00100000.pos", bytes({2, 5, 6})}, {"00100100.pos", bytes({2, 7, 8})}},
                   "",
                   1}),
    case_name);

// A line without any number yields no file but takes a record index.
INSTANTIATE_TEST_SUITE_P(
    NoNumber, Records, testing::ValuesIn([] {
      std::vector<RecordCase> cases;
      const std::pair<const char*, std::string> lines_without_number[] = {
          {"empty", ""},
          {"blanks", " \t \v\f "},
          {"letter", "x 1 2 3 0"},
          {"lone_sign", "- 1 2 3 0"},
          {"lone_plus", "+"},
          {"lone_point", ". 5 6 0"},
          {"hex", "x10 1 2"},
          {"comma", ",1 2 3"},
          {"lone_cr", "\r"},
          {"nul_first", "\0 1 2 3"s},
          {"exponent_only", "e5 1 2"}};
      for (const auto& [what, line] : lines_without_number)
        cases.push_back(RecordCase{
            what, "1 2 1\n" + line + "\n0 7 8 0\n", {{"00100100.pos", bytes({2, 7, 8})}}, "", 1});
      return cases;
    }()),
    case_name);

// Byte reduction and storage of one branch value (prefix length 0).
INSTANTIATE_TEST_SUITE_P(
    BranchBytes, Records, testing::ValuesIn([] {
      std::vector<RecordCase> cases;
      const std::pair<const char*, std::string> values[] = {
          {"zero", "0"},
          {"lf", "10"},
          {"cr", "13"},
          {"eof_byte", "26"},
          {"fraction", "3.9"},
          {"minus_fraction", "-0.7"},
          {"minus_one", "-1"},
          {"wrap_256", "256"},
          {"wrap_300", "300"},
          {"exp_e", "1e3"},
          {"exp_d", "1d2"},
          {"exp_upper", "1E2"},
          {"exp_upper_d", "1D2"},
          {"point_first", ".5e1"},
          {"point_last", "5."},
          {"plus", "+7"},
          {"lf_by_wrap", "266"},
          {"lf_negative", "-246"},
          {"huge_2_63", "9223372036854775808"},
          {"above_2_53", "9007199254740994"},
          {"negative_above_2_53", "-9007199254740994"},
          {"exp_without_digit", "5e"},
          {"sign_after_number", "5+3"}};
      const int expected[] = {0,   10, 13, 26, 3,  0,  255, 0, 44,  232, 100, 100,
                              100, 5,  5,  7,  10, 10, 0,   2, 254, 5,   5};
      static_assert(std::size(values) == std::size(expected));
      for (std::size_t k = 0; k < std::size(values); ++k) {
        std::string stored = expected[k] == 10 ? bytes({1, 13, 10}) : bytes({1, expected[k]});
        cases.push_back(RecordCase{values[k].first,
                                   "1 1 0\n0 " + values[k].second + "\n",
                                   {{"00000000.pos", stored}},
                                   "",
                                   1});
      }
      return cases;
    }()),
    case_name);

// Prefix lengths that change the name or the length byte.
INSTANTIATE_TEST_SUITE_P(
    PrefixLength, Records,
    testing::Values(
        RecordCase{"zero",
                   "1 1 0\n0 5 0 6 0\n",
                   {{"00000000.pos", bytes({1, 5})}, {"00000001.pos", bytes({1, 6})}},
                   "",
                   1},
        // The length byte 10 is stored as CR LF.
        RecordCase{"nine",
                   "1 1 9\n0 1 2 3 4 5 6 7 8 9 100 0\n",
                   {{"00900000.pos", bytes({13, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 100})}},
                   "",
                   1},
        RecordCase{"lf_cr_eof_nul_values",
                   "1 1 4\n0 10 13 26 0 10 0\n",
                   {{"00400000.pos", bytes({5, 13, 10, 13, 26, 0, 13, 10})}},
                   "",
                   1},
        // Negative: no prefix value, the pairs start after the key.
        RecordCase{"minus_one",
                   "1 1 -1\n0 5 0 6 0\n",
                   {{"-0100000.pos", bytes({0, 5})}, {"-0100001.pos", bytes({0, 6})}},
                   "",
                   1},
        RecordCase{"minus_two", "1 1 -2\n0 5 0\n", {{"-0200000.pos", bytes({255, 5})}}, "", 1},
        RecordCase{"minus_five", "1 1 -5\n0 5 0\n", {{"-0500000.pos", bytes({252, 5})}}, "", 1},
        RecordCase{"minus_1000", "1 1 -1000\n0 5 0\n", {{"-100000000.pos", bytes({25, 5})}}, "", 1},
        // 20 characters: longer than the classic 16-byte name store.
        RecordCase{
            "min_int",
            "1 1 -2147483648\n0 5 0 10 0\n",
            {{"-214748364800000.pos", bytes({1, 5})}, {"-214748364800001.pos", bytes({1, 13, 10})}},
            "",
            1},
        RecordCase{"wide_record_index",
                   "1 1001 0\n" + std::string(1000, '\n') + "0 5 0\n",
                   {{"000100000.pos", bytes({1, 5})}},
                   "",
                   1}),
    case_name);

// Out-of-range numbers: byte 0 and "Result too large" in a later report.
INSTANTIATE_TEST_SUITE_P(Range, Records, testing::ValuesIn([] {
                           std::vector<RecordCase> cases;
                           const std::pair<const char*, std::string> values[] = {
                               {"overflow", "1e400"},   {"negative_overflow", "-1e400"},
                               {"underflow", "1e-400"}, {"subnormal", "1e-310"},
                               {"d_exponent", "1d309"}, {"long_mantissa", std::string(400, '9')}};
                           for (const auto& [what, text] : values)
                             cases.push_back(RecordCase{what,
                                                        "1 2 1\n0 " + text + " 6 0\n",
                                                        {{"00100000.pos", bytes({2, 0, 6})}},
                                                        "data reacord read error: Result too large",
                                                        0});
                           // The same for a branch value, scanned apart from the prefix values.
                           cases.push_back(RecordCase{"in_branch_value",
                                                      "1 2 1\n0 5 1e400 0\n",
                                                      {{"00100000.pos", bytes({2, 5, 0})}},
                                                      "data reacord read error: Result too large",
                                                      0});
                           // In range: no error is left behind.
                           cases.push_back(RecordCase{"largest_normal",
                                                      "1 2 1\n0 1.7976931348623157e308 6 0\n",
                                                      {{"00100000.pos", bytes({2, 0, 6})}},
                                                      kNoLine,
                                                      0});
                           cases.push_back(RecordCase{"smallest_normal",
                                                      "1 2 1\n0 2.2250738585072014e-308 6 0\n",
                                                      {{"00100000.pos", bytes({2, 0, 6})}},
                                                      kNoLine,
                                                      0});
                           // The number stays set until the report, across later good lines.
                           cases.push_back(RecordCase{"error_survives_lines",
                                                      "1 3 1\n0 1e999 6 0\n0 7 8 0\n",
                                                      {{"00100000.pos", bytes({2, 0, 6})},
                                                       {"00100100.pos", bytes({2, 7, 8})}},
                                                      "data reacord read error: Result too large",
                                                      0});
                           // A range error with every line present is no failure.
                           cases.push_back(RecordCase{"error_without_report",
                                                      "1 1 1\n0 1e999 6 0\n",
                                                      {{"00100000.pos", bytes({2, 0, 6})}},
                                                      "",
                                                      1});
                           return cases;
                         }()),
                         case_name);

// Text-mode reading of the record lines.
INSTANTIATE_TEST_SUITE_P(
    TextMode, Records,
    testing::Values(
        RecordCase{"crlf",
                   "1 2 1\r\n0 5 6 0\r\n0 7 8\r\n",
                   {{"00100000.pos", bytes({2, 5, 6})}, {"00100100.pos", bytes({2, 7, 8})}},
                   "",
                   1},
        RecordCase{"lone_cr_is_whitespace",
                   "1 1 1\n0 5\r6 0\r7\n",
                   {{"00100000.pos", bytes({2, 5, 6})}, {"00100001.pos", bytes({2, 5, 7})}},
                   "",
                   1},
        // CR alone does not end a line: one record line.
        RecordCase{"cr_only_line_ends", "1 2 1\r0 5 6\r0 7 8\r", {}, kNoLine, 0},
        RecordCase{"eof_byte_mid_line",
                   "1 3 1\n0 5 6\n0 7\x1a"
                   "8 9\n0 1 2\n",
                   {{"00100000.pos", bytes({2, 5, 6})}, {"00100100.pos", bytes({2, 7, 0})}},
                   kNoLine,
                   0},
        RecordCase{"eof_byte_line_start",
                   "1 3 1\n0 5 6\n\x1a"
                   "0 7 8\n",
                   {{"00100000.pos", bytes({2, 5, 6})}},
                   kNoLine,
                   0},
        RecordCase{"nul_ends_line_scan",
                   "1 2 1\n0 5 6 0 7\0 0 8 0\n0 1 2\n"s,
                   {{"00100000.pos", bytes({2, 5, 6})},
                    {"00100001.pos", bytes({2, 5, 7})},
                    {"00100100.pos", bytes({2, 1, 2})}},
                   "",
                   1}),
    case_name);

// Lines longer than 8191 characters are cut into several record lines.
std::string pad_to(std::string s, std::size_t n) {
  s.resize(n, ' ');
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    LongLines, Records,
    testing::Values(
        // "12" is cut at the seam: 1 ends line 0, 2 starts line 1.
        RecordCase{"number_cut_at_seam",
                   "1 2 1\n" + pad_to("0 5", 8190) + "12 34 56\n",
                   {{"00100000.pos", bytes({2, 5, 1})}, {"00100100.pos", bytes({2, 34, 56})}},
                   "",
                   1},
        // 8191 characters and the LF: the LF alone is record line 1.
        RecordCase{"exactly_8191_then_lf",
                   "1 2 1\n" + pad_to("0 5 6", 8191) + "\n0 7 8\n",
                   {{"00100000.pos", bytes({2, 5, 6})}},
                   "",
                   1},
        RecordCase{"8190_then_lf",
                   "1 2 1\n" + pad_to("0 5 6", 8190) + "\n0 7 8\n",
                   {{"00100000.pos", bytes({2, 5, 6})}, {"00100100.pos", bytes({2, 7, 8})}},
                   "",
                   1},
        RecordCase{"8190_then_crlf",
                   "1 2 1\r\n" + pad_to("0 5 6", 8190) + "\r\n0 7 8\r\n",
                   {{"00100000.pos", bytes({2, 5, 6})}, {"00100100.pos", bytes({2, 7, 8})}},
                   "",
                   1},
        RecordCase{"8191_then_crlf",
                   "1 2 1\r\n" + pad_to("0 5 6", 8191) + "\r\n0 7 8\r\n",
                   {{"00100000.pos", bytes({2, 5, 6})}},
                   "",
                   1},
        // 20000 characters: three record lines.
        RecordCase{"three_pieces",
                   "1 3 0\n" + pad_to("0 1 0", 8191) + pad_to("0 2 0", 8191) +
                       pad_to("0 3 0", 20000 - 2 * 8191) + "\n",
                   {{"00000000.pos", bytes({1, 1})},
                    {"00000100.pos", bytes({1, 2})},
                    {"00000200.pos", bytes({1, 3})}},
                   "",
                   1}),
    case_name);

// With prefix length 5, record 10001 branch 2 and record 1000 branch 102
// share the name 0051000102.pos; the later file replaces the earlier.
TEST(E2eRecords, NameCollisionOnceFieldsOutgrowTheirWidth) {
  std::string input = "1 10002 5\n";
  Pos pos;
  for (int i = 0; i < 10002; ++i) {
    if (i == 1000) {
      input += "0 1 2 3 4 5";
      for (int b = 0; b < 103; ++b) {
        input += " " + std::to_string(b) + " 0";
        pos.push_back({e2e::pos_name(5, i, b), bytes({6, 1, 2, 3, 4, 5, b == 10 ? 13 : b})});
        if (b == 10)
          pos.back().second += bytes({10});
      }
    } else if (i == 10001) {
      input += "0 9 9 9 9 9 7 0 8 0 200 0";
      pos.push_back({e2e::pos_name(5, i, 0), bytes({6, 9, 9, 9, 9, 9, 7})});
      pos.push_back({e2e::pos_name(5, i, 1), bytes({6, 9, 9, 9, 9, 9, 8})});
      pos.push_back({e2e::pos_name(5, i, 2), bytes({6, 9, 9, 9, 9, 9, 200})});
    }
    input += "\n";
  }
  ASSERT_EQ(pos.back().first, "0051000102.pos");
  e2e::Options o;
  o.args = {"a.tlf"};
  o.files = {{"a.tlf", input}};
  e2e::Result r = e2e::run(o);
  EXPECT_EQ(r.out, expected_out(pos));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
  Files want = expected_files(pos);
  EXPECT_EQ(want.size(), 103u);
  EXPECT_EQ(want["0051000102.pos"], bytes({6, 9, 9, 9, 9, 9, 200}));
  EXPECT_EQ(r.changed, want);
}

// A record index of a million makes a 16-character name, written in full.
TEST(E2eRecords, RecordIndexOfAMillion) {
  e2e::Options o;
  o.args = {"a.tlf"};
  o.files = {{"a.tlf", "1 1000001 0\n" + std::string(1000000, '\n') + "0 5 0 6 0\n"}};
  e2e::Result r = e2e::run(o);
  Pos pos{{"000100000000.pos", bytes({1, 5})}, {"000100000001.pos", bytes({1, 6})}};
  EXPECT_EQ(r.out, expected_out(pos));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.changed, expected_files(pos));
}

// A second run recreates the same names, truncating the earlier files.
TEST(E2eRecords, SecondRunOverwrites) {
  e2e::Options o;
  o.args = {"a.tlf"};
  o.files = {{"a.tlf", "1 1 1\n0 5 6 0 10 0\n"},
             {"00100000.pos", std::string(1000, 'x')},
             {"00100001.pos", "y"}};
  e2e::Result r = e2e::run(o);
  EXPECT_EQ(r.status, 1);
  Files want{{"00100000.pos", bytes({2, 5, 6})}, {"00100001.pos", bytes({2, 5, 13, 10})}};
  EXPECT_EQ(r.changed, want);
}

} // namespace
