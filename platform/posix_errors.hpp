// Translation of POSIX errno values into tlf2pos's last-error numbers.
// Kept apart from the system calls so the table can be tested on its own.
#ifndef TLF2POS_PLATFORM_POSIX_ERRORS_HPP
#define TLF2POS_PLATFORM_POSIX_ERRORS_HPP

/// The last-error number for a failed open or create with errno `e`:
/// 2 for a missing file or path, 13 for refused access, 24 for too many open
/// files, 28 for a full disk, 12 for lack of memory, 22 for anything else.
int posix_open_error(int e);

/// The last-error number for a failed read or write with errno `e`: a refused
/// read or write gives 9, a full disk 28, everything else as for opening.
int posix_io_error(int e);

#endif
