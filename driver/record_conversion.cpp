// The record loop: each branch pair of each record line becomes a POS file,
// created, announced, written and closed before the next pair is scanned.
#include "driver/record_conversion.hpp"

#include "driver/error_text.hpp"
#include "input/number_scan.hpp"

// Scans one number; an out-of-range one sets the last-error number. The
// line lies in the line store, which may be read to its end.
static inline NumberScan scan(Run* run, const char* p) {
  return scan_number_in_store(p, run->line + kLineStore, &run->last_error);
}

// Writes the POS file of one branch pair. Returns false after a reported
// failure.
static bool write_pos(Run* run, std::int32_t prefix_length,
                      std::int32_t record_index, std::int32_t branch_index,
                      std::uint8_t branch) {
  pos_name(run->name, prefix_length, record_index, branch_index);
  os_file f = os_create(run->name, &run->last_error);
  if (f == os_no_file) {
    error_report(run->input_path, &run->last_error);
    return false;
  }
  console_line(&run->console, "output : ", run->name);
  std::size_t n = pos_bytes(run->bytes, prefix_length, run->prefix, branch);
  int error = pos_write_close(f, run->name, run->bytes, n);
  if (error != 0) {
    run->last_error = error;
    error_report(run->input_path, &run->last_error);
    return false;
  }
  return true;
}

bool convert_records(Run* run, std::int32_t record_count,
                     std::int32_t prefix_length) {
  for (std::int32_t i = 0; i < record_count; ++i) {
    if (!run_read_line(run)) {
      error_report("data reacord read error", &run->last_error);
      return false;
    }
    const char* p = scan(run, run->line).end; // the record key
    p = scan_bytes_in_store(p, run->line + kLineStore, prefix_length,
                            run->prefix, &run->last_error);
    // The pair mark starts at the start of the line, so a line with a key
    // but no pair still gives one POS file, and a line with no number none.
    const char* mark = run->line;
    for (std::int32_t b = 0;; ++b) {
      NumberScan branch = scan(run, p);
      p = scan(run, branch.end).end; // the pair's second number
      if (p == mark)
        break;
      mark = p;
      if (!write_pos(run, prefix_length, i, b, byte_reduction(branch.value)))
        return false;
    }
  }
  return true;
}
