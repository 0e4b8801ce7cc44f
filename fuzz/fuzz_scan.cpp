// Fuzz target: record-line numbers and the header line on arbitrary bytes.
//
// The text is walked the way the record loop walks a line, each scan
// starting where the last one stopped; where a scan fails the walk steps
// over the offending byte so the rest of the input is reached too. Every
// result is checked against slow references written independently of the
// scanner: a longest-match automaton for where a number ends, strtod for its
// value, arithmetic modulo 2^32 for header integers and floating-point
// remainders for the byte reduction. The input also gives doubles, near
// integers, 2^63, the largest double and 2^-1022 or anywhere, printed the
// ways programs print them and halfway between doubles, whose values and
// bytes are checked one by one and in a line. The scans that may read a line store
// past the line's NUL must give exactly what the plain scan gives, whatever
// stale bytes follow the NUL; the last input byte chooses them (digits,
// blanks, an exponent, or none: the store ends at the NUL).
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "input/header_scan.hpp"
#include "input/number_scan.hpp"
#include "platform/last_error.hpp"

#include "fuzz/fuzz_check.hpp"
#include "tests/strtod_reference.hpp"

namespace {

bool space(char c) {
  return c == 9 || c == 10 || c == 11 || c == 12 || c == 13 || c == 32;
}

std::uint64_t bits(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Longest match of  [+-]? (D+ .? D* | . D+) ([eEdD] [+-]? D+)?  at p (after
// whitespace), as a table-driven automaton. Returns the end of the number,
// or nullptr if none starts at p.
const char* reference_number_end(const char* p) {
  enum { kDigit, kSign, kPoint, kMarker, kOther };
  enum { S0, Sign, Int, IntPoint, Point, Frac, Mark, ExpSign, Exp, Dead = -1 };
  static const int next[9][4] = {
      //  digit  sign     point     marker
      {Int, Sign, Point, Dead},       // S0
      {Int, Dead, Point, Dead},       // Sign
      {Int, Dead, IntPoint, Mark},    // Int
      {Frac, Dead, Dead, Mark},       // IntPoint
      {Frac, Dead, Dead, Dead},       // Point
      {Frac, Dead, Dead, Mark},       // Frac
      {Exp, ExpSign, Dead, Dead},     // Mark
      {Exp, Dead, Dead, Dead},        // ExpSign
      {Exp, Dead, Dead, Dead},        // Exp
  };
  static const bool accepting[9] = {false, false, true,  true, false,
                                    true,  false, false, true};
  const char* last = nullptr;
  int state = S0;
  for (const char* q = p;; ++q) {
    char c = *q;
    int cls = (c >= '0' && c <= '9')                          ? kDigit
              : (c == '+' || c == '-')                        ? kSign
              : c == '.'                                      ? kPoint
              : (c == 'e' || c == 'E' || c == 'd' || c == 'D') ? kMarker
                                                               : kOther;
    if (cls == kOther)
      break;
    state = next[state][cls];
    if (state == Dead)
      break;
    if (accepting[state])
      last = q + 1;
  }
  return last;
}



// The byte reduction by floating-point arithmetic only: truncate, then the
// remainder modulo 256, both exact in double precision.
std::uint8_t reference_byte(double v) {
  if (std::isnan(v))
    return 0;
  double t = std::trunc(v);
  if (!(std::fabs(t) < 0x1p63))
    return 0;
  double m = std::fmod(t, 256.0);
  if (m < 0)
    m += 256.0;
  return static_cast<std::uint8_t>(static_cast<int>(m));
}

// The number in `token` by the reference: strtod's correctly rounded
// value (a d or D marker read as e) with the range rules, the byte it
// stands for, and whether it is out of range.
struct Reference {
  double value;
  std::uint8_t byte;
  bool range_error;
};

Reference reference(const std::string& token) {
  ReferenceValue r = strtod_reference(token);
  CHECK(r.whole);
  if (r.range_error)
    return Reference{r.value, 0, true};
  return Reference{r.value, reference_byte(r.value), false};
}

// The value the number [start, end) must have, and whether it is out of
// range: the scan that gave `s` turned a last-error number of 0 into
// `last_error`.
void check_value(const char* start, const char* end, const NumberScan& s,
                 int last_error) {
  Reference r = reference(std::string(start, end));
  CHECK(bits(s.value) == bits(r.value));
  CHECK(last_error == (r.range_error ? kErrorRange : 0));
}

// One header integer after whitespace: returns the end, or nullptr.
const char* reference_integer(const char* p, std::int32_t* out) {
  while (space(*p))
    ++p;
  bool negative = *p == '-';
  if (*p == '+' || *p == '-')
    ++p;
  if (!(*p >= '0' && *p <= '9'))
    return nullptr;
  std::uint64_t v = 0;
  for (; *p >= '0' && *p <= '9'; ++p)
    v = (v * 10 + static_cast<std::uint64_t>(*p - '0')) % 4294967296u;
  if (negative)
    v = (4294967296u - v) % 4294967296u;
  *out = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  return p;
}

void check_header(const char* line) {
  const std::int32_t kUntouched = 0x5a5a5a5a;
  Header h{kUntouched, kUntouched, kUntouched};
  int n = scan_header(line, &h);
  std::int32_t want[3] = {kUntouched, kUntouched, kUntouched};
  int want_n = 0;
  for (const char* p = line; want_n < 3;) {
    p = reference_integer(p, &want[want_n]);
    if (!p)
      break;
    ++want_n;
  }
  CHECK(n == want_n);
  CHECK(h.first == want[0]);
  CHECK(h.record_count == want[1]);
  CHECK(h.prefix_length == want[2]);
}

// The stale bytes after the NUL in the store copy, chosen by `selector`:
// up to 75 (as far as a fast scan may look ahead) of digits, blanks, "e5"
// repeated or the text itself again.
std::size_t fill_after_nul(char* after, std::uint8_t selector,
                           const char* text, std::size_t size) {
  std::size_t n = (selector & 15u) * 5;
  for (std::size_t i = 0; i < n; ++i) {
    switch (selector >> 4 & 3u) {
    case 0: after[i] = '9'; break;
    case 1: after[i] = ' '; break;
    case 2: after[i] = i % 2 ? '5' : 'e'; break;
    default: after[i] = size > 0 ? text[i % size] : '7'; break;
    }
  }
  return n;
}

// Scanning `count` numbers into bytes in one call against scanning them one
// by one.
void check_bytes_in_store(const char* p, const char* store_end, int count) {
  std::unique_ptr<std::uint8_t[]> got(new std::uint8_t[count > 0 ? count : 1]);
  std::unique_ptr<std::uint8_t[]> want(new std::uint8_t[count > 0 ? count : 1]);
  got[0] = want[0] = 0xa5;
  LastError got_error = kErrorDiskFull; // an earlier failure's number
  const char* got_end = scan_bytes_in_store(p, store_end, count, got.get(),
                                            &got_error);
  LastError want_error = kErrorDiskFull;
  const char* want_end = p;
  for (int i = 0; i < count; ++i) {
    NumberScan s = scan_number(want_end, &want_error);
    want[i] = byte_reduction(s.value);
    want_end = s.end;
  }
  CHECK(got_end == want_end);
  CHECK(got_error == want_error);
  CHECK(std::memcmp(got.get(), want.get(), count > 0 ? count : 1) == 0);
}


// A double to print, from eight input bytes and a selector: the bits as
// they are, or a few units in the last place from an integer (from the
// bits), from 2^63, 2^53, the largest double or 2^-1022, either side.
double printed_double(const std::uint8_t* bytes, std::uint8_t selector) {
  double x;
  std::memcpy(&x, bytes, sizeof x);
  const double near[] = {0, 0x1p63, 0x1p53, DBL_MAX, DBL_MIN, 256.0, 1.0};
  unsigned kind = selector % 8;
  if (kind == 1) {
    std::int64_t k;
    std::memcpy(&k, bytes, sizeof k);
    x = static_cast<double>(k >> (k & 63)); // integers of every size
  } else if (kind > 1) {
    x = near[kind - 1];
  }
  if (!std::isfinite(x))
    x = DBL_MAX;
  for (unsigned steps = selector >> 3 & 3; steps > 0; --steps)
    x = std::nextafter(x, (selector & 0x20) ? 0.0 : HUGE_VAL);
  if (!std::isfinite(x))
    x = DBL_MAX;
  return (selector & 0x40) ? -x : x;
}

// x printed the ways programs print doubles, or exactly halfway to the
// next double up, cut off or padded with digits.
std::string printed(double x, std::uint8_t form) {
  char b[160];
  switch (form % 12) {
  case 0: std::snprintf(b, sizeof b, "%.6f", x); break;
  case 1: std::snprintf(b, sizeof b, "%.0f", x); break;
  case 2: std::snprintf(b, sizeof b, "%.18e", x); break;
  case 3: std::snprintf(b, sizeof b, "%.17g", x); break;
  case 4: std::snprintf(b, sizeof b, "%g", x); break;
  case 5: std::snprintf(b, sizeof b, "%.6e", x); break;
  case 6: { // Fortran: 0.d1...d14 with a D exponent
    char e[40];
    std::snprintf(e, sizeof e, "%.13e", std::fabs(x));
    std::snprintf(b, sizeof b, "%s0.%c%.13sD%+03d", x < 0 ? "-" : "", e[0], e + 2,
                  std::atoi(std::strchr(e, 'e') + 1) + 1);
    break;
  }
  case 7: std::snprintf(b, sizeof b, "%.16e", x); break;
  case 8: std::snprintf(b, sizeof b, "%.20e", x); break;
  default: {
#if LDBL_MANT_DIG >= 64
    // Halfway to the next double up, exactly or within a few digits.
    long double a = x;
    long double mid = (a + static_cast<long double>(std::nextafter(x, HUGE_VAL))) / 2;
    int digits = form % 12 == 9 ? 16 + form / 12 % 8 : form % 12 == 10 ? 40 : 120;
    std::snprintf(b, sizeof b, "%.*Le", digits, mid);
#else
    std::snprintf(b, sizeof b, "%.25e", x);
#endif
    break;
  }
  }
  if (std::strchr(b, 'n') != nullptr) // inf or nan: no number
    std::snprintf(b, sizeof b, "0");
  return b;
}

// The numbers printed from the input, each checked against the reference
// when scanned alone for its value, and all of them taken into bytes in one
// line as the record loop takes prefix values.
void check_printed_numbers(const std::uint8_t* data, std::size_t size) {
  std::string line;
  std::vector<Reference> want;
  std::vector<std::string> tokens;
  for (std::size_t i = 0; i + 10 <= size && tokens.size() < 64; i += 10) {
    std::string token = printed(printed_double(data + i, data[i + 8]), data[i + 9]);
    LastError last_error = kErrorNone;
    NumberScan s = scan_number(token.c_str(), &last_error);
    Reference r = reference(token);
    CHECK(s.end == token.c_str() + token.size());
    CHECK(bits(s.value) == bits(r.value));
    CHECK((last_error == kErrorRange) == r.range_error);
    line += data[i + 9] & 0x80 ? "  " : " ";
    line += token;
    tokens.push_back(token);
    want.push_back(r);
  }
  line += "\r\n";
  // In a store with stale digits after the line, as far as the fast scans
  // look.
  std::vector<char> store(line.begin(), line.end());
  store.push_back('\0');
  store.resize(store.size() + 64, '9');
  std::vector<std::uint8_t> got(want.size() + 1, 0xa5);
  LastError last_error = kErrorNone;
  const char* end = scan_bytes_in_store(store.data(), store.data() + store.size(),
                                        static_cast<int>(want.size()), got.data(), &last_error);
  bool range_error = false;
  for (std::size_t k = 0; k < want.size(); ++k) {
    CHECK(got[k] == want[k].byte);
    range_error |= want[k].range_error;
  }
  CHECK((last_error == kErrorRange) == range_error);
  CHECK(end == store.data() + line.size() - 2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  // Exactly as long as the text and its NUL, so reading past the NUL is a
  // heap overflow that AddressSanitizer reports.
  std::unique_ptr<char[]> text(new char[size + 1]);
  if (size > 0)
    std::memcpy(text.get(), data, size);
  text[size] = '\0';
  const char* const last = text.get() + size;

  // The same text in a store that ends with the stale bytes, exactly as
  // large, so reading past it is reported too.
  char after[75];
  std::size_t extra =
      fill_after_nul(after, size > 0 ? data[size - 1] : 0, text.get(), size);
  std::unique_ptr<char[]> store(new char[size + 1 + extra]);
  std::memcpy(store.get(), text.get(), size + 1);
  std::memcpy(store.get() + size + 1, after, extra);
  const char* const store_end = store.get() + size + 1 + extra;
  // How many numbers the one-call scan takes at once: small counts along
  // the walk, a prefix-length-sized one at the first line starts.
  int line_count = size > 0 ? data[0] % 231 - 1 : 0; // -1 to 229

  const char* nul = text.get() - 1; // the NUL that ends the text at p
  for (const char* p = text.get(); p <= last;) {
    if (nul < p)
      nul = p + std::strlen(p);
    const char* start = p;
    while (space(*start))
      ++start;
    LastError s_error = kErrorNone;
    NumberScan s = scan_number(p, &s_error);
    const char* in_store = store.get() + (p - text.get());
    LastError t_error = kErrorNone;
    NumberScan t = scan_number_in_store(in_store, store_end, &t_error);
    CHECK(t.end - in_store == s.end - p);
    CHECK(bits(t.value) == bits(s.value));
    CHECK(t_error == s_error);
    check_bytes_in_store(in_store, store_end,
                         static_cast<int>((p - text.get()) % 5));
    const char* want_end = reference_number_end(start);
    CHECK(reference_byte(s.value) == byte_reduction(s.value));
    if (!want_end) {
      CHECK(s.end == p);
      CHECK(bits(s.value) == 0);
      CHECK(s_error == 0);
      p = start + 1; // over the whitespace and the byte that stopped the scan
      continue;
    }
    CHECK(s.end == want_end);
    CHECK(s.end <= nul);
    CHECK(std::isfinite(s.value) || s_error == kErrorRange);
    check_value(start, want_end, s, s_error);
    p = s.end;
  }

  // The header scan, from the start and from every line start that is not
  // whitespace (one that is would only repeat a later start, and scanning
  // each line of a long blank run would take quadratic time); the prefix
  // values from the first line starts.
  check_header(text.get());
  check_bytes_in_store(store.get(), store_end, line_count);
  int line_starts = 1;
  for (const char* p = text.get(); p < last; ++p) {
    if (*p != '\n' || space(p[1]))
      continue;
    check_header(p + 1);
    if (line_starts++ < 64)
      check_bytes_in_store(store.get() + (p + 1 - text.get()), store_end,
                           line_count);
  }

  check_printed_numbers(data, size);

  // The byte reduction on every bit pattern the input holds, NaN included.
  for (std::size_t i = 0; i + sizeof(double) <= size; i += sizeof(double)) {
    double v;
    std::memcpy(&v, data + i, sizeof v);
    CHECK(reference_byte(v) == byte_reduction(v));
  }
  return 0;
}
