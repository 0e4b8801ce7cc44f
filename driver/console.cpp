// Console output and the error report.
#include "driver/console.hpp"

#include <cstring>

#include "driver/error_text.hpp"

void console_init(Console* c, os_file out, LastError* last_error) {
  c->out = out;
  c->line_flush = os_is_console(c->out);
  c->last_error = last_error;
  c->used = 0;
}

void console_flush(Console* c) {
  if (c->used > 0)
    os_write_all(c->out, c->buffer, c->used, c->last_error);
  c->used = 0;
}

static void put(Console* c, const char* s) {
  std::size_t n = std::strlen(s);
  while (n > 0) {
    std::size_t room = kConsoleBuffer - c->used;
    std::size_t k = n < room ? n : room;
    std::memcpy(c->buffer + c->used, s, k);
    c->used += k;
    s += k;
    n -= k;
    if (c->used == kConsoleBuffer)
      console_flush(c);
  }
}

void console_line(Console* c, const char* head, const char* text) {
  put(c, head);
  put(c, text);
  put(c, os_line_end);
  if (c->line_flush)
    console_flush(c);
}

void error_report(const char* context, LastError* last_error) {
  // The text is taken first: a context too long for the buffer is written
  // out before the text, and a failing standard error would change the
  // number on the way.
  const char* text = error_text(*last_error);
  // Built in a buffer of its own and written at once, so the report reaches
  // standard error ahead of buffered progress lines.
  Console e;
  console_init(&e, os_stderr(), last_error);
  if (context[0] != '\0') {
    put(&e, context);
    put(&e, ": ");
  }
  console_line(&e, text, "");
  console_flush(&e);
}
