# Read by cpack before it makes each package (CPACK_PROJECT_CONFIG_FILE).

# CPack gives archive members the time SOURCE_DATE_EPOCH holds. Unless it is
# set, take the time of the source tree's last commit, so that one commit
# always gives the same bytes.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  find_program(TLF2POS_GIT git)
  if(TLF2POS_GIT)
    # safe.directory: root may package a checkout that belongs to a user.
    execute_process(
      COMMAND ${TLF2POS_GIT} -c safe.directory=* -C ${CPACK_TLF2POS_SOURCE_DIR}
              log -1 --format=%ct
      OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
      ERROR_QUIET RESULT_VARIABLE status)
  endif()
  if(TLF2POS_GIT AND status EQUAL 0 AND epoch MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
  else()
    message(WARNING "No SOURCE_DATE_EPOCH and no git history: the package "
            "records the current time and is not reproducible")
  endif()
endif()

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
