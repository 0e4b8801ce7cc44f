// The property check shared by the fuzz targets.
#ifndef TLF2POS_FUZZ_FUZZ_CHECK_HPP
#define TLF2POS_FUZZ_FUZZ_CHECK_HPP

/// Stops the fuzzer at once, with the input kept, when `c` does not hold.
#define CHECK(c)                                                                                   \
  do {                                                                                             \
    if (!(c))                                                                                      \
      __builtin_trap();                                                                            \
  } while (0)

#endif
