// Order of progress lines and error reports when both streams go to one
// place: standard output is collected in 4096-byte blocks unless it is a
// terminal, error reports go out at once.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "e2e_harness.hpp"

using e2e::bytes;
using e2e::lines;

namespace {

// One record line with `pairs` pairs while the header promises two lines,
// so the run ends with a report after all its progress lines.
std::string input_with_missing_line(int pairs, std::vector<std::string>* out) {
  std::string line = "0";
  out->push_back("input : in.tlf");
  for (int b = 0; b < pairs; ++b) {
    line += " 1 0";
    out->push_back("output : " + e2e::pos_name(0, 0, b));
  }
  return "1 2 0\n" + line + "\n";
}

const std::string kReport = "data reacord read error: No error";

TEST(E2eConsoleOrder, ReportOvertakesBufferedProgress) {
  E2E_LINUX_ONLY("one file shared by both streams");
  // 10 lines fit into the buffer; 400 lines (over 8000 bytes) fill it
  // once, so the first 4096 bytes go out before the report.
  for (int pairs : {10, 400}) {
    std::vector<std::string> progress;
    e2e::Options o;
    o.args = {"in.tlf"};
    o.files = {{"in.tlf", input_with_missing_line(pairs, &progress)}};
    o.out = e2e::Stdout::SameFile;
    e2e::Result r = e2e::run(o);
    std::string out = lines(progress);
    std::size_t early = out.size() / 4096 * 4096;
    std::string want = out.substr(0, early) + lines({kReport}) + out.substr(early);
    EXPECT_EQ(r.out, want) << pairs << " pairs";
    EXPECT_EQ(r.status, 0) << pairs << " pairs";
    EXPECT_EQ(r.changed.size(), static_cast<std::size_t>(pairs)) << pairs << " pairs";
  }
}

// A failed create: the report comes first, then the progress up to it.
TEST(E2eConsoleOrder, CreateFailureReportFirst) {
  E2E_LINUX_ONLY("one file shared by both streams");
  e2e::Options o;
  o.args = {"in.tlf"};
  o.files = {{"in.tlf", "1 1 0\n0 1 0 2 0\n"}};
  o.prepare = [](const std::string& dir) {
    ASSERT_EQ(::mkdir((dir + "/00000001.pos").c_str(), 0755), 0);
  };
  o.out = e2e::Stdout::SameFile;
  e2e::Result r = e2e::run(o);
  EXPECT_EQ(r.out, lines({"in.tlf: Permission denied", "input : in.tlf", "output : 00000000.pos"}));
  EXPECT_EQ(r.status, 0);
}

// On a terminal every progress line goes out at once, so the report
// stands after them.
TEST(E2eConsoleOrder, TerminalFlushesEachLine) {
  E2E_LINUX_ONLY("pseudo-terminals");
  std::vector<std::string> progress;
  e2e::Options o;
  o.args = {"in.tlf"};
  o.files = {{"in.tlf", input_with_missing_line(3, &progress)}};
  o.out = e2e::Stdout::Terminal;
  e2e::Result r = e2e::run(o);
  progress.push_back(kReport);
  EXPECT_EQ(r.out, lines(progress));
  EXPECT_EQ(r.status, 0);
  std::map<std::string, std::string> files{{"00000000.pos", bytes({1, 1})},
                                           {"00000001.pos", bytes({1, 1})},
                                           {"00000002.pos", bytes({1, 1})}};
  EXPECT_EQ(r.changed, files);
}

// The usage text on a terminal, and a successful run: nothing is lost.
TEST(E2eConsoleOrder, TerminalWithoutReport) {
  E2E_LINUX_ONLY("pseudo-terminals");
  e2e::Options usage;
  usage.out = e2e::Stdout::Terminal;
  e2e::Result r = e2e::run(usage);
  EXPECT_EQ(r.out,
            lines({"", "Usage: tlf2pos <tulo_format_file_name>", "ex. tlf2pos tulo005.tlf"}));
  EXPECT_EQ(r.status, 0);

  e2e::Options good;
  good.args = {"in.tlf"};
  good.files = {{"in.tlf", "1 1 0\n0 4 0\n"}};
  good.out = e2e::Stdout::Terminal;
  r = e2e::run(good);
  EXPECT_EQ(r.out, lines({"input : in.tlf", "output : 00000000.pos"}));
  EXPECT_EQ(r.status, 1);
}

} // namespace
