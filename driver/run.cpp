// The run: command line, input, header line, exit status.
#include "driver/run.hpp"

#include "platform/last_error.hpp"
#include "driver/record_conversion.hpp"
#include "input/header_scan.hpp"

static long read_input(void* context, char* buffer, std::size_t size, LastError* last_error) {
  return os_read(*static_cast<os_file*>(context), buffer, size, last_error);
}

// Ends a run that opened its input: closes it, writes out what standard
// output holds, and gives the status. Nothing is reported after this, so a
// failure here only sets the last-error number.
static int finish(Run* run, int status) {
  os_close(run->input, &run->last_error);
  console_flush(&run->console);
  return status;
}

int tlf2pos_run(Run* run, int argc, const char* const* argv) {
  run->last_error = kErrorNone;
  console_init(&run->console, os_stdout(), &run->last_error);

  if (argc != 2) {
    console_line(&run->console, "", "");
    console_line(&run->console, "", "Usage: tlf2pos <tulo_format_file_name>");
    console_line(&run->console, "", "ex. tlf2pos tulo005.tlf");
    console_flush(&run->console);
    return 0;
  }
  run->input_path = argv[1];

  run->input = os_open_argument(argc, argv, 1, &run->last_error);
  if (run->input == os_no_file) {
    error_report(run->input_path, &run->last_error);
    return 0;
  }
  line_reader_init(&run->reader, ByteSource{read_input, &run->input}, os_is_char_device(run->input),
                   &run->last_error);

  if (read_line(&run->reader, run->line, kLineStore) == 0) {
    error_report("header read error", &run->last_error);
    return finish(run, 0);
  }
  console_line(&run->console, "input : ", run->input_path);

  // Without all three numbers, or with more prefix values than a record
  // line's store holds, nothing could be converted correctly.
  Header h{};
  if (scan_header(run->line, &h) != 3 || h.prefix_length > kMaxPrefixLength) {
    run->last_error = kErrorInvalid;
    error_report("header read error", &run->last_error);
    return finish(run, 0);
  }

  RecordInput in{.reader = &run->reader,
                 .line = run->line,
                 .input_path = run->input_path,
                 .record_count = h.record_count,
                 .prefix_length = h.prefix_length,
                 .stores = &run->stores,
                 .console = &run->console,
                 .last_error = &run->last_error};
  if (!convert_records(in))
    return finish(run, 0);
  return finish(run, 1);
}
