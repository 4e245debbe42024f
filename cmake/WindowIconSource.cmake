# Writes OUTPUT, the C++ source of kWindowIcons: the pixels of ICON_DIR/<size>x<size>/
# scalar-field-viewer.png for each of SIZES, read through ImageMagick's CONVERT.
# Run as: cmake -DCONVERT=... -DSIZES="48;128" -DICON_DIR=... -DOUTPUT=... -P WindowIconSource.cmake
set(arrays "")
set(entries "")
list(LENGTH SIZES count)
get_filename_component(output_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${output_dir})
set(row "")  # 16 bytes, a line of the array (CMake's expressions have no repeat count)
foreach(i RANGE 1 16)
  string(APPEND row "0x..,")
endforeach()
foreach(size IN LISTS SIZES)
  set(raw ${OUTPUT}.${size}.rgb)
  execute_process(
    COMMAND ${CONVERT} ${ICON_DIR}/${size}x${size}/scalar-field-viewer.png -depth 8 rgb:${raw}
    COMMAND_ERROR_IS_FATAL ANY)
  file(SIZE ${raw} bytes)
  math(EXPR expected "${size} * ${size} * 3")
  if(NOT bytes EQUAL expected)
    message(FATAL_ERROR "${raw}: ${bytes} bytes, expected ${expected}")
  endif()
  file(READ ${raw} hex HEX)
  file(REMOVE ${raw})
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(REGEX REPLACE "(${row})" "\\1\n" hex "${hex}")
  string(APPEND arrays "const unsigned char kPixels${size}[${expected}] = {\n${hex}};\n\n")
  string(APPEND entries "    {${size}, kPixels${size}},\n")
endforeach()

file(WRITE ${OUTPUT}.tmp "// Made by cmake/WindowIconSource.cmake from the program's icons.

#include \"app/window_icon.h\"

namespace {

${arrays}}  // namespace

static_assert(kWindowIconCount == ${count}, \"one entry for each size the build makes\");

const WindowIcon kWindowIcons[kWindowIconCount] = {
${entries}};
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
