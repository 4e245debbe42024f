# The Windows download: a zip of the program, the README, the licence and a short text on how to
# run it, in the build folder (target windows-zip).
set(VIEWER_ZIP_NAME scalar-field-viewer-${PROJECT_VERSION}-windows-x86_64)
set(VIEWER_ZIP ${CMAKE_BINARY_DIR}/${VIEWER_ZIP_NAME}.zip)
set(zip_dir ${CMAKE_BINARY_DIR}/zip/${VIEWER_ZIP_NAME})
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/zip)
add_custom_command(OUTPUT ${VIEWER_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_dir}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_dir}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:scalar-field-viewer>
          ${PROJECT_SOURCE_DIR}/packaging/how-to-run.txt ${zip_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/README.md ${zip_dir}/README.md
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${zip_dir}/LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -E tar cf ${VIEWER_ZIP}.tmp --format=zip ${VIEWER_ZIP_NAME}
  COMMAND ${CMAKE_COMMAND} -E rename ${VIEWER_ZIP}.tmp ${VIEWER_ZIP}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/zip
  DEPENDS scalar-field-viewer ${PROJECT_SOURCE_DIR}/packaging/how-to-run.txt
          ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  COMMENT "Windows zip ${VIEWER_ZIP_NAME}.zip"
  VERBATIM)
add_custom_target(windows-zip DEPENDS ${VIEWER_ZIP})

# The Windows installer, made by NSIS from packaging/scalar-field-viewer.nsi with the project's
# version and the files to install (target windows-installer).
find_program(MAKENSIS makensis REQUIRED)
set(VIEWER_INSTALLER ${CMAKE_BINARY_DIR}/scalar-field-viewer-${PROJECT_VERSION}-setup.exe)
set(nsis_script ${PROJECT_SOURCE_DIR}/packaging/scalar-field-viewer.nsi)
add_custom_command(OUTPUT ${VIEWER_INSTALLER}
  COMMAND ${MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DEXE=$<TARGET_FILE:scalar-field-viewer>
          -DICON=${VIEWER_ICO} -DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE
          -DREADME=${PROJECT_SOURCE_DIR}/README.md
          -DHOWTO=${PROJECT_SOURCE_DIR}/packaging/how-to-run.txt
          -DOUTFILE=${VIEWER_INSTALLER} ${nsis_script}
  DEPENDS scalar-field-viewer ${nsis_script} ${VIEWER_ICO} ${PROJECT_SOURCE_DIR}/LICENSE
          ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/how-to-run.txt
  COMMENT "Windows installer scalar-field-viewer-${PROJECT_VERSION}-setup.exe"
  VERBATIM)
add_custom_target(windows-installer DEPENDS ${VIEWER_INSTALLER})
