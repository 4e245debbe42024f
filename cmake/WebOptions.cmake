# Options of every target of the browser build (cmake/emscripten.cmake is the toolchain).

# freeglut's header, which emscripten lacks, from the GL 1.1 layer's folder.
include_directories(BEFORE ${PROJECT_SOURCE_DIR}/src/webgl/include)

# The finest grid takes some 64 MiB of arrays: the memory grows as they are made. The stack is
# given the size emscripten 3.1.6 gives it by default, which later releases cut to 64 KiB (the
# mesh encoder alone keeps a 64 KiB buffer on it); the setting was renamed in 3.1.25.
add_link_options(-sALLOW_MEMORY_GROWTH=1)
if(EMSCRIPTEN_VERSION VERSION_LESS 3.1.25)
  add_link_options(-sTOTAL_STACK=5242880)
else()
  add_link_options(-sSTACK_SIZE=5242880)
endif()
