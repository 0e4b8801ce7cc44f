# Cross build for 64-bit ARM Linux with Debian's cross compiler (package
# g++-aarch64-linux-gnu), tested through qemu-aarch64-static (package
# qemu-user-static):
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TLF2POS_CROSS_TRIPLET aarch64-linux-gnu)
set(TLF2POS_CROSS_STATIC -static-pie)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
