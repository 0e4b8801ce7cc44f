# GoogleTest compiled for the target of a cross build (the host's library
# cannot link into it), from the sources Debian ships in the googletest
# package. Gives the targets gtest and gtest_main, also as GTest::gtest and
# GTest::gtest_main.
set(TLF2POS_GTEST_SOURCE /usr/src/googletest CACHE PATH
    "GoogleTest sources to compile for the cross build's target")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${TLF2POS_GTEST_SOURCE} googletest EXCLUDE_FROM_ALL)
# Third-party code: its warnings are not ours to fix.
target_compile_options(gtest PRIVATE -w)
target_compile_options(gtest_main PRIVATE -w)
