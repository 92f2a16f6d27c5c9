# The Debian package, made by CPack from the install rules (`make package`).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR Ferrowen)
set(CPACK_PACKAGE_CONTACT "Ferrowen <support@ferrowen.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "clipboard history with a search panel, pinboards and text expansion")
set(CPACK_PACKAGE_DESCRIPTION
    "Corvane records every text, link, image, file reference and colour you
copy in a local history. A hot key brings up a panel to search, filter and
pick an item, which is pasted into the application you came from. Pinboards
keep named collections, snippet triggers and emoji names expand as you type,
and AI assistants can search the history through the Model Context
Protocol. Everything stays on the computer.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://ferrowen.com/corvane")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CORVANE_BUILD_NUMBER})
# Library dependencies come from the executable's shared libraries; the QML modules and the
# image plugins are loaded at run time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml6-module-qtqml, qml6-module-qtqml-models, qml6-module-qtqml-workerscript, qml6-module-qtquick, qml6-module-qtquick-window, qml6-module-qtquick-layouts, qml6-module-qtquick-templates, qml6-module-qtquick-controls, qt6-image-formats-plugins, libqt6svg6")
set(CPACK_STRIP_FILES ON)
include(CPack)
