// Real faults of the system around a run: POS files that cannot be created
// or written, too few file descriptors, an unprivileged user, a standard
// output that fails, and input that comes through a pipe.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e_harness.hpp"

using e2e::bytes;
using e2e::lines;

namespace {

using Files = std::map<std::string, std::string>;

// Three pairs: the first POS file is written before the fault meets the
// second, and the third shows whether the run went on.
const std::string kInput = "1 1 1\n0 5 6 0 7 0 8 0\n";
const std::string kFirst = "00100000.pos";
const std::string kSecond = "00100001.pos";
const std::string kThird = "00100002.pos";

// How the second POS file is made to fail.
struct CreateFault {
  const char* what;
  std::function<void(const std::string& dir)> prepare;
  bool as_nobody;
  bool linux_only;
  std::string err;
  bool announced;   // the create succeeded, so "output : " came before
  bool second_kept; // what stood at the second name is still there
  Files left;       // entries that are new or changed after the run
};

// Failure messages name the case instead of dumping its bytes.
void PrintTo(const CreateFault& c, std::ostream* os) { *os << c.what; }

class PosFault : public testing::TestWithParam<CreateFault> {};

TEST_P(PosFault, ReportsStopsAndLeavesNoShortFile) {
  const CreateFault& c = GetParam();
  if (c.linux_only)
    E2E_LINUX_ONLY("devices, symbolic links and user nobody");
  e2e::Options o;
  o.args = {"in.tlf"};
  o.files = {{"in.tlf", kInput}};
  o.prepare = c.prepare;
  o.as_nobody = c.as_nobody;
  e2e::Result r = e2e::run(o);
  std::vector<std::string> out{"input : in.tlf", "output : " + kFirst};
  if (c.announced)
    out.push_back("output : " + kSecond);
  EXPECT_EQ(r.out, lines(out));
  EXPECT_EQ(r.err, lines({c.err}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.changed, c.left);
  EXPECT_EQ(r.after.count(kSecond), c.second_kept ? 1u : 0u);
  EXPECT_EQ(r.after.count(kThird), 0u);
}

void make_folder(const std::string& dir, const std::string& name) {
  ASSERT_EQ(::mkdir((dir + "/" + name).c_str(), 0755), 0);
}

INSTANTIATE_TEST_SUITE_P(
    E2e, PosFault,
    testing::Values(
        // A folder where the POS file goes: denied even to root.
        CreateFault{"folder_in_the_way",
                    [](const std::string& dir) { make_folder(dir, kSecond); },
                    false,
                    false,
                    "in.tlf: Permission denied",
                    false,
                    true,
                    {{kFirst, bytes({2, 5, 6})}}},
        // A full disk behind a symbolic link: the write fails, and the
        // link, which is not the run's to remove, stays.
        CreateFault{"disk_full",
                    [](const std::string& dir) {
                      ASSERT_EQ(::symlink("/dev/full", (dir + "/" + kSecond).c_str()), 0);
                    },
                    false,
                    true,
                    "in.tlf: No space left on device",
                    true,
                    true,
                    {{kFirst, bytes({2, 5, 6})}}},
        CreateFault{"disk_full_unprivileged",
                    [](const std::string& dir) {
                      ASSERT_EQ(::symlink("/dev/full", (dir + "/" + kSecond).c_str()), 0);
                    },
                    true,
                    true,
                    "in.tlf: No space left on device",
                    true,
                    true,
                    {{kFirst, bytes({2, 5, 6})}}},
        // A read-only POS file of that name: kept as it was.
        CreateFault{"read_only_pos_file",
                    [](const std::string& dir) {
                      std::string p = dir + "/" + kSecond;
                      FILE* f = std::fopen(p.c_str(), "wb");
                      ASSERT_NE(f, nullptr);
                      std::fputs("keep", f);
                      std::fclose(f);
                      ASSERT_EQ(::chmod(p.c_str(), 0444), 0);
                    },
                    true,
                    true,
                    "in.tlf: Permission denied",
                    false,
                    true,
                    {{kFirst, bytes({2, 5, 6})}}},
        // A FIFO that nobody reads: the create fails at once, no wait.
        CreateFault{"fifo_without_reader",
                    [](const std::string& dir) {
                      ASSERT_EQ(::mkfifo((dir + "/" + kSecond).c_str(), 0666), 0);
                    },
                    false,
                    true,
                    "in.tlf: Invalid argument",
                    false,
                    true,
                    {{kFirst, bytes({2, 5, 6})}}},
        // A symbolic link into a missing folder.
        CreateFault{"link_into_missing_folder",
                    [](const std::string& dir) {
                      ASSERT_EQ(::symlink("nowhere/x.pos", (dir + "/" + kSecond).c_str()), 0);
                    },
                    false,
                    true,
                    "in.tlf: No such file or directory",
                    false,
                    true,
                    {{kFirst, bytes({2, 5, 6})}}}),
    [](const testing::TestParamInfo<CreateFault>& i) { return i.param.what; });

// A FIFO at a POS name whose reader is slow: its pipe is full when the
// program opens it, and the POS bytes must wait for room, not fail.
TEST(E2eFaults, FifoWithSlowReaderGetsThePosBytes) {
  E2E_LINUX_ONLY("FIFOs");
  std::thread reader;
  std::string got;
  std::size_t filler = 0;
  e2e::Options o;
  o.args = {"in.tlf"};
  o.files = {{"in.tlf", kInput}};
  o.prepare = [&](const std::string& dir) {
    std::string fifo = dir + "/" + kSecond;
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    // Opened for reading and writing, so the program finds a reader.
    int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'x');
    ssize_t n;
    while ((n = ::write(fd, block.data(), block.size())) > 0)
      filler += static_cast<std::size_t>(n);
    reader = std::thread([fd, &got, &filler] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      char buf[65536];
      pollfd p{fd, POLLIN, 0};
      while (got.size() < filler + 3 && ::poll(&p, 1, 10000) > 0) {
        ssize_t k = ::read(fd, buf, sizeof buf);
        if (k <= 0)
          break;
        got.append(buf, static_cast<std::size_t>(k));
      }
      ::close(fd);
    });
  };
  e2e::Result r = e2e::run(o);
  if (reader.joinable())
    reader.join();
  EXPECT_EQ(r.out, lines({"input : in.tlf", "output : " + kFirst, "output : " + kSecond,
                          "output : " + kThird}));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
  ASSERT_GE(got.size(), filler);
  EXPECT_EQ(got.substr(filler), bytes({2, 5, 7}));
  EXPECT_EQ(r.changed, (Files{{kFirst, bytes({2, 5, 6})}, {kThird, bytes({2, 5, 8})}}));
}

