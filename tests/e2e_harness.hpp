// Runs the built tlf2pos in a scratch folder and captures everything it
// leaves: standard output, standard error, exit status and the files.
//
// The command comes from TLF2POS_RUN (blank-separated words, the program's
// arguments appended), else the built binary. TLF2POS_TARGET=windows makes
// console lines end in CR LF and skips the tests that need Linux.
#ifndef TLF2POS_TESTS_E2E_HARNESS_HPP
#define TLF2POS_TESTS_E2E_HARNESS_HPP

#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

/// Where the program's standard output goes.
enum class Stdout {
  File,       ///< a regular file (not a terminal): captured in Result::out
  ClosedPipe, ///< a pipe whose read end was closed before the run
  DevFull,    ///< /dev/full: every write fails with a full disk
  SameFile,   ///< one file shared with standard error: captured in out
  Terminal,   ///< a pseudo-terminal shared with standard error: in out
  Closed,     ///< standard input and output both closed: nothing captured
};

/// How to run the program once.
struct Options {
  std::vector<std::string> args;
  /// Files put into the scratch folder before the run: name -> bytes.
  std::vector<std::pair<std::string, std::string>> files;
  /// Extra preparation in the scratch folder (its absolute path is given):
  /// folders, links, permissions. Entries it makes count as present before.
  std::function<void(const std::string& dir)> prepare;
  /// Standard input as a pipe fed with these bytes; /dev/null otherwise.
  std::optional<std::string> stdin_bytes;
  /// A FIFO of this name is made in the folder and fed with fifo_bytes once
  /// the program opens it.
  std::string fifo_name;
  std::string fifo_bytes;
  Stdout out = Stdout::File;
  /// RLIMIT_NOFILE for the program, if not negative.
  long nofile_limit = -1;
  /// RLIMIT_FSIZE in bytes for the program, if not negative. It holds for
  /// the captured streams too: keep it above the console output.
  long fsize_limit = -1;
  /// Run the program as user nobody (the folder is made writable for it).
  bool as_nobody = false;
  /// Hide /dev from the program behind an empty file system in a mount
  /// namespace of its own (root only), so /dev/null cannot be opened.
  bool without_dev = false;
};

/// What one run left.
struct Result {
  /// Exit status, or -1 if the program did not exit normally.
  int status = -1;
  /// The signal that ended the program, 0 if none.
  int signal = 0;
  std::string out;
  std::string err;
  /// Entries that are new or whose content changed in the run: name ->
  /// bytes for regular files, "<directory>", "<symlink>" or "<other>".
  std::map<std::string, std::string> changed;
  /// Every entry in the folder after the run, with the same values.
  std::map<std::string, std::string> after;
};

/// Runs the program once in a fresh scratch folder, removed afterwards.
/// Throws std::runtime_error when the harness itself fails (a folder, a
/// descriptor, fork, waitpid); the program is then killed or already gone,
/// its feeders joined and the folder removed.
Result run(const Options& options);

/// True when TLF2POS_RUN starts the program through another command (an
/// emulator, a memory checker) that has needs of its own, descriptors
/// included.
bool through_wrapper();

/// True when the program under test is the Windows build.
bool windows_target();

/// The console line end of the program under test.
const char* line_end();

/// The given lines, each followed by the console line end.
std::string lines(std::initializer_list<std::string> texts);
std::string lines(const std::vector<std::string>& texts);

/// Bytes from small integers, for expected POS file contents.
std::string bytes(std::initializer_list<int> values);

/// The POS name "%03d%03d%02d.pos" of the given fields.
std::string pos_name(int prefix_length, int record_index, int branch_index);

/// Human-readable form of bytes for failure messages.
std::string show(const std::string& s);

} // namespace e2e

/// Skips the current test with a reason when the program is not a Linux
/// build: privileges, /dev/full, rlimits, FIFOs and signals are Linux's.
#define E2E_LINUX_ONLY(why)                                                                        \
  do {                                                                                             \
    if (::e2e::windows_target())                                                                   \
      GTEST_SKIP() << "needs a Linux build of the program: " << why;                               \
  } while (0)

#endif
