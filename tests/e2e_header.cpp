// The header line: when it is announced, how its three integers are read,
// and which headers stop the run before any record line.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>

#include "e2e_harness.hpp"

using e2e::bytes;
using e2e::lines;

namespace {

using Files = std::map<std::string, std::string>;

struct HeaderCase {
  const char* what;
  std::string input;
  std::string out;
  std::string err;
  int status;
  Files files;
};

// Failure messages name the case instead of dumping its bytes.
void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.what; }

class Header : public testing::TestWithParam<HeaderCase> {};

TEST_P(Header, Run) {
  const HeaderCase& c = GetParam();
  e2e::Options o;
  o.args = {"x.tlf"};
  o.files = {{"x.tlf", c.input}};
  e2e::Result r = e2e::run(o);
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.err, c.err);
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.changed, c.files);
}

const std::string kIn = "input : x.tlf";

// Two record lines that would give two POS files, so a header that should
// stop the run or convert nothing shows if it does not.
const std::string kRecords = "0 7 8 9 0\n0 4 5 6 0\n";

HeaderCase stopped(const char* what, std::string header) {
  return {what, header + kRecords, lines({kIn}), lines({"header read error: Invalid argument"}), 0,
          {}};
}

HeaderCase nothing_converted(const char* what, std::string header) {
  return {what, header + kRecords, lines({kIn}), "", 1, {}};
}

INSTANTIATE_TEST_SUITE_P(
    FileEnds, Header,
    testing::Values(HeaderCase{"empty_file", "", "", lines({"header read error: No error"}), 0, {}},
                    HeaderCase{"end_of_file_byte_first",
                               "\x1a"
                               "1 1 1\n0 7 8\n",
                               "",
                               lines({"header read error: No error"}),
                               0,
                               {}},
                    HeaderCase{"short_header_without_lf",
                               "1 2",
                               lines({kIn}),
                               lines({"header read error: Invalid argument"}),
                               0,
                               {}}),
    [](const testing::TestParamInfo<HeaderCase>& i) { return i.param.what; });

// A header line that is read is announced even when it cannot be used.
INSTANTIATE_TEST_SUITE_P(
    Unusable, Header,
    testing::Values(stopped("empty_line", "\n"), stopped("crlf_only", "\r\n"),
                    stopped("blanks", "   \t\n"), stopped("word", "abc\n"),
                    stopped("one_number", "1\n"), stopped("two_numbers", "1 2\n"),
                    stopped("commas", "1,2,3\n"), stopped("sign_without_digit", "1 2 +\n"),
                    stopped("sign_then_blank", "1 - 2 3\n"), stopped("decimal_point", "1.5 2 3\n"),
                    stopped("nul_cuts_the_line", std::string("1 2\0 3\n", 7)),
                    stopped("prefix_229", "1 2 229\n"), stopped("prefix_229_count_0", "1 0 229\n"),
                    stopped("prefix_wraps_to_229", "1 2 4294967525\n"),
                    stopped("prefix_max_int", "1 2 2147483647\n")),
    [](const testing::TestParamInfo<HeaderCase>& i) { return i.param.what; });

// The record count is 32 bits read as unsigned and used as signed.
INSTANTIATE_TEST_SUITE_P(RecordCount, Header,
                         testing::Values(nothing_converted("zero", "1 0 3\n"),
                                         nothing_converted("minus_one", "1 -1 3\n"),
                                         nothing_converted("minus_zero", "1 -0 3\n"),
                                         nothing_converted("min_int", "1 -2147483648 3\n"),
                                         nothing_converted("three_billion", "1 3000000000 3\n"),
                                         nothing_converted("two_to_31", "1 2147483648 3\n"),
                                         nothing_converted("two_to_32", "1 4294967296 3\n"),
                                         HeaderCase{"two_to_32_plus_1",
                                                    "1 4294967297 3\n" + kRecords,
                                                    lines({kIn, "output : 00300000.pos"}),
                                                    "",
                                                    1,
                                                    {{"00300000.pos", bytes({4, 7, 8, 9, 0})}}},
                                         HeaderCase{"minus_two_to_32_minus_1",
                                                    "1 -4294967295 3\n" + kRecords,
                                                    lines({kIn, "output : 00300000.pos"}),
                                                    "",
                                                    1,
                                                    {{"00300000.pos", bytes({4, 7, 8, 9, 0})}}},
                                         HeaderCase{"leading_zeros_plus",
                                                    "1 +0002 3\n" + kRecords,
                                                    lines({kIn, "output : 00300000.pos",
                                                           "output : 00300100.pos"}),
                                                    "",
                                                    1,
                                                    {{"00300000.pos", bytes({4, 7, 8, 9, 0})},
                                                     {"00300100.pos", bytes({4, 4, 5, 6, 0})}}}),
                         [](const testing::TestParamInfo<HeaderCase>& i) { return i.param.what; });

