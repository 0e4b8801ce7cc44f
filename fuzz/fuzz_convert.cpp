// Fuzz target: a whole run of the converter on an arbitrary TULO file.
//
// The run works in a scratch folder of its own (made once; the process moves
// into it for each run and back) on the file in.tlf. Its progress lines go
// to /dev/null for good; its error reports go there only while it runs, so
// that the fuzzer's own messages still reach the terminal, and sanitizer
// reports go to a copy of the original standard error. A crash during a run
// is reported there; its input lands under -artifact_prefix (made absolute,
// the current folder by default), though the fuzzer's line naming it is
// lost. After each run every POS file is checked
// (stored as DOS text, one length byte, prefix bytes and a branch byte) and
// removed, and no file descriptor may be left open.
#include <dirent.h>
#include <fcntl.h>
#include <sanitizer/common_interface_defs.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/run.hpp"

#include "fuzz/fuzz_check.hpp"

namespace {

const char kInput[] = "in.tlf";

Run run;
// In memory where possible: on ext4, truncating and rewriting a file that
// held data forces it to disk on close, which would cost milliseconds a run.
char scratch[] = "/dev/shm/fuzz_convert.XXXXXX";
char fallback_scratch[] = "/tmp/fuzz_convert.XXXXXX";
char* scratch_path = scratch;
int home_fd = -1;
int scratch_fd = -1;
int null_fd = -1;
int saved_stderr = -1;

void fail_setup(const char* what) {
  perror(what);
  abort();
}

// The lowest descriptor number not in use.
int lowest_free_fd() {
  int fd = fcntl(null_fd, F_DUPFD, 0);
  if (fd < 0)
    fail_setup("fcntl");
  close(fd);
  return fd;
}

// A POS file as stored: every LF behind a CR; decoded, a length byte, the
// prefix bytes and the branch byte, whose count the length byte gives for a
// prefix length of 0 or more (a negative one leaves two bytes).
void check_pos_file(const char* name) {
  int fd = open(name, O_RDONLY);
  CHECK(fd >= 0);
  unsigned char stored[1024];
  ssize_t n = read(fd, stored, sizeof stored);
  close(fd);
  CHECK(n >= 2 && n <= 2 * 230);
  int logical = 0;
  for (ssize_t i = 0; i < n; ++i) {
    if (stored[i] == 13 && i + 1 < n && stored[i + 1] == 10)
      ++i;
    else
      CHECK(stored[i] != 10);
    ++logical;
  }
  int length_byte = stored[0] == 13 && n > 1 && stored[1] == 10 ? 10 : stored[0];
  CHECK(logical == 2 || logical == length_byte + 1);
}

// Checks and removes everything but the input.
void clean_scratch() {
  DIR* d = opendir(".");
  CHECK(d != nullptr);
  while (dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0 ||
        strcmp(e->d_name, kInput) == 0)
      continue;
    size_t len = strlen(e->d_name);
    CHECK(len > 4 && strcmp(e->d_name + len - 4, ".pos") == 0);
    check_pos_file(e->d_name);
    CHECK(unlink(e->d_name) == 0);
  }
  closedir(d);
}

// Leaves no scratch folder behind after a normal end of fuzzing.
void remove_scratch() {
  if (fchdir(scratch_fd) == 0) {
    clean_scratch();
    unlink(kInput);
  }
  if (fchdir(home_fd) == 0)
    rmdir(scratch_path);
}

// The process leaves its own folder only during a run, so relative corpus
// paths keep working; a crash during a run must still put its input where
// the fuzzer was asked to, so artifact paths are made absolute.
void absolute_artifact_paths(int* argc, char*** argv) {
  static std::vector<std::string> texts;
  static std::vector<char*> args;
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd))
    fail_setup("getcwd");
  bool has_prefix = false;
  for (int i = 0; i < *argc; ++i) {
    std::string a = (*argv)[i];
    for (const char* flag : {"-artifact_prefix=", "-exact_artifact_path="}) {
      std::size_t n = strlen(flag);
      if (a.compare(0, n, flag) != 0)
        continue;
      has_prefix |= flag[1] == 'a';
      if (a.size() == n || a[n] != '/')
        a = flag + std::string(cwd) + "/" + a.substr(n);
    }
    texts.push_back(a);
  }
  if (!has_prefix)
    texts.push_back("-artifact_prefix=" + std::string(cwd) + "/");
  for (std::string& t : texts)
    args.push_back(&t[0]);
  args.push_back(nullptr);
  *argc = static_cast<int>(texts.size());
  *argv = args.data();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  absolute_artifact_paths(argc, argv);
  if (!mkdtemp(scratch)) {
    scratch_path = fallback_scratch;
    if (!mkdtemp(scratch_path))
      fail_setup("mkdtemp");
  }
  home_fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  scratch_fd = open(scratch_path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  saved_stderr = fcntl(2, F_DUPFD_CLOEXEC, 3);
  if (home_fd < 0 || scratch_fd < 0 || null_fd < 0 || saved_stderr < 0)
    fail_setup("open");
  __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(saved_stderr)));
  if (dup2(null_fd, 1) < 0)
    fail_setup("dup2");
  if (!os_init())
    fail_setup("os_init");
  atexit(remove_scratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CHECK(fchdir(scratch_fd) == 0);
  int fd = open(kInput, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  CHECK(fd >= 0);
  CHECK(write(fd, data, size) == static_cast<ssize_t>(size));
  CHECK(close(fd) == 0);

  // Measured each time: the fuzzer itself may open descriptors between runs
  // (the symbolizer's pipes, for one).
  int free_fd = lowest_free_fd();
  const char* argv[] = {"tlf2pos", kInput, nullptr};
  CHECK(dup2(null_fd, 2) == 2);
  int status = tlf2pos_run(&run, 2, argv);
  CHECK(dup2(saved_stderr, 2) == 2);

  CHECK(status == 0 || status == 1);
  CHECK(lowest_free_fd() == free_fd);
  clean_scratch();
  CHECK(fchdir(home_fd) == 0);
  return 0;
}
