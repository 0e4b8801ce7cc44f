// One run of tlf2pos: the command line, the input, the header line, the
// record conversion and the exit status.
#ifndef TLF2POS_DRIVER_RUN_HPP
#define TLF2POS_DRIVER_RUN_HPP

#include "driver/console.hpp"
#include "driver/record_conversion.hpp"
#include "input/line_reader.hpp"

/// Everything a run owns, in fixed buffers. Large: keep it static.
struct Run {
  const char* input_path;
  /// The last-error number: 0 at start, set by failures and by out-of-range
  /// numbers, never reset; read only by the error report. Everything that
  /// can fail is handed a pointer to it and sets it as it fails.
  LastError last_error;
  os_file input;
  Console console;
  LineReader reader;
  char line[kLineStore];
  RecordStores stores;
};

/// Runs the converter on the command line `argv` (argc entries, the program
/// name first) with `run` as its store. Returns the exit status: 1 after a
/// complete conversion, 0 after the usage text or any failure.
int tlf2pos_run(Run* run, int argc, const char* const* argv);

#endif
