// Text-mode line reader over a byte source read in large blocks.
#include "input/line_reader.hpp"

#include <cstring>

// Byte 26 (Ctrl-Z, SUB) ends a text file as DOS and Windows wrote them, and
// what is typed at a Windows console.
constexpr char kEndOfText = 26;

void line_reader_init(LineReader* r, ByteSource source, bool char_device, LastError* last_error) {
  r->source = source;
  r->char_device = char_device;
  r->ended = false;
  r->last_error = last_error;
  r->pos = 0;
  r->len = 0;
}

// Reads the next block. Returns false when nothing more came, and marks the
// input ended. The only byte ever left unread is a CR at the very end of the
// block, waiting for its partner: it counts as the new block's first byte,
// and the next bytes are read after it. It is not copied there, since the
// caller knows it is a CR and looks only at the byte after it.
static bool refill(LineReader* r) {
  if (r->ended)
    return false;
  std::size_t keep = r->len - r->pos;
  r->pos = 0;
  r->len = keep;
  long n =
      r->source.read(r->source.context, r->block + keep, sizeof r->block - keep, r->last_error);
  if (n <= 0) {
    r->ended = true;
    return false;
  }
  r->len = keep + static_cast<std::size_t>(n);
  return true;
}

int read_line(LineReader* r, char* store, int capacity) {
  if (capacity <= 0)
    return 0;
  std::size_t limit = static_cast<std::size_t>(capacity) - 1;
  std::size_t n = 0;
  while (n < limit) {
    if (r->pos == r->len && !refill(r))
      break;
    const char* p = r->block + r->pos;
    std::size_t avail = r->len - r->pos;
    std::size_t take = avail < limit - n ? avail : limit - n;

    // The run of ordinary bytes ends at the first LF, CR or byte 26. Look for
    // the LF first so the other two searches stop at the line's end.
    const char* lf = static_cast<const char*>(std::memchr(p, '\n', take));
    std::size_t seg = lf ? static_cast<std::size_t>(lf - p) + 1 : take;
    const char* cr = static_cast<const char*>(std::memchr(p, '\r', seg));
    if (cr)
      seg = static_cast<std::size_t>(cr - p);
    const char* eof = static_cast<const char*>(std::memchr(p, kEndOfText, seg));
    if (eof)
      seg = static_cast<std::size_t>(eof - p);

    std::memcpy(store + n, p, seg);
    n += seg;
    r->pos += seg;
    if (eof) {
      // Everything after a byte 26 is never delivered; from a console only
      // the rest of what was typed is dropped.
      r->pos = r->len;
      if (!r->char_device)
        r->ended = true;
      if (r->ended)
        break;
      continue;
    }
    if (cr) {
      if (r->pos + 1 == r->len && !refill(r)) {
        // A CR as the very last byte of the input stays a CR.
        r->pos = r->len;
        store[n++] = '\r';
        break;
      }
      // refill() counts the CR as the block's first byte.
      if (r->block[r->pos + 1] == '\n') {
        r->pos += 2;
        store[n++] = '\n';
        break;
      }
      r->pos += 1;
      store[n++] = '\r';
      continue;
    }
    if (lf)
      break;
  }
  if (n == 0)
    return 0;
  store[n] = '\0';
  return static_cast<int>(n);
}
