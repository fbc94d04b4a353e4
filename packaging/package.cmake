# The Debian package, made by `cpack -G DEB` in a build tree (scripts/package).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lexhaul)
set(CPACK_PACKAGE_VENDOR "The Lexhaul developers")
set(CPACK_PACKAGE_CONTACT "The Lexhaul developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "collects the link texts of web pages into a keyword list")
set(CPACK_PACKAGE_DESCRIPTION [[
Lexhaul loads the addresses of a list one after another in a browser engine
that stays out of view, takes the visible text of every link on each page into
a keyword list, and appends the list to a text file. Each user's two files are
kept in ~/Lexhaul.]])
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries come from dpkg-shlibdeps. Qt's platform plugins are loaded at run time, so
# no library names them, and Qt itself only recommends them; without them no window opens.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Hot-list pages and the window's captions are Chinese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")

include(CPack)
