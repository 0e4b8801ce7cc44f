// Scratch folders, process set-up and capture for the end-to-end tests.
#include "e2e_harness.hpp"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace e2e {
namespace {

// Seconds after which a hanging program is killed, so a fault shows as a
// failed test instead of a stuck suite. A command from TLF2POS_RUN (an
// emulator, a memory checker) gets much longer.
unsigned timeout_seconds() {
  const char* env = std::getenv("TLF2POS_RUN");
  return env != nullptr && *env != '\0' ? 600 : 60;
}

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error("e2e harness: " + what + ": " + std::strerror(errno));
}

std::vector<std::string> command_words() {
  std::vector<std::string> words;
  const char* env = std::getenv("TLF2POS_RUN");
  if (env != nullptr && *env != '\0') {
    std::istringstream in(env);
    std::string w;
    while (in >> w)
      words.push_back(w);
  }
  if (words.empty())
    words.push_back(TLF2POS_BINARY);
  return words;
}

std::string read_whole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_whole(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out)
    fail("cannot write " + path);
}

std::map<std::string, std::string> list_folder(const std::string& dir) {
  std::map<std::string, std::string> entries;
  for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
    std::string name = e.path().filename().string();
    fs::file_status st = e.symlink_status();
    if (fs::is_symlink(st))
      entries[name] = "<symlink>";
    else if (fs::is_directory(st))
      entries[name] = "<directory>";
    else if (fs::is_regular_file(st))
      entries[name] = read_whole(e.path().string());
    else
      entries[name] = "<other>";
  }
  return entries;
}

// Makes everything below `dir` removable by its owner, then removes it: a
// test may have left read-only folders behind.
void remove_tree(const std::string& dir) {
  std::error_code ec;
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto it = fs::recursive_directory_iterator(dir, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(dir, ec);
}

void write_all_fd(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return; // the program stopped reading: that is its business
    }
    done += static_cast<std::size_t>(n);
  }
}

// The program must not inherit the test's own ignored SIGPIPE: whether a
// closed standard output kills it is part of what is tested.
struct IgnoreSigpipeInTests {
  IgnoreSigpipeInTests() { ::signal(SIGPIPE, SIG_IGN); }
} ignore_sigpipe_in_tests;

} // namespace

bool through_wrapper() { return command_words().size() > 1; }

bool windows_target() {
  const char* t = std::getenv("TLF2POS_TARGET");
  return t != nullptr && std::strcmp(t, "windows") == 0;
}

const char* line_end() { return windows_target() ? "\r\n" : "\n"; }

std::string lines(const std::vector<std::string>& texts) {
  std::string s;
  for (const std::string& t : texts)
    s += t + line_end();
  return s;
}

std::string lines(std::initializer_list<std::string> texts) {
  return lines(std::vector<std::string>(texts));
}

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values)
    s.push_back(static_cast<char>(v));
  return s;
}

std::string pos_name(int prefix_length, int record_index, int branch_index) {
  char name[64];
  std::snprintf(name, sizeof name, "%03d%03d%02d.pos", prefix_length, record_index, branch_index);
  return name;
}

