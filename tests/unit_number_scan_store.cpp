// Scanning record-line numbers in the line store, where the scanner may look
// at the bytes after the line's NUL: wherever the number lies in the store
// and whatever the stale bytes after the NUL are, it must give exactly what
// the plain scan gives.
#include "input/number_scan.hpp"

#include <gtest/gtest.h>

#include "platform/last_error.hpp"
#include "tests/strtod_reference.hpp"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

std::uint64_t bits(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Puts `text` and its NUL at `offset` in a store of exactly `size` bytes
// (so that AddressSanitizer sees any read past it) filled with `fill`, and
// compares both scans from every position of the text.
void expect_same_everywhere(const std::string& text, std::size_t offset,
                            std::size_t size, char fill) {
  ASSERT_LE(offset + text.size() + 1, size);
  std::vector<char> store(size, fill);
  std::memcpy(store.data() + offset, text.c_str(), text.size() + 1);
  const char* store_end = store.data() + store.size();
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char* p = store.data() + offset + i;
    LastError want_error = kErrorNone;
    LastError got_error = kErrorNone;
    NumberScan want = scan_number(p, &want_error);
    NumberScan got = scan_number_in_store(p, store_end, &got_error);
    // The same number taken into a byte, with the fast recognisers.
    std::uint8_t byte = 0xa5;
    LastError byte_error = kErrorNone;
    const char* byte_end = scan_bytes_in_store(p, store_end, 1, &byte, &byte_error);
    if (got.end != want.end || bits(got.value) != bits(want.value) ||
        got_error != want_error || byte_end != want.end ||
        byte != byte_reduction(want.value) || byte_error != want_error) {
      ADD_FAILURE() << "text " << ::testing::PrintToString(text) << " from "
                    << i << ", at " << offset << " in " << size
                    << " bytes, filled with "
                    << ::testing::PrintToString(fill) << ": end "
                    << (got.end - p) << " value " << got.value << " error "
                    << got_error << ", byte end " << (byte_end - p) << " byte "
                    << int{byte} << " error " << byte_error << ", want end "
                    << (want.end - p) << " value " << want.value << " error "
                    << want_error;
      return;
    }
  }
}

TEST(NumberScanInStore, SameAsThePlainScanAtEveryPlaceInTheStore) {
  const char* const texts[] = {
      "-123.456789 548.559126\r\n",
      "0 1 2 3 4 0 5 0\n",
      "0 5 0 FGHIJKLMNO 0", // the letters after '9', eight at a time
      "255 10 26 13",
      "12345678.12345678 ",
      "123456789.1 1.123456789 12345678.123456789",
      "99999999.99999999 -99999999.9999999",
      "123456789012345 1234567890123456 9007199254740993",
      "12345678901234567890123 00000000000000000001",
      "0.000000000000000000001 1.000000000000000000000000001",
      "-.5 5. +7 -0 -0.000000 +.25",
      ". - + -. +.e5 .e5",
      "1e5 1d-3 1E+2 2.5D2 1e 1e+ 1e- 1ex 1e99999 1e400 1e-400 0e400",
      "-1.234567890123456789e+02 -0.12345678901234D+03 5.123456e+187 1.23457e-07",
      "-123.45678901234567 2.55999999999999999e+02 9.99999999999999999e-01",
      "5+3 1.5.5 1-2+3 0x10 1,5 1..5 --5 +-5",
      "12\t34\v56\f78\r90\n",
      "  \t 8        -9    ",
      "-1234567 7654321.1234567 1.2345678e3",
      // The neighbours of the digits, and digits with the top bit set.
      "1/2 3:4 5\xb0 6\xb9 /7 :8 9.:",
  };
  const char fills[] = {'0', '7', '9', ' ', '.', '-', 'e', '\0', 'x', ':'};
  for (const char* text : texts) {
    std::string t(text);
    for (char fill : fills) {
      // Small stores put the text near the store's end, large ones far
      // from it.
      for (std::size_t size : {t.size() + 1, t.size() + 9, t.size() + 40, t.size() + 72}) {
        for (std::size_t offset = 0; offset + t.size() + 1 <= size; ++offset)
          expect_same_everywhere(t, offset, size, fill);
      }
    }
  }
}

