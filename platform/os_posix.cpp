// POSIX side of the operating-system seam.
//
// The converter installs no signal handler, so its calls are never
// interrupted; the EINTR retries are for programs that run it and do install
// one (the fuzz targets).
#include "platform/os.hpp"
#include "platform/posix_errors.hpp"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

const char os_line_end[] = "\n";

LastError posix_open_error(int e) {
  switch (e) {
  case ENOENT: case ENOTDIR: case ENAMETOOLONG: case ELOOP:
    return kErrorNotFound;
  case EACCES: case EPERM: case EROFS: case ETXTBSY: case EISDIR:
    return kErrorDenied;
  case EMFILE: case ENFILE:
    return kErrorTooManyFiles;
  case ENOSPC: case EDQUOT:
    return kErrorDiskFull;
  case ENOMEM:
    return kErrorNoMemory;
  default:
    return kErrorInvalid;
  }
}

LastError posix_io_error(int e) {
  switch (e) {
  case EACCES: case EPERM: case EBADF:
    return kErrorRefused;
  default:
    return posix_open_error(e);
  }
}

bool os_init() {
  // open() hands out the lowest free descriptor: with 0, 1 or 2 closed by the
  // caller, the input or a POS file would get it, and console text written
  // to standard output would land in a POS file. Filled in order, each
  // closed one gets the null device.
  for (int fd = 0; fd <= 2; ++fd) {
    // fcntl(F_GETFD) fails only with EBADF: the errno test is a guard.
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) // GCOVR_EXCL_BR_LINE
      continue;
    if (open("/dev/null", O_RDWR | O_NOCTTY) != fd)
      return false;
  }
  // A reader of standard output that went away must not end the conversion
  // half-way.
  std::signal(SIGPIPE, SIG_IGN);
  // A file size limit must fail the POS write (which is then reported and
  // the short file removed), not kill the process with the file left short.
  std::signal(SIGXFSZ, SIG_IGN);
  return true;
}

os_file os_stdout() { return STDOUT_FILENO; }
os_file os_stderr() { return STDERR_FILENO; }

bool os_is_console(os_file f) { return isatty(static_cast<int>(f)) == 1; }

bool os_is_char_device(os_file f) {
  struct stat st;
  return fstat(static_cast<int>(f), &st) == 0 && S_ISCHR(st.st_mode);
}

os_file os_open_read(const char* path, LastError* last_error) {
  int fd;
  do {
    fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    // EINTR only interrupts a process with a signal handler; tlf2pos has none.
  } while (fd < 0 && errno == EINTR); // GCOVR_EXCL_BR_LINE
  if (fd < 0) {
    *last_error = posix_open_error(errno);
    return os_no_file;
  }
  // Linux opens a folder for reading; a TULO file never is one.
  struct stat st;
  // fstat of a descriptor just opened fails only with EOVERFLOW, which
  // 64-bit file offsets rule out.
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) { // GCOVR_EXCL_BR_LINE
    *last_error = kErrorDenied;
    close(fd);
    return os_no_file;
  }
  return fd;
}

// Linux hands the program its arguments as the bytes of the file name.
os_file os_open_argument(int, const char* const* argv, int index, LastError* last_error) {
  return os_open_read(argv[index], last_error);
}

os_file os_create(const char* name, LastError* last_error) {
  // Opened without waiting: a FIFO at the POS name with nobody reading it
  // fails with ENXIO instead of holding a batch script up for ever.
  int fd;
  do {
    fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
              0666);
    // EINTR only interrupts a process with a signal handler; tlf2pos has none.
  } while (fd < 0 && errno == EINTR); // GCOVR_EXCL_BR_LINE
  if (fd < 0) {
    *last_error = posix_open_error(errno);
    return os_no_file;
  }
  // The flag stays: it changes nothing for a plain file, and os_write_all
  // waits for a FIFO's reader to make room.
  return fd;
}

// A read here never meets a broken pipe: a pipe whose writer has gone reads
// as its end.
long os_read(os_file f, void* buffer, std::size_t size, LastError* last_error) {
  for (;;) {
    ssize_t n = read(static_cast<int>(f), buffer, size);
    if (n >= 0)
      return static_cast<long>(n);
    // EINTR only interrupts a process with a signal handler; tlf2pos has none.
    if (errno != EINTR) { // GCOVR_EXCL_BR_LINE
      *last_error = posix_io_error(errno);
      return 0;
    }
  }
}

bool os_write_all(os_file f, const void* data, std::size_t size, LastError* last_error) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(static_cast<int>(f), p, size);
    if (n < 0) {
      // EINTR only interrupts a process with a signal handler; tlf2pos has none.
      // GCOVR_EXCL_START
      if (errno == EINTR)
        continue;
      // GCOVR_EXCL_STOP
      // A POS file is opened without waiting, and standard output may come
      // so from the caller: a FIFO or pipe whose reader is slow gets every
      // byte once it makes room.
      if (errno == EAGAIN) {
        pollfd room{static_cast<int>(f), POLLOUT, 0};
        // poll of one open descriptor without a time limit does not fail here.
        if (poll(&room, 1, -1) >= 0 || errno == EINTR) // GCOVR_EXCL_BR_LINE
          continue;
      }
      *last_error = posix_io_error(errno);
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool os_close(os_file f, LastError* last_error) {
  // After EINTR the descriptor is gone on Linux; retrying could close another.
  // EINTR only interrupts a process with a signal handler; tlf2pos has none.
  if (close(static_cast<int>(f)) == 0 || errno == EINTR) // GCOVR_EXCL_BR_LINE
    return true;
  *last_error = posix_io_error(errno);
  return false;
}

void os_remove_file(const char* name) {
  // lstat, not stat: a link is judged as itself, not by what it points to.
  struct stat st;
  if (lstat(name, &st) == 0 && S_ISREG(st.st_mode))
    unlink(name);
}
