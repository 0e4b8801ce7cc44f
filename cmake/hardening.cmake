# Hardening of every program the build links, as Debian builds its own
# packages, so that a fault in tlf2pos is hard to turn into an attack.
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
# TLF2POS_FULLY_STATIC (set before this file is included) asks for a program
# that carries its C library; TLF2POS_PROGRAM_LINK is then how tlf2pos links
# in a native build.

if(MINGW)
  add_link_options(-Wl,--dynamicbase -Wl,--nxcompat)
  return()
endif()
if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

add_compile_options(-fPIE -fstack-protector-strong -fstack-clash-protection
                    -Wformat -Werror=format-security)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86)$")
  add_compile_options(-fcf-protection)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  add_compile_options(-mbranch-protection=standard)
endif()
if(NOT TLF2POS_SANITIZE AND NOT TLF2POS_FUZZ)
  # -U first: some compilers define their own level by default.
  add_compile_options(
    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
add_link_options(-Wl,-z,relro -Wl,-z,now)
# A cross build links every program statically, tests included (its
# toolchain file); a native build links PIEs, and tlf2pos alone as a static
# PIE when asked (-static-pie after -pie wins).
if(NOT CMAKE_CROSSCOMPILING)
  add_link_options(-pie)
  if(TLF2POS_FULLY_STATIC)
    set(TLF2POS_PROGRAM_LINK -static-pie)
  endif()
endif()