TEST(NumberScanInStore, SameAsThePlainScanOnRandomText) {
  // Mostly digits, the other bytes that numbers are made of, a few that end
  // them, the neighbours of the digits and digits with the top bit set.
  const char alphabet[] = "0123456789012345678901234567890123456789"
                          "..--++eEdD  \t\r\nx,/:\xb0\xb9";
  std::mt19937 rng(4711);
  for (int round = 0; round < 20000; ++round) {
    std::size_t length = rng() % 40;
    std::string text;
    for (std::size_t i = 0; i < length; ++i)
      text += alphabet[rng() % (sizeof alphabet - 1)];
    std::size_t slack = rng() % 80;
    std::size_t size = text.size() + 1 + slack;
    std::size_t offset = rng() % (slack + 1);
    char fill = alphabet[rng() % (sizeof alphabet - 1)];
    expect_same_everywhere(text, offset, size, fill);
    if (HasFailure())
      return;
  }
}

// Sixteen digits whose integer lies above 2^53: converting the integer to a
// double first and then dividing would round twice and miss by one place.
TEST(NumberScanInStore, SixteenDigitsRoundOnce) {
  const char* const texts[] = {"95158004.68849717", "96434695.54303509",
                               "98159914.19794399", "99205155.72149803",
                               "-90083690.38353339"};
  std::vector<char> store(64, '7');
  for (const char* text : texts) {
    std::size_t n = std::strlen(text);
    std::memcpy(store.data(), text, n);
    store[n] = '\0';
    LastError last_error = kErrorNone;
    NumberScan s = scan_number_in_store(store.data(), store.data() + store.size(),
                                        &last_error);
    EXPECT_EQ(s.end, store.data() + n) << text;
    EXPECT_EQ(bits(s.value), bits(strtod_reference(text).value)) << text;
  }
}

// The usual record-line forms, checked against the C library's correctly
// rounded conversion rather than against the plain scan.
TEST(NumberScanInStore, UsualFormsRoundCorrectly) {
  std::mt19937_64 rng(99);
  std::vector<char> store(256, '5');
  for (int round = 0; round < 200000; ++round) {
    std::uint64_t r = rng();
    char token[64];
    switch (round % 4) {
    case 0: // six decimals
      std::snprintf(token, sizeof token, "%s%u.%06u", (r & 1) ? "-" : "",
                    static_cast<unsigned>((r >> 1) % 1000),
                    static_cast<unsigned>((r >> 11) % 1000000));
      break;
    case 1: // eight digits on both sides of the point
      std::snprintf(token, sizeof token, "%s%u.%08u", (r & 1) ? "-" : "",
                    static_cast<unsigned>((r >> 1) % 100000000),
                    static_cast<unsigned>((r >> 30) % 100000000));
      break;
    case 2: // small integers
      std::snprintf(token, sizeof token, "%u", static_cast<unsigned>(r % 256));
      break;
    default: // any length on either side, within fifteen digits
      std::snprintf(token, sizeof token, "%llu.%0*llu",
                    static_cast<unsigned long long>((r >> 8) % 10000000),
                    static_cast<int>(r % 8) + 1,
                    static_cast<unsigned long long>((r >> 40) % 10000));
      break;
    }
    std::size_t n = std::strlen(token);
    std::memcpy(store.data() + 1, token, n);
    store[0] = ' ';
    store[n + 1] = (r >> 60) & 1 ? ' ' : '\n';
    store[n + 2] = '\0';
    LastError last_error = kErrorNone;
    NumberScan s = scan_number_in_store(store.data(), store.data() + store.size(),
                                        &last_error);
    ASSERT_EQ(s.end, store.data() + 1 + n) << token;
    ASSERT_EQ(bits(s.value), bits(strtod_reference(token).value)) << token;
    ASSERT_EQ(last_error, 0) << token;
  }
}

} // namespace

