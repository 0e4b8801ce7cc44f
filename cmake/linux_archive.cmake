# Makes the archive for any Linux of one CPU, run as a script by the build's
# tlf2pos_archive target (cmake/packaging.cmake):
#   cmake -DTLF2POS_SOURCE_DIR=... -DTLF2POS_PROGRAM=... -DTLF2POS_STRIP=...
#         -DTLF2POS_ARCHIVE=.../tlf2pos-VERSION-linux-CPU.tar.gz -P linux_archive.cmake
# The archive holds one folder named like it, with the stripped program, its
# companion tlf2pos-each, their manual pages, a README for whoever downloaded it (doc/README.archive),
# LICENSE and the example. Its members are in name
# order, owned by 0:0 with no user names, dated SOURCE_DATE_EPOCH (the last
# commit's time unless set), and gzip records no name or time: one commit
# gives the same bytes wherever it is built.
cmake_minimum_required(VERSION 3.20)
foreach(variable TLF2POS_SOURCE_DIR TLF2POS_PROGRAM TLF2POS_STRIP TLF2POS_ARCHIVE)
  if("${${variable}}" STREQUAL "")
    message(FATAL_ERROR "linux_archive.cmake needs -D${variable}=...")
  endif()
endforeach()
include(${TLF2POS_SOURCE_DIR}/cmake/source_date_epoch.cmake)
include(${TLF2POS_SOURCE_DIR}/cmake/readme.cmake)
tlf2pos_source_date_epoch(${TLF2POS_SOURCE_DIR})

get_filename_component(folder ${TLF2POS_ARCHIVE} DIRECTORY)
get_filename_component(top ${TLF2POS_ARCHIVE} NAME)
string(REGEX REPLACE "\\.tar\\.gz$" "" top "${top}")
set(staging ${folder}/linux-archive-staging)
file(REMOVE_RECURSE ${staging})
file(MAKE_DIRECTORY ${staging}/${top})

execute_process(COMMAND ${TLF2POS_STRIP} -o ${staging}/${top}/tlf2pos
                        ${TLF2POS_PROGRAM}
                COMMAND_ERROR_IS_FATAL ANY)
foreach(source doc/tlf2pos.1 doc/tlf2pos-each.1 scripts/tlf2pos-each LICENSE
       examples/tulo005.tlf)
  file(COPY ${TLF2POS_SOURCE_DIR}/${source} DESTINATION ${staging}/${top})
endforeach()
# tlf2pos-VERSION-linux-CPU names the version and the CPU.
if(NOT top MATCHES "^tlf2pos-(.+)-linux-(.+)$")
  message(FATAL_ERROR "${top}.tar.gz is not named tlf2pos-VERSION-linux-CPU.tar.gz")
endif()
tlf2pos_readme(${TLF2POS_SOURCE_DIR}/doc/README.archive ${top}
               "tlf2pos ${CMAKE_MATCH_1} for Linux on ${CMAKE_MATCH_2}" readme)
file(WRITE ${staging}/${top}/README "${readme}")
# Modes as a package would install them, whatever the umask.
set(readable OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(runnable ${readable} OWNER_EXECUTE GROUP_EXECUTE WORLD_EXECUTE)
file(GLOB documents ${staging}/${top}/*)
list(REMOVE_ITEM documents ${staging}/${top}/tlf2pos ${staging}/${top}/tlf2pos-each)
file(CHMOD ${documents} PERMISSIONS ${readable})
file(CHMOD ${staging}/${top} ${staging}/${top}/tlf2pos
     ${staging}/${top}/tlf2pos-each PERMISSIONS ${runnable})

set(dated)
if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(dated --mtime=@$ENV{SOURCE_DATE_EPOCH})
endif()
file(REMOVE ${TLF2POS_ARCHIVE})
execute_process(
  COMMAND tar --sort=name ${dated} --owner=0 --group=0 --numeric-owner
              --format=gnu -cf - ${top}
  COMMAND gzip -9n
  WORKING_DIRECTORY ${staging}
  OUTPUT_FILE ${TLF2POS_ARCHIVE}
  RESULTS_VARIABLE statuses)
if(NOT statuses MATCHES "^0;0$")
  file(REMOVE ${TLF2POS_ARCHIVE})
  message(FATAL_ERROR "tar or gzip failed (${statuses}) making ${TLF2POS_ARCHIVE}")
endif()
file(REMOVE_RECURSE ${staging})
