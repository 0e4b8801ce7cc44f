// One run of tlf2pos: the command line, the input, the header line, the
// record conversion and the exit status.
#ifndef TLF2POS_DRIVER_RUN_HPP
#define TLF2POS_DRIVER_RUN_HPP

#include <cstdint>

#include "driver/console.hpp"
#include "input/line_reader.hpp"
#include "pos/pos_file.hpp"
#include "pos/pos_name.hpp"

/// Capacity of the line store: lines of up to 8191 characters and a NUL.
inline constexpr int kLineStore = 8192;

/// Everything a run owns, in fixed buffers. Large: keep it static.
struct Run {
  const char* input_path;
  /// The last-error number: 0 at start, set by failures and by out-of-range
  /// numbers, never reset; read only by the error report.
  int last_error;
  os_file input;
  Console console;
  LineReader reader;
  char line[kLineStore];
  std::uint8_t prefix[kMaxPrefixLength];
  char name[kPosNameSize];
  std::uint8_t bytes[kPosBytesSize];
};

/// Runs the converter on the command line `argv` (argc entries, the program
/// name first) with `run` as its store. Returns the exit status: 1 after a
/// complete conversion, 0 after the usage text or any failure.
int tlf2pos_run(Run* run, int argc, const char* const* argv);

/// Reads the next line of the input into the line store. Returns false when
/// no line came.
inline bool run_read_line(Run* run) {
  return read_line(&run->reader, run->line, kLineStore) > 0;
}

#endif
