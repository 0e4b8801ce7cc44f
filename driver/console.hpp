// Console output: progress lines on standard output, error reports on
// standard error.
#ifndef TLF2POS_DRIVER_CONSOLE_HPP
#define TLF2POS_DRIVER_CONSOLE_HPP

#include <cstddef>

#include "platform/os.hpp"

/// Size of the output buffer: standard output collects lines in it when it
/// is not a console, and an error report is built in one before it is
/// written.
inline constexpr std::size_t kConsoleBuffer = 4096;

/// Standard output or standard error. On a console every line goes out at
/// once; otherwise lines collect in the buffer, which is written when full
/// and by console_flush. A failed write never stops the run; it only sets the
/// last-error number, so a later error report tells what became of the
/// console output ("No space left on device", "Invalid argument" for a
/// closed pipe).
struct Console {
  os_file out;
  bool line_flush;
  /// The run's last-error number, set by a failed write.
  LastError* last_error;
  std::size_t used;
  char buffer[kConsoleBuffer];
};

/// Prepares `c` to write to `out`, the process's standard output or
/// standard error; failed writes set `*last_error`.
void console_init(Console* c, os_file out, LastError* last_error);

/// Prints `head` followed by `text` and the platform's line end.
void console_line(Console* c, const char* head, const char* text);

/// Writes out what the buffer holds.
void console_flush(Console* c);

/// The error report: `context`, ": ", the text of the last-error number
/// `*last_error` and the line end, written at once to standard error; with
/// an empty context only the text and the line end. The text is that of the
/// number as the report begins; a failed write sets `*last_error` like any
/// console write.
void error_report(const char* context, LastError* last_error);

#endif
