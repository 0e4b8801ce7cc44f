# Installing and packaging, included by the top CMakeLists.txt.
#   Linux: `cmake --install build --prefix P` puts the program and its
#   companion tlf2pos-each (scripts/tlf2pos-each) in P/bin, their manual pages
#   in P/share/man/man1 and the README (doc/README.installed), licence and
#   changelog in P/share/doc/tlf2pos; `cd build && cpack` makes the Debian
#   package that installs the same under /usr. In a build whose program
#   carries its C library (TLF2POS_STATIC, or a cross build), the target
#   tlf2pos_archive makes tlf2pos-VERSION-linux-CPU.tar.gz for any Linux of
#   that CPU, with doc/README.archive as its README
#   (cmake/linux_archive.cmake). The companion is a POSIX shell script that
#   runs the tlf2pos beside it; the build folder gets a copy beside its
#   tlf2pos, so build/tlf2pos-each runs as installed.
#   Windows: `cd build-win && cpack` makes tlf2pos-VERSION-win32.zip, one folder
#   holding the .exe, README.txt (doc/README.zip), LICENSE.txt, the manual
#   page as HTML and the example, text files with Windows line ends.
# Archive member times come from SOURCE_DATE_EPOCH, the time of the last
# commit unless set (cmake/source_date_epoch.cmake), so packages of one
# commit are byte-identical. scripts/release.sh makes them all.
include(GNUInstallDirs)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/README.md
             ${CMAKE_SOURCE_DIR}/doc/README.zip ${CMAKE_SOURCE_DIR}/doc/tlf2pos.1
             ${CMAKE_SOURCE_DIR}/doc/README.installed)
set(TLF2POS_DOC_BUILD_DIR ${CMAKE_BINARY_DIR}/doc)
file(MAKE_DIRECTORY ${TLF2POS_DOC_BUILD_DIR})

include(${CMAKE_CURRENT_LIST_DIR}/readme.cmake)

