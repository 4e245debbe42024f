# Cross build for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread model, whose C++
# threads and pthreads come from winpthreads); the tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# The static libraries built from Debian's sources (scripts/windows-deps.sh) sit in a prefix in
# the build folder; headers, libraries and packages come from there and from MinGW's own.
set(VIEWER_WINDOWS_PREFIX "${CMAKE_BINARY_DIR}/deps/prefix" CACHE PATH
    "Prefix of the static MinGW builds of freeglut, zlib and libpng")
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET} ${VIEWER_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and winpthreads linked in: the program needs no DLL but the system's.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# CTest runs the test binaries, and gtest_discover_tests lists their cases, through Wine: its
# 64-bit loader, a prefix of the build's own, no debugging output, and neither Mono nor Gecko,
# so that Wine never offers to download them.
find_program(WINE64 wine64 PATHS /usr/lib/wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env WINEPREFIX=${CMAKE_BINARY_DIR}/wine
    WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= ${WINE64})
