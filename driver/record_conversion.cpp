// The record loop: each branch pair of each record line becomes a POS file,
// created, announced, written and closed before the next pair is scanned.
#include "driver/record_conversion.hpp"

#include "input/number_scan.hpp"

// Scans one number; an out-of-range one sets the last-error number. The
// line lies in the line store, which may be read to its end.
static inline NumberScan scan(const RecordInput& in, const char* p) {
  return scan_number_in_store(p, in.line + kLineStore, in.last_error);
}

// Writes the POS file of one branch pair. Returns false after a reported
// failure.
static bool write_pos(const RecordInput& in, std::int32_t record_index, std::int32_t branch_index,
                      std::uint8_t branch) {
  RecordStores* s = in.stores;
  pos_name(s->name, in.prefix_length, record_index, branch_index);
  os_file f = os_create(s->name, in.last_error);
  if (f == os_no_file) {
    error_report(in.input_path, in.last_error);
    return false;
  }
  console_line(in.console, "output : ", s->name);
  std::size_t n = pos_bytes(s->bytes, in.prefix_length, s->prefix, branch);
  if (!pos_write_close(f, s->name, s->bytes, n, in.last_error)) {
    error_report(in.input_path, in.last_error);
    return false;
  }
  return true;
}

bool convert_records(const RecordInput& in) {
  for (std::int32_t i = 0; i < in.record_count; ++i) {
    if (read_line(in.reader, in.line, kLineStore) == 0) {
      error_report("data reacord read error", in.last_error);
      return false;
    }
    // The record key and each pair's second number are not used, but they are
    // scanned as any number is: one out of range sets the last-error number,
    // whose text a later error report shows. Skipping them unscanned would
    // change that report.
    const char* p = scan(in, in.line).end; // the record key
    p = scan_bytes_in_store(p, in.line + kLineStore, in.prefix_length, in.stores->prefix,
                            in.last_error);
    // The pair mark starts at the start of the line, so a line with a key
    // but no pair still gives one POS file, and a line with no number none.
    const char* mark = in.line;
    for (std::int32_t b = 0;; ++b) {
      NumberScan branch = scan(in, p);
      p = scan(in, branch.end).end; // the pair's second number
      if (p == mark)
        break;
      mark = p;
      if (!write_pos(in, i, b, byte_reduction(branch.value)))
        return false;
    }
  }
  return true;
}
