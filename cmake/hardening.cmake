# Hardening of every program built from this repository, as Debian builds its
# own packages, so that a fault in tlf2pos is hard to turn into an attack.
#
# Linux (native and cross): position-independent code, fortified C library
# calls (-D_FORTIFY_SOURCE=2; only with optimisation, which it needs), a
# stack protector on functions with arrays, probes that keep a large stack
# frame from jumping past the guard page, the CPU's control-flow protection
# (-fcf-protection on x86, branch protection on arm64; s390x has none), and
# a relocation table made read-only after start-up with every symbol bound
# at once (-z relro -z now). Sanitizer and fuzz builds leave out the
# fortified calls: the sanitizers check the C library's memory and string
# functions through their own versions, which the fortified ones bypass.
#
# Windows: the .exe keeps address-space randomisation and a non-executable
# stack and heap (DYNAMIC_BASE, NX_COMPAT), named here rather than left to
# the linker's defaults.
#
# The flags go on the interface target tlf2pos_flags, which the project's
# own targets link; position independence is CMake's own
# (CMAKE_POSITION_INDEPENDENT_CODE), so this file is included before the
# first target is made. TLF2POS_FULLY_STATIC (set before this file is
# included) asks for a program that carries its C library;
# TLF2POS_PROGRAM_LINK is then how tlf2pos links in a native build.

if(MINGW)
  target_link_options(tlf2pos_flags INTERFACE -Wl,--dynamicbase -Wl,--nxcompat)
  return()
endif()
if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

# Programs compile as position-independent executables, the static library
# as position-independent code. A native build links PIEs, and tlf2pos alone
# as a static PIE when asked (-static-pie after -pie wins: CMakeLists.txt
# puts it last). A cross build links every program statically, tests
# included, as its toolchain file says: -static-pie, or -static where the C
# library has no static PIE start file (s390x), which -pie must not join; so
# the linker check, which turns on -pie, is left out there.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
# Position-independent code lets a shared library's functions be replaced at
# load time, so GCC would not inline them; the library only ever goes into
# programs, so it is compiled as tightly as a PIE's own code.
target_compile_options(tlf2pos_flags INTERFACE -fno-semantic-interposition)
if(NOT CMAKE_CROSSCOMPILING)
  include(CheckPIESupported)
  check_pie_supported(OUTPUT_VARIABLE pie_output LANGUAGES C CXX)
  if(NOT CMAKE_CXX_LINK_PIE_SUPPORTED)
    message(WARNING "The linker cannot make PIEs; the programs are linked "
            "at fixed addresses:\n${pie_output}")
  endif()
  if(TLF2POS_FULLY_STATIC)
    set(TLF2POS_PROGRAM_LINK -static-pie)
  endif()
endif()

target_compile_options(tlf2pos_flags INTERFACE
  -fstack-protector-strong -fstack-clash-protection
  -Wformat -Werror=format-security)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86)$")
  target_compile_options(tlf2pos_flags INTERFACE -fcf-protection)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  target_compile_options(tlf2pos_flags INTERFACE -mbranch-protection=standard)
endif()
if(NOT TLF2POS_SANITIZE AND NOT TLF2POS_FUZZ)
  # -U first: some compilers define their own level by default.
  target_compile_options(tlf2pos_flags INTERFACE
    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
target_link_options(tlf2pos_flags INTERFACE -Wl,-z,relro -Wl,-z,now)