// Integer syntax: any whitespace between fields (none included), decimal
// even with leading zeros, the rest of the line ignored.
INSTANTIATE_TEST_SUITE_P(
    Syntax, Header,
    testing::Values(HeaderCase{"tabs_and_trailing_text",
                               "\t 9\v1\f 2 and more\n0 7 8 0\n",
                               lines({kIn, "output : 00200000.pos"}),
                               "",
                               1,
                               {{"00200000.pos", bytes({3, 7, 8, 0})}}},
                    HeaderCase{"fields_run_together",
                               "9+1-2\n0 7 0\n",
                               lines({kIn, "output : -0200000.pos"}),
                               "",
                               1,
                               {{"-0200000.pos", bytes({255, 7})}}},
                    HeaderCase{
                        "leading_zero_is_not_octal",
                        "1 1 010\n0 1 2 3 4 5 6 7 8 9 10 11 0\n",
                        lines({kIn, "output : 01000000.pos"}),
                        "",
                        1,
                        {{"01000000.pos", bytes({11, 1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 10, 11})}}},
                    HeaderCase{"hex_prefix_reads_as_zero",
                               "1 1 0x5\n0 7 0\n",
                               lines({kIn, "output : 00000000.pos"}),
                               "",
                               1,
                               {{"00000000.pos", bytes({1, 7})}}},
                    HeaderCase{"prefix_wraps_to_small",
                               "1 1 4294967298\n0 7 8 9 0\n",
                               lines({kIn, "output : 00200000.pos"}),
                               "",
                               1,
                               {{"00200000.pos", bytes({3, 7, 8, 9})}}},
                    HeaderCase{"first_number_unused",
                               "-99999999999 1 1\n0 7 8 0\n",
                               lines({kIn, "output : 00100000.pos"}),
                               "",
                               1,
                               {{"00100000.pos", bytes({2, 7, 8})}}},
                    HeaderCase{"crlf_header",
                               "1 1 1\r\n0 7 8 0\r\n",
                               lines({kIn, "output : 00100000.pos"}),
                               "",
                               1,
                               {{"00100000.pos", bytes({2, 7, 8})}}},
                    HeaderCase{"no_record_lines",
                               "1 2 3\n",
                               lines({kIn}),
                               lines({"data reacord read error: No error"}),
                               0,
                               {}}),
    [](const testing::TestParamInfo<HeaderCase>& i) { return i.param.what; });

// The largest supported prefix length: 228 values, a 230-byte POS file.
TEST(E2eHeader, PrefixLength228) {
  std::string line = "0";
  std::string want(1, static_cast<char>(229));
  for (int k = 0; k < 228; ++k) {
    int v = (k * 7 + 1) % 256;
    if (v == 10)
      v = 11;
    line += " " + std::to_string(v);
    want.push_back(static_cast<char>(v));
  }
  line += " 77 0\n";
  want.push_back(77);
  e2e::Options o;
  o.args = {"x.tlf"};
  o.files = {{"x.tlf", "1 1 228\n" + line}};
  e2e::Result r = e2e::run(o);
  EXPECT_EQ(r.out, lines({kIn, "output : 22800000.pos"}));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
  Files files{{"22800000.pos", want}};
  EXPECT_EQ(r.changed, files);
}

// A header line longer than 8191 characters: its first 8191 are the header,
// the rest is record line 0.
TEST(E2eHeader, LongHeaderLineSpillsIntoRecordLine0) {
  struct Case {
    const char* what;
    std::string spill; // what follows the first 8191 characters
    std::string out;
    Files files;
  };
  const std::string head = "1 2 2";
  const std::string padded = head + std::string(8191 - head.size(), ' ');
  for (const Case& c : {Case{"numbers",
                             "0 5 6 7 0 8 0\n9 1 2 3\n",
                             lines({kIn, "output : 00200000.pos", "output : 00200001.pos",
                                    "output : 00200100.pos"}),
                             {{"00200000.pos", bytes({3, 5, 6, 7})},
                              {"00200001.pos", bytes({3, 5, 6, 8})},
                              {"00200100.pos", bytes({3, 1, 2, 3})}}},
                        // Only the LF is left: record index 0 holds no number.
                        Case{"lf_only",
                             "\n9 1 2 3\n",
                             lines({kIn, "output : 00200100.pos"}),
                             {{"00200100.pos", bytes({3, 1, 2, 3})}}}}) {
    e2e::Options o;
    o.args = {"x.tlf"};
    o.files = {{"x.tlf", padded + c.spill}};
    e2e::Result r = e2e::run(o);
    EXPECT_EQ(r.out, c.out) << c.what;
    EXPECT_EQ(r.err, "") << c.what;
    EXPECT_EQ(r.status, 1) << c.what;
    EXPECT_EQ(r.changed, c.files) << c.what;
  }
}

} // namespace
