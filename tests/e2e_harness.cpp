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
  throw std::runtime_error("e2e harness: " + what + ": " +
                           std::strerror(errno));
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
      fs::permissions(it->path(), fs::perms::owner_all,
                      fs::perm_options::add, ec);
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
      return;  // the program stopped reading: that is its business
    }
    done += static_cast<std::size_t>(n);
  }
}

// The program must not inherit the test's own ignored SIGPIPE: whether a
// closed standard output kills it is part of what is tested.
struct IgnoreSigpipeInTests {
  IgnoreSigpipeInTests() { ::signal(SIGPIPE, SIG_IGN); }
} ignore_sigpipe_in_tests;

}  // namespace

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
  std::snprintf(name, sizeof name, "%03d%03d%02d.pos", prefix_length,
                record_index, branch_index);
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

Result run(const Options& o) {
  std::string tmp = fs::temp_directory_path().string();
  std::string base_template = tmp + "/tlf2pos-e2e-XXXXXX";
  std::vector<char> base_buf(base_template.begin(), base_template.end());
  base_buf.push_back('\0');
  if (::mkdtemp(base_buf.data()) == nullptr)
    fail("mkdtemp");
  const std::string base = base_buf.data();
  const std::string work = base + "/work";
  Result r;
  try {
    // nobody must be able to pass through the base folder to the work
    // folder and the copied binary, but not read the captured streams.
    if (::chmod(base.c_str(), 0711) != 0)
      fail("chmod base");
    if (::mkdir(work.c_str(), 0755) != 0)
      fail("mkdir work");
    bool drop = o.as_nobody && ::geteuid() == 0;
    if (o.as_nobody && ::chmod(work.c_str(), 0777) != 0)
      fail("chmod work");

    for (const auto& [name, data] : o.files)
      write_whole(work + "/" + name, data);
    if (!o.fifo_name.empty() &&
        ::mkfifo((work + "/" + o.fifo_name).c_str(), 0666) != 0)
      fail("mkfifo");
    if (o.prepare)
      o.prepare(work);
    std::map<std::string, std::string> before = list_folder(work);

    std::vector<std::string> words = command_words();
    // The build folder may lie where nobody cannot reach it (a clone in a
    // folder of mode 0700); a copy in the scratch folder can always be run.
    // Under a wrapper (valgrind, qemu) the program is the word that names a
    // file, not the wrapper itself.
    for (std::size_t i = through_wrapper() ? 1 : 0; drop && i < words.size(); ++i) {
      if (words[i][0] != '/' || !fs::is_regular_file(words[i]))
        continue;
      std::string copy = base + "/" + fs::path(words[i]).filename().string();
      fs::copy_file(words[i], copy);
      if (::chmod(copy.c_str(), 0755) != 0)
        fail("chmod binary copy");
      words[i] = copy;
    }
    for (const std::string& a : o.args)
      words.push_back(a);
    std::vector<char*> argv;
    for (std::string& w : words)
      argv.push_back(w.data());
    argv.push_back(nullptr);

    // Wine takes the arguments, and the names of files on disk, in the
    // character set of the locale: with UTF-8 a name reaches the Windows
    // program exactly as the test wrote it, whatever locale runs the tests.
    std::vector<std::string> env_words;
    for (char** e = environ; *e != nullptr; ++e) {
      if (!windows_target() || std::strncmp(*e, "LC_ALL=", 7) != 0)
        env_words.push_back(*e);
    }
    if (windows_target())
      env_words.push_back("LC_ALL=C.UTF-8");
    std::vector<char*> envp;
    for (std::string& w : env_words)
      envp.push_back(w.data());
    envp.push_back(nullptr);

    const unsigned timeout = timeout_seconds();
    uid_t nobody_uid = 65534;
    gid_t nobody_gid = 65534;
    if (drop) {
      if (passwd* pw = ::getpwnam("nobody")) {
        nobody_uid = pw->pw_uid;
        nobody_gid = pw->pw_gid;
      }
    }

    // The program's standard streams.
    int in_fd = -1, in_feed = -1, out_fd = -1, err_fd = -1, master = -1;
    if (o.stdin_bytes) {
      int p[2];
      if (::pipe2(p, O_CLOEXEC) != 0)
        fail("pipe");
      in_fd = p[0];
      in_feed = p[1];
    } else {
      in_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
    const std::string out_path = base + "/stdout";
    const std::string err_path = base + "/stderr";
    switch (o.out) {
    case Stdout::File:
    case Stdout::SameFile:
      out_fd = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                      0600);
      break;
    case Stdout::ClosedPipe: {
      int p[2];
      if (::pipe2(p, O_CLOEXEC) != 0)
        fail("pipe");
      ::close(p[0]);
      out_fd = p[1];
      break;
    }
    case Stdout::DevFull:
      out_fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
      break;
    case Stdout::Closed:  // a placeholder, closed again in the child
      out_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
      break;
    case Stdout::Terminal: {
      master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
      if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        fail("pseudo-terminal");
      out_fd = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
      termios t;
      // Raw, so the terminal adds no CR to the program's line ends.
      if (out_fd < 0 || ::tcgetattr(out_fd, &t) != 0)
        fail("pseudo-terminal slave");
      ::cfmakeraw(&t);
      if (::tcsetattr(out_fd, TCSANOW, &t) != 0)
        fail("tcsetattr");
      break;
    }
    }
    if (o.out == Stdout::SameFile || o.out == Stdout::Terminal)
      err_fd = ::dup(out_fd);
    else
      err_fd = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                      0600);
    if (in_fd < 0 || out_fd < 0 || err_fd < 0)
      fail("standard streams");

    pid_t pid = ::fork();
    if (pid < 0)
      fail("fork");
    if (pid == 0) {
      // Child: only async-signal-safe calls from here to exec.
      if (::chdir(work.c_str()) != 0 || ::dup2(in_fd, 0) < 0 ||
          ::dup2(out_fd, 1) < 0 || ::dup2(err_fd, 2) < 0)
        ::_exit(126);
      if (o.out == Stdout::Closed && (::close(0) != 0 || ::close(1) != 0))
        ::_exit(126);
      // /dev is made private first, so the empty file system over it can
      // never reach the test's own namespace (a chroot's / may not be a
      // mount point, its /dev always is).
      if (o.without_dev &&
          (::unshare(CLONE_NEWNS) != 0 ||
           ::mount(nullptr, "/dev", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
           ::mount("none", "/dev", "tmpfs", 0, nullptr) != 0))
        ::_exit(126);
      ::signal(SIGPIPE, SIG_DFL);
      ::signal(SIGXFSZ, SIG_DFL);
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      ::close_range(3, ~0U, 0);
      if (drop && (::setgroups(0, nullptr) != 0 || ::setgid(nobody_gid) != 0 ||
                   ::setuid(nobody_uid) != 0))
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

    ::close(in_fd);
    ::close(out_fd);
    ::close(err_fd);

    std::atomic<bool> finished{false};
    std::thread stdin_feeder, fifo_feeder;
    if (in_feed >= 0) {
      stdin_feeder = std::thread([&] {
        write_all_fd(in_feed, *o.stdin_bytes);
        ::close(in_feed);
      });
    }
    if (!o.fifo_name.empty()) {
      std::string path = work + "/" + o.fifo_name;
      fifo_feeder = std::thread([&, path] {
        // Opening without blocking fails until the program opens the FIFO;
        // give up once the program has ended without doing so.
        int fd = -1;
        while (fd < 0 && !finished) {
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
    if (master >= 0) {
      char buf[4096];
      for (;;) {
        ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0)
          r.out.append(buf, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
          continue;
        else
          break;  // EIO once the program has closed the terminal
      }
      ::close(master);
    }

    int ws = 0;
    while (::waitpid(pid, &ws, 0) < 0) {
      if (errno != EINTR)
        fail("waitpid");
    }
    finished = true;
    if (stdin_feeder.joinable())
      stdin_feeder.join();
    if (fifo_feeder.joinable())
      fifo_feeder.join();
    if (WIFEXITED(ws))
      r.status = WEXITSTATUS(ws);
    else if (WIFSIGNALED(ws))
      r.signal = WTERMSIG(ws);

    if (o.out == Stdout::File || o.out == Stdout::SameFile)
      r.out = read_whole(out_path);
    if (o.out != Stdout::SameFile && o.out != Stdout::Terminal)
      r.err = read_whole(err_path);
    r.after = list_folder(work);
    for (const auto& [name, value] : r.after) {
      auto it = before.find(name);
      if (it == before.end() || it->second != value)
        r.changed[name] = value;
    }
  } catch (...) {
    remove_tree(base);
    throw;
  }
  remove_tree(base);
  return r;
}

}  // namespace e2e
