# Build for the browser with Debian's emscripten: WebAssembly and JavaScript, the unit tests run
# under node. Debian's own platform file does the work; this adds what the machine needs around
# it.
find_program(VIEWER_EMCC emcc REQUIRED)
get_filename_component(VIEWER_EMCC_REAL "${VIEWER_EMCC}" REALPATH)
get_filename_component(VIEWER_EMSCRIPTEN_ROOT "${VIEWER_EMCC_REAL}" DIRECTORY)
if(NOT EXISTS "${VIEWER_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake")
  set(VIEWER_EMSCRIPTEN_ROOT /usr/share/emscripten)
endif()

# emscripten runs parts of itself under node and needs Debian's node modules (acorn); a node
# from elsewhere does not look for them there. The launchers give every compile and link the
# path, whatever the environment the build is started from.
set(CMAKE_C_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_C_COMPILER_LAUNCHER})
set(CMAKE_C_LINKER_LAUNCHER ${CMAKE_C_COMPILER_LAUNCHER})
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_C_COMPILER_LAUNCHER})
set(ENV{NODE_PATH} /usr/share/nodejs)

# CTest runs the test programs, and gtest_discover_tests lists their cases, under node. A node
# with fetch (18 and later) would fetch the .wasm beside the .js as a URL, which fails for a file
# path under emscripten 3.1.6; without fetch it reads the file.
find_program(VIEWER_NODE NAMES node nodejs REQUIRED)
execute_process(COMMAND ${VIEWER_NODE} --no-experimental-fetch -e 0
  RESULT_VARIABLE VIEWER_NODE_NO_FETCH OUTPUT_QUIET ERROR_QUIET)
if(VIEWER_NODE_NO_FETCH EQUAL 0)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VIEWER_NODE} --no-experimental-fetch)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VIEWER_NODE})
endif()

include("${VIEWER_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake")

# zlib and libpng built with emscripten from Debian's sources (scripts/web-deps.sh) sit in a
# prefix in the build folder.
set(VIEWER_WEB_PREFIX "${CMAKE_BINARY_DIR}/deps/prefix" CACHE PATH
    "Prefix of the WebAssembly builds of zlib and libpng")
list(APPEND CMAKE_FIND_ROOT_PATH ${VIEWER_WEB_PREFIX})
