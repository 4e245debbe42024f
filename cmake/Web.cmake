# The page: the program linked against the GL 1.1 layer over WebGL (src/webgl), its WebAssembly
# inside its JavaScript, and both inside one HTML file with the keys and mouse table of the README
# (scripts/web-page.py): build-web/scalar-field-viewer.html.

enable_language(C)

# freeglut's bitmap fonts, from Debian's source package (scripts/web-deps.sh); only Times Roman 10
# is linked.
set(VIEWER_FONT_DATA ${VIEWER_WEB_PREFIX}/share/freeglut/fg_font_data.c)
add_library(webgl STATIC
  src/webgl/gl.cpp
  src/webgl/glu.cpp
  src/webgl/glut.cpp
  ${VIEWER_FONT_DATA})
target_include_directories(webgl PRIVATE src src/webgl)
target_link_options(webgl INTERFACE
  "SHELL:--js-library ${PROJECT_SOURCE_DIR}/src/webgl/glut_events.js")

target_link_libraries(scalar-field-viewer PRIVATE webgl)
# The browser only; the WebAssembly inside the script, so that a page opened from disk needs to
# fetch nothing; the program's GLUT entry points, its main and the file system for the page's
# script.
target_link_options(scalar-field-viewer PRIVATE
  -sENVIRONMENT=web
  -sSINGLE_FILE=1
  -sMIN_WEBGL_VERSION=1
  -sMAX_WEBGL_VERSION=1
  -sEXPORTED_FUNCTIONS=_main,_webglutDisplay,_webglutKeyboard,_webglutSpecial,_webglutMouse,_webglutMotion,_webglutTimer
  -sEXPORTED_RUNTIME_METHODS=FS,callMain)
set_property(TARGET scalar-field-viewer APPEND PROPERTY LINK_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/webgl/glut_events.js)

set(VIEWER_PAGE ${CMAKE_BINARY_DIR}/scalar-field-viewer.html)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_custom_command(OUTPUT ${VIEWER_PAGE}
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/scripts/web-page.py
          --template ${PROJECT_SOURCE_DIR}/src/web/page.html
          --page-script ${PROJECT_SOURCE_DIR}/src/web/page.js
          --program $<TARGET_FILE:scalar-field-viewer>
          --readme ${PROJECT_SOURCE_DIR}/README.md
          --title-source ${PROJECT_SOURCE_DIR}/src/app/window.cpp
          --font-data ${VIEWER_FONT_DATA}
          --version ${PROJECT_VERSION}
          --output ${VIEWER_PAGE}
  DEPENDS scalar-field-viewer ${PROJECT_SOURCE_DIR}/scripts/web-page.py
          ${PROJECT_SOURCE_DIR}/src/web/page.html ${PROJECT_SOURCE_DIR}/src/web/page.js
          ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/src/app/window.cpp
  COMMENT "The page scalar-field-viewer.html"
  VERBATIM)
add_custom_target(web-page ALL DEPENDS ${VIEWER_PAGE})