std::string show(const std::string& s) {
  std::string r;
  for (unsigned char c : s) {
    if (c >= 32 && c < 127 && c != '\\') {
      r.push_back(static_cast<char>(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      r += buf;
    }
  }
  return r;
}

namespace {

// A descriptor, closed when it goes unless released first.
class Fd {
public:
  Fd() = default;
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = fd;
  }

private:
  int fd_ = -1;
};

// The scratch folder of one run: base, mode 0711, holds the captured
// streams and any copy of the program; base/work is the program's current
// folder. Everything in it is removed when it goes, whatever ended the run.
class ScratchFolder {
public:
  // for_nobody: the work folder is writable for every user.
  explicit ScratchFolder(bool for_nobody) {
    std::string name = fs::temp_directory_path().string() + "/tlf2pos-e2e-XXXXXX";
    if (::mkdtemp(name.data()) == nullptr)
      fail("mkdtemp");
    base_ = name;
    work_ = base_ + "/work";
    // nobody must be able to pass through the base folder to the work
    // folder and the copied binary, but not read the captured streams.
    const char* failed = nullptr;
    if (::chmod(base_.c_str(), 0711) != 0)
      failed = "chmod base";
    else if (::mkdir(work_.c_str(), 0755) != 0)
      failed = "mkdir work";
    else if (for_nobody && ::chmod(work_.c_str(), 0777) != 0)
      failed = "chmod work";
    if (failed != nullptr) {
      int error = errno;
      remove_tree(base_); // no destructor runs for a failed constructor
      errno = error;
      fail(failed);
    }
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() { remove_tree(base_); }

  const std::string& base() const { return base_; }
  const std::string& work() const { return work_; }

private:
  std::string base_;
  std::string work_;
};

// Puts the options' files, FIFO and preparations into the work folder and
// lists what is there before the run.
std::map<std::string, std::string> fill_folder(const Options& o, const std::string& work) {
  for (const auto& [name, data] : o.files)
    write_whole(work + "/" + name, data);
  if (!o.fifo_name.empty() && ::mkfifo((work + "/" + o.fifo_name).c_str(), 0666) != 0)
    fail("mkfifo");
  if (o.prepare)
    o.prepare(work);
  return list_folder(work);
}

// How the program is started: its words, its environment, and the user it
// runs as.
struct Command {
  std::vector<std::string> words;
  std::vector<std::string> env;
  bool drop = false; // switch to nobody (root only)
  uid_t uid = 65534;
  gid_t gid = 65534;
};

Command make_command(const Options& o, const std::string& base) {
  Command c;
  c.drop = o.as_nobody && ::geteuid() == 0;
  c.words = command_words();
  // The build folder may lie where nobody cannot reach it (a clone in a
  // folder of mode 0700); a copy in the scratch folder can always be run.
  // Under a wrapper (valgrind, qemu) the program is the word that names a
  // file, not the wrapper itself.
  for (std::size_t i = through_wrapper() ? 1 : 0; c.drop && i < c.words.size(); ++i) {
    if (c.words[i][0] != '/' || !fs::is_regular_file(c.words[i]))
      continue;
    std::string copy = base + "/" + fs::path(c.words[i]).filename().string();
    fs::copy_file(c.words[i], copy);
    if (::chmod(copy.c_str(), 0755) != 0)
      fail("chmod binary copy");
    c.words[i] = copy;
  }
  for (const std::string& a : o.args)
    c.words.push_back(a);

  // Wine takes the arguments, and the names of files on disk, in the
  // character set of the locale: with UTF-8 a name reaches the Windows
  // program exactly as the test wrote it, whatever locale runs the tests.
  for (char** e = environ; *e != nullptr; ++e) {
    if (!windows_target() || std::strncmp(*e, "LC_ALL=", 7) != 0)
      c.env.push_back(*e);
  }
  if (windows_target())
    c.env.push_back("LC_ALL=C.UTF-8");

  if (c.drop) {
    if (passwd* pw = ::getpwnam("nobody")) {
      c.uid = pw->pw_uid;
      c.gid = pw->pw_gid;
    }
  }
  return c;
}

// The program's standard streams (its ends, which the test closes once it
// runs) and the test's ends of them.
struct Streams {
  Fd in, out, err;
  Fd in_feed;  // the write end of a standard-input pipe
  Fd terminal; // the master of a pseudo-terminal
  std::string out_path;
  std::string err_path;
};

void open_streams(const Options& o, const std::string& base, Streams* s) {
  if (o.stdin_bytes) {
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0)
      fail("pipe");
    s->in.reset(p[0]);
    s->in_feed.reset(p[1]);
  } else {
    s->in.reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  }
  s->out_path = base + "/stdout";
  s->err_path = base + "/stderr";
  switch (o.out) {
  case Stdout::File:
  case Stdout::SameFile:
    s->out.reset(::open(s->out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    break;
  case Stdout::ClosedPipe: {
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0)
      fail("pipe");
    ::close(p[0]);
    s->out.reset(p[1]);
    break;
  }
  case Stdout::DevFull:
    s->out.reset(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    break;
  case Stdout::Closed: // a placeholder, closed again in the child
    s->out.reset(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    break;
  case Stdout::Terminal: {
    s->terminal.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    int master = s->terminal.get();
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
      fail("pseudo-terminal");
    s->out.reset(::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC));
    termios t;
    // Raw, so the terminal adds no CR to the program's line ends.
    if (s->out.get() < 0 || ::tcgetattr(s->out.get(), &t) != 0)
      fail("pseudo-terminal slave");
    ::cfmakeraw(&t);
    if (::tcsetattr(s->out.get(), TCSANOW, &t) != 0)
      fail("tcsetattr");
    break;
  }
  }
  if (o.out == Stdout::SameFile || o.out == Stdout::Terminal)
    s->err.reset(::dup(s->out.get()));
  else
    s->err.reset(::open(s->err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (s->in.get() < 0 || s->out.get() < 0 || s->err.get() < 0)
    fail("standard streams");
}

// Starts the program in the work folder on the streams, with the options'
// limits, and closes the test's copies of the program's ends.
pid_t spawn(const Options& o, const std::string& work, Command& c, Streams* s) {
  std::vector<char*> argv;
  for (std::string& w : c.words)
    argv.push_back(w.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& w : c.env)
    envp.push_back(w.data());
  envp.push_back(nullptr);
  const unsigned timeout = timeout_seconds();
  const int in_fd = s->in.get(), out_fd = s->out.get(), err_fd = s->err.get();

  pid_t pid = ::fork();
  if (pid < 0)
    fail("fork");
  if (pid == 0) {
    // Child: only async-signal-safe calls from here to exec.
    if (::chdir(work.c_str()) != 0 || ::dup2(in_fd, 0) < 0 || ::dup2(out_fd, 1) < 0 ||
        ::dup2(err_fd, 2) < 0)
      ::_exit(126);
    if (o.out == Stdout::Closed && (::close(0) != 0 || ::close(1) != 0))
      ::_exit(126);
    // /dev is made private first, so the empty file system over it can
    // never reach the test's own namespace (a chroot's / may not be a
    // mount point, its /dev always is).
    if (o.without_dev && (::unshare(CLONE_NEWNS) != 0 ||
                          ::mount(nullptr, "/dev", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                          ::mount("none", "/dev", "tmpfs", 0, nullptr) != 0))
      ::_exit(126);
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGXFSZ, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::close_range(3, ~0U, 0);
    if (c.drop && (::setgroups(0, nullptr) != 0 || ::setgid(c.gid) != 0 || ::setuid(c.uid) != 0))
      ::_exit(126);
    const std::pair<int, long> limits[] = {{RLIMIT_NOFILE, o.nofile_limit},
                                           {RLIMIT_FSIZE, o.fsize_limit}};
    for (const auto& [resource, value] : limits) {
      if (value < 0)
        continue;
      rlimit rl;
      rl.rlim_cur = static_cast<rlim_t>(value);
      rl.rlim_max = static_cast<rlim_t>(value);
      if (::setrlimit(resource, &rl) != 0)
        ::_exit(126);
    }
    ::alarm(timeout);
    ::execvpe(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  s->in.reset();
  s->out.reset();
  s->err.reset();
  return pid;
}

// A started program and the threads that feed its standard input and its
// FIFO. However the run ends, the program is waited for (killed first if
// the run failed before waiting) and the threads are joined, so a failure
// is an exception of the run, never std::terminate.
class Running {
public:
  explicit Running(pid_t pid) : pid_(pid) {}
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;
  ~Running() {
    if (!waited_) {
      ::kill(pid_, SIGKILL);
      int ws = 0;
      while (::waitpid(pid_, &ws, 0) < 0 && errno == EINTR) {
      }
    }
    join();
  }

  // Feeds standard input from its pipe (closed once written) and the FIFO
  // once the program opens it.
  void feed(const Options& o, const std::string& work, Fd* in_feed) {
    if (in_feed->get() >= 0) {
      const int fd = in_feed->release();
      stdin_feeder_ = std::thread([&o, fd] {
        write_all_fd(fd, *o.stdin_bytes);
        ::close(fd);
      });
    }
    if (!o.fifo_name.empty()) {
      std::string path = work + "/" + o.fifo_name;
      fifo_feeder_ = std::thread([this, &o, path] {
        // Opening without blocking fails until the program opens the FIFO;
        // give up once the program has ended without doing so.
        int fd = -1;
        while (fd < 0 && !finished_) {
          fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
          if (fd < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (fd < 0)
          return;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        write_all_fd(fd, o.fifo_bytes);
        ::close(fd);
      });
    }
  }

  // Waits for the program to end and returns its wait status. If it cannot
  // be waited for (someone else reaped it), the threads are joined and the
  // run fails; there is no child left to kill.
  int wait() {
    int ws = 0;
    int error = 0;
    while (::waitpid(pid_, &ws, 0) < 0) {
      if (errno != EINTR) {
        error = errno;
        break;
      }
    }
    waited_ = true;
    join();
    if (error != 0) {
      errno = error;
      fail("waitpid");
    }
    return ws;
  }

private:
  void join() {
    finished_ = true;
    if (stdin_feeder_.joinable())
      stdin_feeder_.join();
    if (fifo_feeder_.joinable())
      fifo_feeder_.join();
  }

  pid_t pid_;
  bool waited_ = false;
  std::atomic<bool> finished_{false};
  std::thread stdin_feeder_;
  std::thread fifo_feeder_;
};

// Everything the program writes to a pseudo-terminal, until it closes it.
std::string read_terminal(int master) {
  std::string out;
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(master, buf, sizeof buf);
    if (n > 0)
      out.append(buf, static_cast<std::size_t>(n));
    else if (n < 0 && errno == EINTR)
      continue;
    else
      return out; // EIO once the program has closed the terminal
  }
}

// What the run left: its status, its captured streams and the folder.
Result collect(const Options& o, int wait_status, const Streams& s, const std::string& work,
               const std::map<std::string, std::string>& before, std::string terminal_out) {
  Result r;
  if (WIFEXITED(wait_status))
    r.status = WEXITSTATUS(wait_status);
  else if (WIFSIGNALED(wait_status))
    r.signal = WTERMSIG(wait_status);
  r.out = std::move(terminal_out);
  if (o.out == Stdout::File || o.out == Stdout::SameFile)
    r.out = read_whole(s.out_path);
  if (o.out != Stdout::SameFile && o.out != Stdout::Terminal)
    r.err = read_whole(s.err_path);
  r.after = list_folder(work);
  for (const auto& [name, value] : r.after) {
    auto it = before.find(name);
    if (it == before.end() || it->second != value)
      r.changed[name] = value;
  }
  return r;
}

} // namespace

// Destroyed in reverse order on every path: the program is waited for and
// its feeders joined, then the descriptors closed, then the folder removed.
Result run(const Options& o) {
  ScratchFolder folder(o.as_nobody);
  const std::map<std::string, std::string> before = fill_folder(o, folder.work());
  Command command = make_command(o, folder.base());
  Streams streams;
  open_streams(o, folder.base(), &streams);
  Running program(spawn(o, folder.work(), command, &streams));
  program.feed(o, folder.work(), &streams.in_feed);
  std::string terminal_out;
  if (streams.terminal.get() >= 0) {
    terminal_out = read_terminal(streams.terminal.get());
    streams.terminal.reset();
  }
  const int wait_status = program.wait();
  return collect(o, wait_status, streams, folder.work(), before, std::move(terminal_out));
}

} // namespace e2e