if(WIN32)
  install(TARGETS tlf2pos RUNTIME DESTINATION .)
  # The README for Windows users and the licence, in ASCII with CR LF line
  # ends, as Notepad and every other Windows editor shows them.
  tlf2pos_readme(${CMAKE_SOURCE_DIR}/doc/README.zip
                 "tlf2pos-${PROJECT_VERSION}-win32"
                 "tlf2pos ${PROJECT_VERSION} for Windows" readme)
  file(READ LICENSE licence)
  string(REPLACE "\n" "\r\n" readme "${readme}")
  string(REPLACE "\n" "\r\n" licence "${licence}")
  file(WRITE ${TLF2POS_DOC_BUILD_DIR}/README.txt "${readme}")
  file(WRITE ${TLF2POS_DOC_BUILD_DIR}/LICENSE.txt "${licence}")
  install(FILES ${TLF2POS_DOC_BUILD_DIR}/README.txt
                ${TLF2POS_DOC_BUILD_DIR}/LICENSE.txt DESTINATION .)
  # The manual page for people without man, dated (in a comment) by the
  # page's own date. grohtml would draw the byte table as a picture with
  # PostScript tools; no-images.tmac keeps it text. Only installing and the
  # zip need it: without groff the program still builds, and installing
  # says what is missing.
  find_program(TLF2POS_GROFF groff)
  set(TLF2POS_DOC_ALL ALL)
  if(NOT TLF2POS_GROFF)
    message(STATUS "groff not found: the program builds, but installing and "
            "the zip need its HTML manual (sh scripts/install-deps.sh windows)")
    string(CONCAT message "The Windows build renders the manual page to HTML "
           "with groff: install it (sh scripts/install-deps.sh windows), then "
           "configure and build again")
    install(CODE "message(FATAL_ERROR \"${message}\")")
    set(TLF2POS_DOC_ALL)
  endif()
  file(WRITE ${TLF2POS_DOC_BUILD_DIR}/no-images.tmac
       ".de HTML-IMAGE\n..\n.de HTML-IMAGE-END\n..\n")
  file(STRINGS doc/tlf2pos.1 title REGEX "^\\.TH ")
  string(REGEX MATCH "[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]" date "${title}")
  execute_process(COMMAND date -u -d "${date}" +%s
                  OUTPUT_VARIABLE TLF2POS_MANUAL_EPOCH
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  add_custom_command(
    OUTPUT ${TLF2POS_DOC_BUILD_DIR}/tlf2pos.html
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${TLF2POS_MANUAL_EPOCH}
            ${TLF2POS_GROFF} -t -mandoc -Thtml no-images.tmac
            ${CMAKE_SOURCE_DIR}/doc/tlf2pos.1 > tlf2pos.html
    WORKING_DIRECTORY ${TLF2POS_DOC_BUILD_DIR}
    DEPENDS doc/tlf2pos.1
    VERBATIM)
  add_custom_target(tlf2pos_doc ${TLF2POS_DOC_ALL}
                    DEPENDS ${TLF2POS_DOC_BUILD_DIR}/tlf2pos.html)
  install(FILES ${TLF2POS_DOC_BUILD_DIR}/tlf2pos.html examples/tulo005.tlf
          DESTINATION .)
else()
  install(TARGETS tlf2pos RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(PROGRAMS scripts/tlf2pos-each DESTINATION ${CMAKE_INSTALL_BINDIR})
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/tlf2pos-each
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/scripts/tlf2pos-each
            ${CMAKE_BINARY_DIR}/tlf2pos-each
    DEPENDS scripts/tlf2pos-each
    VERBATIM)
  add_custom_target(tlf2pos_each ALL DEPENDS ${CMAKE_BINARY_DIR}/tlf2pos-each)
  add_dependencies(tlf2pos tlf2pos_each)
  # Manual pages and changelog compressed as Debian wants them: gzip -9n.
  foreach(doc tlf2pos.1 tlf2pos-each.1 changelog)
    add_custom_command(
      OUTPUT ${TLF2POS_DOC_BUILD_DIR}/${doc}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/doc/${doc} ${doc}
      COMMAND gzip -9nf ${doc}
      WORKING_DIRECTORY ${TLF2POS_DOC_BUILD_DIR}
      DEPENDS doc/${doc}
      VERBATIM)
  endforeach()
  add_custom_target(tlf2pos_doc ALL DEPENDS
                    ${TLF2POS_DOC_BUILD_DIR}/tlf2pos.1.gz
                    ${TLF2POS_DOC_BUILD_DIR}/tlf2pos-each.1.gz
                    ${TLF2POS_DOC_BUILD_DIR}/changelog.gz)
  install(FILES ${TLF2POS_DOC_BUILD_DIR}/tlf2pos.1.gz
                ${TLF2POS_DOC_BUILD_DIR}/tlf2pos-each.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The licence as a machine-readable Debian copyright file; Expat is that
  # format's name for the MIT License.
  file(READ LICENSE licence)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)\n+(.*[^\n])" match
         "${licence}")
  set(holder "${CMAKE_MATCH_1}")
  set(notice "${CMAKE_MATCH_2}")
  string(REPLACE "\n\n" "\n.\n" notice "${notice}")
  string(REPLACE "\n" "\n " notice "${notice}")
  file(WRITE ${TLF2POS_DOC_BUILD_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: tlf2pos

Files: *
Copyright: ${holder}
License: Expat
 ${notice}
")
  # The README of an installed tlf2pos speaks to its users, as the
  # archive's does; the repository's README is about the source.
  install(FILES doc/README.installed RENAME README
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${TLF2POS_DOC_BUILD_DIR}/copyright
                ${TLF2POS_DOC_BUILD_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# Installing needs the compressed manual page and changelog (the HTML manual
# on Windows) as well as the program, so a build of the program alone, as in
# the README's Quick start, is ready to install (on Windows, where groff
# makes the HTML manual, when there is groff).
if(NOT WIN32 OR TLF2POS_GROFF)
  add_dependencies(tlf2pos tlf2pos_doc)
endif()

# The CPU under Debian's name (packages) and under the archive's, which
# keeps the kernel's x86_64 and says arm64 as most downloads do.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  set(TLF2POS_DEBIAN_CPU arm64)
  set(TLF2POS_ARCHIVE_CPU arm64)
elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(TLF2POS_DEBIAN_CPU amd64)
  set(TLF2POS_ARCHIVE_CPU x86_64)
else()
  set(TLF2POS_DEBIAN_CPU ${CMAKE_SYSTEM_PROCESSOR})
  set(TLF2POS_ARCHIVE_CPU ${CMAKE_SYSTEM_PROCESSOR})
endif()

if(NOT WIN32 AND TLF2POS_FULLY_STATIC)
  set(TLF2POS_ARCHIVE_FILE ${CMAKE_BINARY_DIR}/tlf2pos-${PROJECT_VERSION}-linux-${TLF2POS_ARCHIVE_CPU}.tar.gz)
  add_custom_command(
    OUTPUT ${TLF2POS_ARCHIVE_FILE}
    COMMAND ${CMAKE_COMMAND} -DTLF2POS_SOURCE_DIR=${CMAKE_SOURCE_DIR}
            -DTLF2POS_PROGRAM=$<TARGET_FILE:tlf2pos> -DTLF2POS_STRIP=${CMAKE_STRIP}
            -DTLF2POS_ARCHIVE=${TLF2POS_ARCHIVE_FILE}
            -P ${CMAKE_SOURCE_DIR}/cmake/linux_archive.cmake
    DEPENDS tlf2pos cmake/linux_archive.cmake cmake/source_date_epoch.cmake
            cmake/readme.cmake doc/README.archive doc/tlf2pos.1 LICENSE
            examples/tulo005.tlf scripts/tlf2pos-each doc/tlf2pos-each.1
    VERBATIM)
  add_custom_target(tlf2pos_archive DEPENDS ${TLF2POS_ARCHIVE_FILE})
endif()

set(CPACK_PACKAGE_NAME tlf2pos)
set(CPACK_PACKAGE_VENDOR "tlf2pos developers")
# Whoever publishes the packages sets their address without editing a file:
# cmake -DTLF2POS_MAINTAINER="Name <address>", or TLF2POS_MAINTAINER in
# scripts/release.sh's environment.
set(TLF2POS_MAINTAINER "tlf2pos developers <tlf2pos@example.org>" CACHE STRING
    "The Debian package's Maintainer field: Name <address>")
set(CPACK_PACKAGE_CONTACT "${TLF2POS_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert TULO record files into small binary POS files")
set(CPACK_PACKAGE_DESCRIPTION
    "tlf2pos reads one text file in the TULO format (a header line giving the
record count and the prefix length, then record lines of numbers) and
writes one small binary POS file per branch pair into the current
directory: a length byte, the record line's prefix values and the branch
value, each reduced to a byte, stored with the DOS line-end convention.
It has no options; the exit status is 1 after a complete conversion and
0 otherwise. See the tlf2pos(1) manual page.
.
The companion command tlf2pos-each converts many TULO files, each into a
whole folder of its own, with the usual exit status (0 when all converted)
and one line naming each input that failed, for xargs, GNU parallel or
Slurm. See the tlf2pos-each(1) manual page.")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/cpack_options.cmake)
set(CPACK_TLF2POS_SOURCE_DIR ${CMAKE_SOURCE_DIR})
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/reproducible_zip.cmake)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_INSTALL_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/deb_extras.cmake)
endif()
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps works out Depends; CPack finds the programs to give it with
# file. Without the tools, Depends is libc6 at the newest symbol version the
# program uses (cmake/cpack_options.cmake): the C++ runtime is linked in. A
# cross build's program is fully static and depends on nothing.
find_program(TLF2POS_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(TLF2POS_FILE file)
if(TLF2POS_DPKG_SHLIBDEPS AND TLF2POS_FILE AND NOT CMAKE_CROSSCOMPILING)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
# A Linux cross build packages for its target CPU, under Debian's name for
# it. Its program is linked statically (cmake/linux-gnu-cross.cmake), so it
# depends on no other package.
if(CMAKE_CROSSCOMPILING AND NOT WIN32)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${TLF2POS_DEBIAN_CPU})
endif()
set(CPACK_TLF2POS_STATIC ${TLF2POS_FULLY_STATIC})
set(CPACK_TLF2POS_OBJDUMP ${CMAKE_OBJDUMP})
set(CPACK_TLF2POS_PROGRAM ${CMAKE_BINARY_DIR}/tlf2pos)
include(CPack)
