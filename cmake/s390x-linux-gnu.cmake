# Cross build for IBM Z Linux, the big-endian CPU that stands for all of
# them, with Debian's cross compiler (package g++-s390x-linux-gnu), tested
# through qemu-s390x-static (package qemu-user-static):
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(TLF2POS_CROSS_TRIPLET s390x-linux-gnu)
# Debian 12's s390x C library has no start file for a static PIE (rcrt1.o),
# so the program is static at a fixed address.
set(TLF2POS_CROSS_STATIC -static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
