# Run by cpack after it has made a zip (CPACK_POST_BUILD_SCRIPTS). CPack's
# zip lists its members in the order the file system returns them, records
# the owner's user and group ids, and local times. This makes it again from
# the same staged files with zip -X (no owners, no extra times), the members
# in sorted order, each dated SOURCE_DATE_EPOCH (set by cpack_options.cmake)
# in UTC: the same commit gives the same zip on any machine.
if(NOT CPACK_PACKAGE_FILES MATCHES "\\.zip$")
  return()
endif()
find_program(TLF2POS_ZIP zip)
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "" OR NOT TLF2POS_ZIP)
  message(WARNING "Without SOURCE_DATE_EPOCH and zip, the zip is CPack's own "
          "and not reproducible")
  return()
endif()
set(staging ${CPACK_TEMPORARY_DIRECTORY})
file(GLOB_RECURSE members LIST_DIRECTORIES false RELATIVE ${staging} ${staging}/*)
list(SORT members)
foreach(member IN LISTS members)
  execute_process(COMMAND touch -d @$ENV{SOURCE_DATE_EPOCH} ${member}
                  WORKING_DIRECTORY ${staging} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  file(REMOVE ${package})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC0
                          ${TLF2POS_ZIP} -q -X -D -9 ${package} ${members}
                  WORKING_DIRECTORY ${staging} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
