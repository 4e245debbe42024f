# Installation where a Linux desktop user expects it, and a Debian package of the same files:
# the package is what `cmake --install` puts under /usr.
include(GNUInstallDirs)

# The newest changelog entry is the release being built: its version must be the project's, and
# its date dates the manual page and the AppStream release, so that a rebuild gives the same files.
find_program(DPKG_PARSECHANGELOG dpkg-parsechangelog REQUIRED)
set(VIEWER_CHANGELOG ${PROJECT_SOURCE_DIR}/packaging/changelog)
foreach(field Version Timestamp)
  execute_process(COMMAND ${DPKG_PARSECHANGELOG} -l ${VIEWER_CHANGELOG} -S ${field}
    OUTPUT_VARIABLE changelog_${field} OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VIEWER_CHANGELOG})
if(NOT changelog_Version STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog's newest entry is ${changelog_Version}, the project "
                      "is ${PROJECT_VERSION}: add an entry for this version")
endif()
set(VIEWER_RELEASE_EPOCH ${changelog_Timestamp})
execute_process(COMMAND date -u -d @${VIEWER_RELEASE_EPOCH} +%Y-%m-%d
  OUTPUT_VARIABLE VIEWER_RELEASE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

# The manual page is the --help and --version output, so the two cannot drift apart.
find_program(HELP2MAN help2man REQUIRED)
set(manual ${CMAKE_BINARY_DIR}/scalar-field-viewer.1)
add_custom_command(OUTPUT ${manual}.gz
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VIEWER_RELEASE_EPOCH}
          ${HELP2MAN} --no-info --section=1
          "--name=interactive viewer of the isosurface of a 3-D scalar field"
          --include=${PROJECT_SOURCE_DIR}/packaging/scalar-field-viewer.h2m
          --output=${manual} $<TARGET_FILE:scalar-field-viewer>
  COMMAND gzip -9nf ${manual}
  DEPENDS scalar-field-viewer ${PROJECT_SOURCE_DIR}/packaging/scalar-field-viewer.h2m
  COMMENT "Manual page from --help and --version"
  VERBATIM)

# Debian's changelog, compressed without name or time stamp.
set(changelog ${CMAKE_BINARY_DIR}/changelog)
add_custom_command(OUTPUT ${changelog}.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${VIEWER_CHANGELOG} ${changelog}
  COMMAND gzip -9nf ${changelog}
  DEPENDS ${VIEWER_CHANGELOG}
  VERBATIM)

# AppStream's component id is a reversed domain name; the project's is that of its contact
# address below.
set(VIEWER_APPSTREAM_ID invalid.scalar_field_viewer.viewer)
set(metainfo ${CMAKE_BINARY_DIR}/${VIEWER_APPSTREAM_ID}.metainfo.xml)
configure_file(packaging/scalar-field-viewer.metainfo.xml.in ${metainfo} @ONLY)

add_custom_target(desktop-integration ALL
  DEPENDS ${manual}.gz ${changelog}.gz ${VIEWER_ICON_FILES})

install(TARGETS scalar-field-viewer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (the package's) also drops the compilers' version strings, as Debian's own
# packages do; strip keeps them.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/scalar-field-viewer\"
    COMMAND_ERROR_IS_FATAL ANY)
endif()")
install(FILES ${manual}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/scalar-field-viewer.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size IN LISTS VIEWER_ICON_SIZES)
  install(FILES ${CMAKE_BINARY_DIR}/icons/${size}x${size}/scalar-field-viewer.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES README.md packaging/copyright ${changelog}.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The README shows the first frame from docs/ and links the documents there.
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs OPTIONAL
        FILES_MATCHING PATTERN "*.png" PATTERN "*.md" PATTERN "*.tmp.png" EXCLUDE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME scalar-field-viewer)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT
    "Scalar field viewer developers <developers@scalar-field-viewer.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive viewer of the isosurface of a 3-D scalar field")
# Lines of the extended description, each under 80 characters as Debian's tools show them.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Shows the surface where the sum of up to nine soft objects equals a threshold,
extracted with marching cubes on a regular grid and drawn with OpenGL and
freeglut, lit and filled or as a wireframe. The camera flies freely; balls
are selected, moved, resized and switched on and off from the keyboard, and
the threshold and the cell size of the grid change while it runs.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# Depends from the libraries the binary really links: freeglut, GLU, libGL, Xlib, the C++ runtime.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
