// Translation of POSIX errno values into tlf2pos's last-error numbers.
// Kept apart from the system calls so the table can be tested on its own.
#ifndef TLF2POS_PLATFORM_POSIX_ERRORS_HPP
#define TLF2POS_PLATFORM_POSIX_ERRORS_HPP

#include "platform/last_error.hpp"

/// The last-error number for a failed open or create with errno `e`:
/// kErrorNotFound for a missing file or path, kErrorDenied for refused
/// access, kErrorTooManyFiles, kErrorDiskFull, kErrorNoMemory, and
/// kErrorInvalid for anything else.
LastError posix_open_error(int e);

/// The last-error number for a failed read or write with errno `e`: a refused
/// read or write gives kErrorRefused, everything else as for opening.
LastError posix_io_error(int e);

#endif
