# Shared part of the Linux cross toolchain files (aarch64-linux-gnu.cmake,
# s390x-linux-gnu.cmake): Debian's cross compiler for the GNU triplet
# TLF2POS_CROSS_TRIPLET, a static link (TLF2POS_CROSS_STATIC: -static-pie,
# or -static where the C library has no static PIE start file), and
# qemu-user to run the results.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${TLF2POS_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TLF2POS_CROSS_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${TLF2POS_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Fully static: the program runs on any Linux of that CPU whatever its C
# library, and qemu-user runs it with no target libraries on the host.
set(CMAKE_EXE_LINKER_FLAGS_INIT ${TLF2POS_CROSS_STATIC})

# Tests of the cross build run through qemu-user, named explicitly: the
# machine need not have qemu registered with binfmt_misc.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${CMAKE_SYSTEM_PROCESSOR}-static)
