// Record lines to POS files.
#ifndef TLF2POS_DRIVER_RECORD_CONVERSION_HPP
#define TLF2POS_DRIVER_RECORD_CONVERSION_HPP

#include <cstdint>

#include "driver/run.hpp"

/// Converts `record_count` record lines (none if it is 0 or less) from the
/// run's input, writing one POS file per branch pair. `prefix_length` must
/// not exceed kMaxPrefixLength. Returns false after a failure, which it has
/// already reported.
bool convert_records(Run* run, std::int32_t record_count,
                     std::int32_t prefix_length);

#endif
