# Installation where a Linux desktop user expects it, and a Debian package of the same.
include(GNUInstallDirs)

install(TARGETS scalar-field-viewer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/scalar-field-viewer.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The README shows the first frame from docs/.
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs OPTIONAL
        FILES_MATCHING PATTERN "*.png" PATTERN "*.tmp.png" EXCLUDE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME scalar-field-viewer)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT
    "Scalar field viewer developers <developers@scalar-field-viewer.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive viewer of the isosurface of a 3-D scalar field")
set(CPACK_PACKAGE_DESCRIPTION "Shows the surface where the sum of up to nine soft objects \
equals a threshold, extracted with marching cubes on a regular grid and drawn with OpenGL and \
freeglut. The camera flies freely; balls are selected, moved, resized and switched on and off \
from the keyboard.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# Depends from the libraries the binary really links: freeglut, GLU, libGL, Xlib, the C++ runtime.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
