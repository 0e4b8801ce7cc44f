# Included by the packaging scripts that run at package time
# (cpack_options.cmake, linux_archive.cmake).

# tlf2pos_source_date_epoch(SOURCE_DIR): archive members get the time that
# the environment variable SOURCE_DATE_EPOCH holds. Unless it is set, it is
# set here to the time of SOURCE_DIR's last commit, so that one commit
# always gives the same bytes.
function(tlf2pos_source_date_epoch source_dir)
  if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    return()
  endif()
  find_program(TLF2POS_GIT git)
  if(TLF2POS_GIT)
    # safe.directory: root may package a checkout that belongs to a user.
    execute_process(
      COMMAND ${TLF2POS_GIT} -c safe.directory=* -C ${source_dir}
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
endfunction()
