// The last-error number: the one number every part of tlf2pos sets when
// something fails, and the error report reads. A shared type at the bottom
// of the layout, so that the platform seam, the scanners and the driver all
// name the same values; the texts printed for them stay with the report
// (driver/error_text.hpp).
#ifndef TLF2POS_PLATFORM_LAST_ERROR_HPP
#define TLF2POS_PLATFORM_LAST_ERROR_HPP

/// The last-error numbers tlf2pos sets, by what went wrong. The number is 0
/// at start, set at each failure and by each out-of-range number on a record
/// line, never reset, and read only by the error report. Platform error
/// codes are translated into these, never passed through.
enum LastError : int {
  /// Nothing has failed yet: "No error".
  kErrorNone = 0,
  /// A file, folder or drive on the path does not exist, or the path is
  /// malformed or too long: "No such file or directory".
  kErrorNotFound = 2,
  /// A read or write the system refused: "Bad file descriptor".
  kErrorRefused = 9,
  /// The system ran out of memory: "Not enough space".
  kErrorNoMemory = 12,
  /// Access denied, a file in use, a write-protected medium, or a folder
  /// where a file was expected: "Permission denied".
  kErrorDenied = 13,
  /// A bad name or argument, a header line that cannot be used, and every
  /// failure with no closer number: "Invalid argument".
  kErrorInvalid = 22,
  /// The open-file limit was reached: "Too many open files".
  kErrorTooManyFiles = 24,
  /// The disk or quota is full: "No space left on device".
  kErrorDiskFull = 28,
  /// A record-line number out of the range of doubles: "Result too large".
  kErrorRange = 34,
};

#endif