namespace {

// The prefix values of a record line scanned in one call must give what
// scanning them one by one gives: the bytes, where the scans stop, and
// the last-error number (left alone unless a number is out of range).
struct Bytes {
  std::vector<int> bytes;
  std::ptrdiff_t end;
  LastError last_error;
};

Bytes one_by_one(const char* p, int count) {
  Bytes b{{}, 0, kErrorDiskFull};
  const char* start = p;
  for (int k = 0; k < count; ++k) {
    NumberScan s = scan_number(p, &b.last_error);
    b.bytes.push_back(byte_reduction(s.value));
    p = s.end;
  }
  b.end = p - start;
  return b;
}

Bytes in_one_call(const std::string& line, int count, char fill) {
  std::vector<char> store(line.size() + 1 + 30, fill);
  std::memcpy(store.data(), line.c_str(), line.size() + 1);
  std::vector<std::uint8_t> out(count > 0 ? count : 0, 0xa5);
  Bytes b{{}, 0, kErrorDiskFull};
  const char* end = scan_bytes_in_store(store.data(), store.data() + store.size(),
                                        count, out.data(), &b.last_error);
  b.bytes.assign(out.begin(), out.end());
  b.end = end - store.data();
  return b;
}

TEST(ScanBytesInStore, SameAsScanningOneByOne) {
  const std::string far(64, ' ');
  const std::string lines[] = {
      "0 -509.945721 548.559126 -587.937582 279.296345\r\n",
      "7 1 2 3 10 26 13 255 256 300 -1 -0.7 3.9 1e3 1d2\n",
      "7 -0.000001 -0.5 -0 +0 -99999999.99999 99999999.999999 12345678.1234567\n",
      "7 255.99999999999999999 -255.9999999999999999 1e400 -1e400 1e-400 5\n",
      "7 1 2 x 3 4\n",
      // Eight digits of integer part across the point, and just fewer.
      "7 1234567.8e1 -9999999.9e1 123456.78e2 1.2345678e7 -1234567.89e1 1234567.e1\n",
      // The forms programs print, one per line and mixed, near integers,
      // 2^63 and the ends of the range.
      "7 -1.234567890123456789e+02 2.559999999999999999e+02 -2.550000000000000000e+02\r\n",
      "7 -0.25599999999999999D+03 0.99999999999999999D+00 -0.12345678901234D+03\r\n",
      "7 -123.45678901234567 255.99999999999999 0.9999999999999999 -0.99999999999999999\n",
      "7 1.23457e-07 -37106.9 6.94056e+15 0.993646 -9.75434e+14 1e+300 2.5e-310 -0\n",
      "7 5.123456e+187 -6.526156e+215 1.005286e-105 2.55e+02 9.223372e+18 9.223373e+18\n",
      "7 9223372036854775295 9223372036854775296 9.2233720368547758e18 -9.2233720368547752e+18\n",
      "7 1.7976931348623157e+308 1.7976931348623159e+308 2.2250738585072011e-308 5e-324\n",
      "7 18446744073709551615 1.8446744073709551615e19 1e19 1e18 -1000000000000000000\n",
      // Just below 10^-307, where a value under 1 must be taken to tell a
      // range error, and just above it.
      "7 1e-308 1e-307 -9.9e-308 5\n",
      // Below 10^-307 with a digit before the point, too long for the fast
      // recognisers: the grammar's token must still be taken as a range
      // error.
      "7 0." + std::string(320, '0') + "1 -0." + std::string(300, '0') + "1 5\n",
      // No digit before the point: the first digit after it decides whether
      // 0.99999999... may round up to 1, and whether the value is huge.
      "7 .99999999999999999999 -.99999999999999999999 .0000000000000000005e20 .5e20\n",
      // Few digits times a power of ten just beyond 10^22 either way, among
      // forms with and without an exponent.
      "7 1.5 2e1 3 1e23 4 1e-23 5.5e24 6 -7e-24 255e21 8 1e22 9 1e-22\n",
      // Runs of one layout with a signed exponent, broken by a number of
      // another in each of its parts: the marker, the exponent's sign and
      // digits, the point, the sign, what ends the number. Blanks keep the
      // numbers far from the store's end, where the fast paths may read.
      "7 1.5e+02 2.5e+02 3.5E+02 4.5e-02 5.5e02 6.5e+002 7.5e+0002 8.5e+00002 9.5e+02" + far + "\n",
      "7 -1.5d+02 +2.5d+02 1.5d-02 1.5D+02 1.55d+02 15.5d+02 .5d+02 1.d+02 -1.5d+02" + far + "\n",
      "7 .5e+03 .7e+03 .9e-03 1.5e+03 .5e+3 .5e+30 .5e+300 .5e+3000" + far + "\n",
      "7 1.5e+02 1.5e+0 1.5e+ 1.5e+02 1.5.e+02 1.5e+02 1.5e+-2 1.5e+02 1e+02 1.5e+02" + far + "\n",
      "7 1.5e+02\t2.5e+02\r3.5e+02\v4.5e+02\f5.5e+02" + far + "\n",
      "7 1.5e+02 2.5e+02 3.5e+02x 4.5e+02" + far + "\n",
      "7 1.5e+02 2.5e+02 3.5x+02 4.5e+02" + far + "\n",
      "7 1.5e+02 2.5e+02 3,5e+02 4.5e+02" + far + "\n",
      "7 1.5e+02 2.5e+02 3.5e.02 4.5e+02" + far + "\n",
      "7 1.5e+02 2.5e+02 3.5e*02 4.5e+02" + far + "\n",
      "7 1.5e+02 2.5e+02 3.5e+021 4.5e+02 5.5e+02.5" + far + "\n",
      // The longest layouts taken, and the exponent's digits reaching past
      // the 32 bytes of one look.
      "7 1.2345678901234567890123e+02 1.2345678901234567890123e+0234 "
      "1.2345678901234567890123e+02345 1.2345678901234567890123e+0" + far + "\n",
      "7 1.234567890123456789012345e+02 1.234567890123456789012345e+0234567" + far + "\n",
      "7 -1.2345678901234567890123e+02 -1.2345678901234567890123e+0234 "
      "-1.23456789012345678901234e+02 -1.23456789012345678901234e+02345" + far + "\n",
      // Numbers without an exponent, longer than the shortest form, near
      // integers.
      "7 -123.45678901234567 255.99999999999999 0.9999999999999999 -0.99999999999999999 "
      "255.9999999 -1.99999999 12345678.99999999 123456789.5 .5 -.5 255.99999999x 1" + far + "\n",
      "7 2.559999999999999999e+02 1.000000000000000000e+00 9.999999999999999999e-01 "
      "-9.999999999999999999e+18 9.999999999999999999e+19 1.000000000000000000e+400" + far + "\n",
      "7 1,2 3\n",
      "7 5+3 1.5.5 .5 5. 0x10\n",
      "",
      "   ",
  };
  for (const std::string& line : lines) {
    for (int count : {-1, 0, 1, 3, 8, 20}) {
      for (char fill : {'5', ' ', '\0'}) {
        SCOPED_TRACE(::testing::PrintToString(line) + " count " + std::to_string(count));
        Bytes want = one_by_one(line.c_str(), count);
        Bytes got = in_one_call(line, count, fill);
        EXPECT_EQ(got.bytes, want.bytes);
        EXPECT_EQ(got.end, want.end);
        EXPECT_EQ(got.last_error, want.last_error);
      }
    }
  }
}

// A double for a random token: anywhere, or within a few units in the
// last place of an integer, of 2^63, or of the largest double.
double random_double(std::mt19937_64& rng) {
  std::uint64_t r = rng();
  double x;
  switch (r % 4) {
  case 0:
    x = std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(r >> 8 & 127) - 100);
    break;
  case 1:
    x = static_cast<double>(static_cast<std::int64_t>(rng() % 2000001) - 1000000);
    break;
  case 2:
    x = 9223372036854775808.0;
    break;
  default:
    x = DBL_MAX;
    break;
  }
  for (int steps = static_cast<int>(r >> 16 & 3); steps > 0; --steps)
    x = std::nextafter(x, (r >> 20 & 1) ? 0.0 : std::numeric_limits<double>::infinity());
  if (!std::isfinite(x))
    x = DBL_MAX;
  return (r >> 21 & 1) ? -x : x;
}

