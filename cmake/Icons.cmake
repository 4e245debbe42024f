# The program's icon, made from its own rendering: the square around the lit surface in the first
# frame (docs/first-frame.png), scaled to the sizes a desktop asks for. On X the window hands the
# smaller two to the window manager, compiled in from the same PNGs; on Windows the program
# carries them all in one .ico among its resources.
find_program(IMAGEMAGICK_CONVERT convert REQUIRED)

set(VIEWER_ICON_PICTURE ${PROJECT_SOURCE_DIR}/docs/first-frame.png)
set(VIEWER_ICON_CROP 168x168+210+222)  # the surface spans x 217..370, y 229..382 in that frame
if(WIN32)
  set(VIEWER_ICON_SIZES 16 32 48 256)
else()
  set(VIEWER_ICON_SIZES 48 128 256)
endif()
set(VIEWER_WINDOW_ICON_SIZES 48 128)  # as many as kWindowIconCount, smallest first

set(VIEWER_ICON_FILES "")
foreach(size IN LISTS VIEWER_ICON_SIZES)
  set(icon ${CMAKE_BINARY_DIR}/icons/${size}x${size}/scalar-field-viewer.png)
  # No time stamps in the PNG, so that the same picture gives the same file.
  add_custom_command(OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
    COMMAND ${IMAGEMAGICK_CONVERT} ${VIEWER_ICON_PICTURE} -crop ${VIEWER_ICON_CROP} +repage
            -resize ${size}x${size} -strip -define png:exclude-chunks=date,time ${icon}
    DEPENDS ${VIEWER_ICON_PICTURE}
    COMMENT "Icon ${size}x${size} from docs/first-frame.png"
    VERBATIM)
  list(APPEND VIEWER_ICON_FILES ${icon})
endforeach()

if(WIN32)
  # The icon and the version, as resources of the program.
  set(VIEWER_ICO ${CMAKE_BINARY_DIR}/icons/scalar-field-viewer.ico)
  add_custom_command(OUTPUT ${VIEWER_ICO}
    COMMAND ${IMAGEMAGICK_CONVERT} ${VIEWER_ICON_FILES} ${VIEWER_ICO}
    DEPENDS ${VIEWER_ICON_FILES}
    COMMENT "Icon scalar-field-viewer.ico"
    VERBATIM)
  set(VIEWER_WINDOW_ICON_SOURCE ${CMAKE_BINARY_DIR}/generated/scalar-field-viewer.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/scalar-field-viewer.rc.in
    ${VIEWER_WINDOW_ICON_SOURCE} @ONLY)
  set_source_files_properties(${VIEWER_WINDOW_ICON_SOURCE} PROPERTIES OBJECT_DEPENDS ${VIEWER_ICO})
  return()
endif()

set(VIEWER_WINDOW_ICON_SOURCE ${CMAKE_BINARY_DIR}/generated/window_icon_pixels.cpp)
set(window_icon_pngs "")
foreach(size IN LISTS VIEWER_WINDOW_ICON_SIZES)
  list(APPEND window_icon_pngs ${CMAKE_BINARY_DIR}/icons/${size}x${size}/scalar-field-viewer.png)
endforeach()
add_custom_command(OUTPUT ${VIEWER_WINDOW_ICON_SOURCE}
  COMMAND ${CMAKE_COMMAND} -DCONVERT=${IMAGEMAGICK_CONVERT} "-DSIZES=${VIEWER_WINDOW_ICON_SIZES}"
          -DICON_DIR=${CMAKE_BINARY_DIR}/icons -DOUTPUT=${VIEWER_WINDOW_ICON_SOURCE}
          -P ${PROJECT_SOURCE_DIR}/cmake/WindowIconSource.cmake
  DEPENDS ${window_icon_pngs} ${PROJECT_SOURCE_DIR}/cmake/WindowIconSource.cmake
  COMMENT "Window icon pixels"
  VERBATIM)
