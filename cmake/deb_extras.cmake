# Run by cpack while it stages a package (CPACK_INSTALL_SCRIPTS): files that
# belong in the Debian package only, not in `cmake --install`. file(INSTALL)
# puts them under DESTDIR, which cpack sets to its staging folder.
# The lintian override is about the C library's fortified calls, which only
# a program that links the C library as a shared one can import.
if(NOT CPACK_GENERATOR STREQUAL "DEB" OR CPACK_TLF2POS_STATIC)
  return()
endif()
file(INSTALL ${CPACK_TLF2POS_SOURCE_DIR}/cmake/tlf2pos.lintian-overrides
     DESTINATION ${CPACK_PACKAGING_INSTALL_PREFIX}/share/lintian/overrides
     RENAME tlf2pos
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