// A file size limit cuts a POS write short: the short file is taken back
// and the failure reported. The limit sits above the console output, which
// it holds back as well.
TEST(E2eFaults, FileSizeLimit) {
  E2E_LINUX_ONLY("RLIMIT_FSIZE and SIGXFSZ");
  std::string line = "0";
  std::string content(1, static_cast<char>(121));
  for (int k = 0; k < 120; ++k) {
    line += " 1";
    content.push_back(1);
  }
  content.push_back(7);
  struct Case {
    long limit;
    std::string err;
    int status;
    Files files;
  };
  for (const Case& c : {Case{100, lines({"in.tlf: Invalid argument"}), 0, {}},
                        Case{122, "", 1, {{"12000000.pos", content}}}}) {
    e2e::Options o;
    o.args = {"in.tlf"};
    o.files = {{"in.tlf", "1 1 120\n" + line + " 7 0\n"}};
    o.fsize_limit = c.limit;
    e2e::Result r = e2e::run(o);
    EXPECT_EQ(r.signal, 0) << "limit " << c.limit;
    EXPECT_EQ(r.out, lines({"input : in.tlf", "output : 12000000.pos"})) << "limit " << c.limit;
    EXPECT_EQ(r.err, c.err) << "limit " << c.limit;
    EXPECT_EQ(r.status, c.status) << "limit " << c.limit;
    EXPECT_EQ(r.changed, c.files) << "limit " << c.limit;
  }
}

