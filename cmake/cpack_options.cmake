# Read by cpack before it makes each package (CPACK_PROJECT_CONFIG_FILE).

# CPack gives archive members the time SOURCE_DATE_EPOCH holds.
include(${CPACK_TLF2POS_SOURCE_DIR}/cmake/source_date_epoch.cmake)
tlf2pos_source_date_epoch(${CPACK_TLF2POS_SOURCE_DIR})

# Without dpkg-shlibdeps, Depends names what the program needs: it links its
# C++ runtime statically, so only the C library, at the newest symbol version
# the program refers to. A fully static program (a cross build) needs none.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_DEBIAN_PACKAGE_SHLIBDEPS
   AND NOT CPACK_DEBIAN_PACKAGE_DEPENDS AND NOT CPACK_TLF2POS_STATIC)
  execute_process(COMMAND ${CPACK_TLF2POS_OBJDUMP} -T ${CPACK_TLF2POS_PROGRAM}
                  OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${CPACK_TLF2POS_OBJDUMP} cannot read "
            "${CPACK_TLF2POS_PROGRAM}")
  endif()
  string(REGEX MATCHALL "GLIBC_[0-9.]+" versions "${symbols}")
  set(newest 0)
  foreach(version IN LISTS versions)
    string(SUBSTRING "${version}" 6 -1 version)
    if(version VERSION_GREATER newest)
      set(newest ${version})
    endif()
  endforeach()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= ${newest})")
endif()
