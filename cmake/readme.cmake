# tlf2pos_readme(TEMPLATE TOP TITLE VARIABLE): sets VARIABLE to the README
# of a release file, TEMPLATE with @TOP@ replaced by TOP (the release file's
# name without its extension, which is also its folder's in the Linux
# archive), @TITLE@ by TITLE and @TITLE_UNDERLINE@ by as many "=". Used by
# cmake/packaging.cmake for the zip and by cmake/linux_archive.cmake for
# the Linux archives.
function(tlf2pos_readme template top title variable)
  file(READ ${template} text)
  string(REGEX REPLACE "." "=" underline "${title}")
  string(REPLACE "@TOP@" "${top}" text "${text}")
  string(REPLACE "@TITLE@" "${title}" text "${text}")
  string(REPLACE "@TITLE_UNDERLINE@" "${underline}" text "${text}")
  if(text MATCHES "@[A-Z_]+@")
    message(FATAL_ERROR "${template}: unknown placeholder ${CMAKE_MATCH_0}")
  endif()
  set(${variable} "${text}" PARENT_SCOPE)
endfunction()