// The read-only POS file above must be untouched, not only unlisted.
TEST(E2eFaults, ReadOnlyPosFileKeepsItsBytes) {
  E2E_LINUX_ONLY("user nobody");
  e2e::Options o;
  o.args = {"in.tlf"};
  o.files = {{"in.tlf", kInput}, {kFirst, "keep"}};
  o.prepare = [](const std::string& dir) {
    ASSERT_EQ(::chmod((dir + "/" + kFirst).c_str(), 0444), 0);
  };
  o.as_nobody = true;
  e2e::Result r = e2e::run(o);
  EXPECT_EQ(r.out, lines({"input : in.tlf"}));
  EXPECT_EQ(r.err, lines({"in.tlf: Permission denied"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.changed.empty());
  EXPECT_EQ(r.after[kFirst], "keep");
}

// A folder that the user may not write: the first create fails.
TEST(E2eFaults, ReadOnlyFolderAsUnprivilegedUser) {
  E2E_LINUX_ONLY("user nobody");
  e2e::Options o;
  o.args = {"in.tlf"};
  o.files = {{"in.tlf", kInput}};
  o.prepare = [](const std::string& dir) { ASSERT_EQ(::chmod(dir.c_str(), 0555), 0); };
  o.as_nobody = true;
  e2e::Result r = e2e::run(o);
  EXPECT_EQ(r.out, lines({"input : in.tlf"}));
  EXPECT_EQ(r.err, lines({"in.tlf: Permission denied"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.changed.empty());
}

// Descriptors 0, 1 and 2 are open and the input takes 3: with a limit of 4
// no POS file can be created; with 5 every one can, if each is closed.
TEST(E2eFaults, OpenFileLimit) {
  E2E_LINUX_ONLY("RLIMIT_NOFILE");
  if (e2e::through_wrapper())
    GTEST_SKIP() << "the descriptor count holds for the program run directly";
  struct Case {
    long limit;
    std::string out;
    std::string err;
    int status;
    Files files;
  };
  for (const Case& c :
       {Case{4, lines({"input : in.tlf"}), lines({"in.tlf: Too many open files"}), 0, {}},
        Case{5,
             lines({"input : in.tlf", "output : " + kFirst, "output : " + kSecond,
                    "output : " + kThird}),
             "",
             1,
             {{kFirst, bytes({2, 5, 6})},
              {kSecond, bytes({2, 5, 7})},
              {kThird, bytes({2, 5, 8})}}}}) {
    e2e::Options o;
    o.args = {"in.tlf"};
    o.files = {{"in.tlf", kInput}};
    o.nofile_limit = c.limit;
    e2e::Result r = e2e::run(o);
    EXPECT_EQ(r.out, c.out) << "limit " << c.limit;
    EXPECT_EQ(r.err, c.err) << "limit " << c.limit;
    EXPECT_EQ(r.status, c.status) << "limit " << c.limit;
    EXPECT_EQ(r.changed, c.files) << "limit " << c.limit;
  }
}

// Enough pairs that standard output is written several times during the
// run, not only at its end.
std::string many_pairs_input(int pairs, Files* files) {
  std::string line = "0 9";
  for (int b = 0; b < pairs; ++b) {
    int v = b % 256 == 10 ? 11 : b % 256;
    line += " " + std::to_string(v) + " 0";
    (*files)[e2e::pos_name(1, 0, b)] = bytes({2, 9, v});
  }
  return "1 1 1\n" + line + "\n";
}

// A failing or closed standard output changes nothing: not the files, not
// the status. With descriptors 0 and 1 closed, console text must not go into
// the input or a POS file that the system hands them to.
TEST(E2eFaults, FailingStandardOutput) {
  E2E_LINUX_ONLY("pipes, /dev/full, SIGPIPE and closed descriptors");
  Files files;
  std::string input = many_pairs_input(600, &files);
  for (e2e::Stdout mode : {e2e::Stdout::ClosedPipe, e2e::Stdout::DevFull, e2e::Stdout::Closed}) {
    e2e::Options o;
    o.args = {"in.tlf"};
    o.files = {{"in.tlf", input}};
    o.out = mode;
    e2e::Result r = e2e::run(o);
    EXPECT_EQ(r.signal, 0) << static_cast<int>(mode);
    EXPECT_EQ(r.status, 1) << static_cast<int>(mode);
    EXPECT_EQ(r.err, "") << static_cast<int>(mode);
    EXPECT_EQ(r.changed, files) << static_cast<int>(mode);
  }
}

// Where the closed descriptors cannot be filled, the program does not start:
// no console text may go into a POS file.
TEST(E2eFaults, ClosedDescriptorsWithoutNullDevice) {
  E2E_LINUX_ONLY("mount namespaces");
  if (::geteuid() != 0 || e2e::through_wrapper())
    GTEST_SKIP() << "hiding /dev needs root and the program run directly";
  e2e::Options o;
  o.args = {"in.tlf"};
  o.files = {{"in.tlf", kInput}};
  o.out = e2e::Stdout::Closed;
  o.without_dev = true;
  e2e::Result r = e2e::run(o);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(r.changed.empty());
}

// A failed write to standard output sets the last-error number that the
// report of a later failure shows: a closed pipe has no closer entry. A
// standard output the caller closed is the null device, open for writing,
// so nothing fails there.
TEST(E2eFaults, FailingStandardOutputThenMissingLine) {
  E2E_LINUX_ONLY("pipes, /dev/full and closed descriptors");
  const std::pair<e2e::Stdout, const char*> modes[] = {
      {e2e::Stdout::ClosedPipe, "Invalid argument"},
      {e2e::Stdout::DevFull, "No space left on device"},
      {e2e::Stdout::Closed, "No error"}};
  for (const auto& [mode, text] : modes) {
    Files files;
    std::string input = many_pairs_input(600, &files);
    input[2] = '2'; // the header asks for two record lines
    e2e::Options o;
    o.args = {"in.tlf"};
    o.files = {{"in.tlf", input}};
    o.out = mode;
    e2e::Result r = e2e::run(o);
    EXPECT_EQ(r.status, 0) << text;
    EXPECT_EQ(r.err, lines({std::string("data reacord read error: ") + text})) << text;
    EXPECT_EQ(r.changed, files) << text;
  }
}

// Input through a pipe: the standard input named as /dev/stdin, or a FIFO.
// Reads then come in pieces of whatever size the pipe hands out.
TEST(E2eFaults, InputFromAPipe) {
  E2E_LINUX_ONLY("pipes and FIFOs");
  // Large, with CR LF line ends, so that reads split lines and CR LF pairs.
  std::string input = "1 1000 1\r\n";
  Files files;
  std::vector<std::string> out{"input : "};
  for (int i = 0; i < 1000; ++i) {
    int v = i % 200 == 10 ? 11 : i % 200;
    input += std::to_string(i) + " " + std::to_string(v) + " 7 0 " +
             std::string(static_cast<std::size_t>(i % 443), ' ') + "\r\n";
    files[e2e::pos_name(1, i, 0)] = bytes({2, v, 7});
    out.push_back("output : " + e2e::pos_name(1, i, 0));
  }
  input.pop_back(); // the last line ends in CR alone
  input.pop_back();
  ASSERT_GT(input.size(), 3u * 65536u); // several read blocks
  for (bool fifo : {false, true}) {
    e2e::Options o;
    if (fifo) {
      o.args = {"in.fifo"};
      o.fifo_name = "in.fifo";
      o.fifo_bytes = input;
    } else {
      o.args = {"/dev/stdin"};
      o.stdin_bytes = input;
    }
    out[0] = "input : " + o.args[0];
    e2e::Result r = e2e::run(o);
    EXPECT_EQ(r.out, lines(out)) << (fifo ? "fifo" : "stdin");
    EXPECT_EQ(r.err, "") << (fifo ? "fifo" : "stdin");
    EXPECT_EQ(r.status, 1) << (fifo ? "fifo" : "stdin");
    EXPECT_EQ(r.changed, files) << (fifo ? "fifo" : "stdin");
  }
}

// A pipe that ends in the middle of a record line: that last line still
// counts; a line the header promised and the pipe never sent is reported.
TEST(E2eFaults, PipeEndsMidLine) {
  E2E_LINUX_ONLY("pipes");
  struct Case {
    const char* what;
    std::string input;
    std::string err;
    int status;
    Files files;
  };
  for (const Case& c :
       {Case{"last_line_cut",
             "1 2 1\n0 5 6 0\n0 7 8",
             "",
             1,
             {{"00100000.pos", bytes({2, 5, 6})}, {"00100100.pos", bytes({2, 7, 8})}}},
        Case{"cut_after_cr",
             "1 2 1\r\n0 5 6 0\r\n0 7 8\r",
             "",
             1,
             {{"00100000.pos", bytes({2, 5, 6})}, {"00100100.pos", bytes({2, 7, 8})}}},
        Case{"line_missing",
             "1 3 1\n0 5 6 0\n0 7 8",
             lines({"data reacord read error: No error"}),
             0,
             {{"00100000.pos", bytes({2, 5, 6})}, {"00100100.pos", bytes({2, 7, 8})}}},
        Case{"header_cut", "1 2", lines({"header read error: Invalid argument"}), 0, {}},
        Case{"nothing_sent", "", lines({"header read error: No error"}), 0, {}}}) {
    e2e::Options o;
    o.args = {"/dev/stdin"};
    o.stdin_bytes = c.input;
    e2e::Result r = e2e::run(o);
    EXPECT_EQ(r.err, c.err) << c.what;
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_EQ(r.changed, c.files) << c.what;
  }
}

// The harness itself: a run whose program cannot be waited for (with
// SIGCHLD ignored the system reaps it at once) fails as an exception of
// that run, its standard-input feeder joined, instead of ending the suite.
TEST(E2eHarness, ProgramThatCannotBeWaitedForFailsTheRun) {
  if (e2e::through_wrapper() || e2e::windows_target())
    GTEST_SKIP() << "a test of the harness: the plain program is enough";
  struct sigaction ignore {};
  struct sigaction before {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGCHLD, &ignore, &before), 0);
  e2e::Options o;
  o.stdin_bytes = "1 1 1\n";
  EXPECT_THROW(e2e::run(o), std::runtime_error);
  ASSERT_EQ(::sigaction(SIGCHLD, &before, nullptr), 0);
}

} // namespace
