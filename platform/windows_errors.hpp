// Translation of Windows error codes (GetLastError) into tlf2pos's
// last-error numbers. Kept apart from the system calls so the table can be
// tested on its own.
#ifndef TLF2POS_PLATFORM_WINDOWS_ERRORS_HPP
#define TLF2POS_PLATFORM_WINDOWS_ERRORS_HPP

#include "platform/last_error.hpp"

/// The last-error number for a failed CreateFile with error code `e`:
/// kErrorNotFound for a missing file, folder or drive, a malformed or too
/// long path; kErrorDenied for refused access, a file in use or locked, a
/// write-protected or failing medium (a folder opened as a file fails this
/// way too); kErrorTooManyFiles; kErrorDiskFull; kErrorNoMemory; and
/// kErrorInvalid for an invalid name or parameter and anything else.
LastError windows_open_error(unsigned long e);

/// The last-error number for a failed ReadFile, WriteFile or CloseHandle
/// with error code `e`: a refused read or write (access denied, a handle
/// not open for it) gives kErrorRefused, everything else as for opening.
LastError windows_io_error(unsigned long e);

#endif
