// The operating-system seam: every call tlf2pos makes to the platform goes
// through these functions, so that POSIX and Windows differ in this header's
// two implementations only. A call that fails sets the run's last-error
// number through its `last_error` pointer, at the moment it fails, to one of
// the program's own numbers (platform/last_error.hpp), never to a raw errno or
// Windows error code; a call that succeeds leaves it alone.
#ifndef TLF2POS_PLATFORM_OS_HPP
#define TLF2POS_PLATFORM_OS_HPP

#include <cstddef>
#include <cstdint>

#include "platform/last_error.hpp"

/// An open file: a descriptor on POSIX, a HANDLE on Windows.
using os_file = std::intptr_t;

/// The value of an os_file that names no open file.
inline constexpr os_file os_no_file = -1;

/// The line end of console lines and error reports: "\n" on POSIX,
/// "\r\n" on Windows.
extern const char os_line_end[];

/// Prepares the process before anything else is opened: neither a closed
/// pipe on standard output nor a file size limit may kill it, and a standard
/// descriptor the caller left closed is opened on the null device, so that
/// the input or a POS file is never handed a descriptor that console text is
/// written to. Returns false if that could not be done; the run must not
/// start then.
bool os_init();

/// Standard output and standard error.
os_file os_stdout();
os_file os_stderr();

/// True if `f` is an interactive console (standard output is then flushed
/// line by line).
bool os_is_console(os_file f);

/// True if `f` is a character device; the line reader treats a byte 26 read
/// from one as the end of what was typed, not the end of the input.
bool os_is_char_device(os_file f);

/// Opens an existing file for reading only, sharing it with other readers and
/// writers. A folder cannot be opened. Returns the file, or os_no_file with
/// `*last_error` set to the last-error number of the failure.
os_file os_open_read(const char* path, LastError* last_error);

/// Opens the command-line argument `argv[index]` of the `argc` the program
/// was started with, as os_open_read opens a path, with the same results.
/// On Windows the name is looked up as the system holds it, in UTF-16, so a
/// file whose name the ANSI code page cannot spell (`argv` holds '?' or a
/// look-alike in its place) still opens; if the process's own command line
/// does not give that argument exactly `argv[index]` in the ANSI code page,
/// `argv[index]` is opened as it is. `argv[index]` remains the name to print.
os_file os_open_argument(int argc, const char* const* argv, int index, LastError* last_error);

/// Creates `name` for writing, truncating a file of that name, with the
/// usual permissions for a new file. Never waits: a FIFO that nobody reads
/// fails (kErrorInvalid) instead of blocking the run. Returns the file, or os_no_file
/// with `*last_error` set.
os_file os_create(const char* name, LastError* last_error);

/// Reads up to `size` bytes. Returns the number read; 0 at the end of the
/// input (a broken pipe counts as the end and sets nothing), and 0 after a
/// failure, with `*last_error` set (a refused read gives kErrorRefused).
long os_read(os_file f, void* buffer, std::size_t size, LastError* last_error);

/// Writes all `size` bytes, retrying short writes and waiting for room in a
/// file opened without waiting (a FIFO or pipe). Returns false with
/// `*last_error` set if the system refused (kErrorRefused), found the disk full
/// (kErrorDiskFull) or failed otherwise.
bool os_write_all(os_file f, const void* data, std::size_t size, LastError* last_error);

/// Closes `f`. Returns false with `*last_error` set if the system reports that
/// data written earlier could not be stored.
bool os_close(os_file f, LastError* last_error);

/// Removes `name` if it is a regular file, to take back a POS file that could
/// not be written whole; a symbolic link, FIFO, device or folder of that name
/// is the user's and stays. A failure is not told: the failed write that
/// asked for the removal is reported either way.
void os_remove_file(const char* name);

#endif