// One token in one of the forms below: as people write numbers, and as
// programs print doubles.
std::string random_token(std::mt19937_64& rng, int form) {
  std::uint64_t r = rng();
  char token[64];
  switch (form) {
  case 0: // up to eight digits on either side of the point
    std::snprintf(token, sizeof token, "%s%llu.%0*llu", (r & 8) ? "-" : "",
                  static_cast<unsigned long long>((r >> 8) % 100000000),
                  static_cast<int>((r >> 4) % 8) + 1,
                  static_cast<unsigned long long>((r >> 40) % 100000000));
    break;
  case 1: // just below an integer
    std::snprintf(token, sizeof token, "%s%u.99999999", (r & 8) ? "-" : "",
                  static_cast<unsigned>((r >> 8) % 100000));
    break;
  case 2:
    std::snprintf(token, sizeof token, "%u", static_cast<unsigned>((r >> 8) % 100000));
    break;
  case 3: // exponents, in range and out of it
    std::snprintf(token, sizeof token, "%u.%ue%d", static_cast<unsigned>((r >> 8) % 100),
                  static_cast<unsigned>((r >> 16) % 100),
                  static_cast<int>((r >> 24) % 800) - 400);
    break;
  case 4: // long mantissas
    std::snprintf(token, sizeof token, "%llu%llu.%llu",
                  static_cast<unsigned long long>((r >> 8) % 1000000000),
                  static_cast<unsigned long long>(rng() % 1000000000000ull),
                  static_cast<unsigned long long>(rng() % 1000000000000ull));
    break;
  case 5: // numpy's default
    std::snprintf(token, sizeof token, "%.18e", random_double(rng));
    break;
  case 6: // up to 17 significant digits, as Python's repr
    std::snprintf(token, sizeof token, "%.*g", static_cast<int>(r % 17) + 1, random_double(rng));
    break;
  case 7: // C's %g across magnitudes
    std::snprintf(token, sizeof token, "%g",
                  std::ldexp(static_cast<double>(r >> 11), static_cast<int>(r % 120) - 100));
    break;
  default: { // Fortran list output: 0.d1...d14 with a D exponent
    char e[40];
    std::snprintf(e, sizeof e, "%.13e", std::fabs(random_double(rng)));
    std::snprintf(token, sizeof token, "%s0.%c%.13sD%+03d", (r & 1) ? "-" : "", e[0], e + 2,
                  std::atoi(std::strchr(e, 'e') + 1) + 1);
    break;
  }
  }
  return token;
}

TEST(ScanBytesInStore, SameAsScanningOneByOneOnRandomLines) {
  std::mt19937_64 rng(31337);
  for (int round = 0; round < 6000; ++round) {
    std::string line;
    int tokens = static_cast<int>(rng() % 40);
    // Most lines hold one form; some mix them all.
    int line_form = static_cast<int>(rng() % 11);
    for (int i = 0; i < tokens; ++i) {
      int form = line_form < 9 ? line_form : static_cast<int>(rng() % 9);
      line += (rng() >> 62) ? " " : "\t";
      line += random_token(rng, form);
    }
    line += "\r\n";
    int count = static_cast<int>(rng() % 42);
    Bytes want = one_by_one(line.c_str(), count);
    Bytes got = in_one_call(line, count, '7');
    ASSERT_EQ(got.bytes, want.bytes) << line;
    ASSERT_EQ(got.end, want.end) << line;
    ASSERT_EQ(got.last_error, want.last_error) << line;
  }
}

} // namespace
