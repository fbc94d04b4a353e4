# The Debian package, made by `cpack -G DEB` in a build tree (scripts/package).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lexhaul)
set(CPACK_PACKAGE_VENDOR "The Lexhaul developers")
# The project has no domain of its own, and the application's id points into a host's domain
# that is not the project's to receive mail at. The address is the project's name under
# .example, which no one can ever register (RFC 2606), so no mail meant for the maintainers
# reaches a stranger; it changes here and in the changelog's next entry when that changes.
set(LEXHAUL_MAINTAINER "The Lexhaul developers <maintainers@lexhaul.example>")
set(CPACK_PACKAGE_CONTACT "${LEXHAUL_MAINTAINER}")
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
# Qt's own texts (a box's buttons, a text box's menu) come from Qt's translations. The keyword
# history needs Qt SQL's SQLite driver, another plugin no library names.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, libqt6sql6-sqlite")
# Hot-list pages and the window's captions are Chinese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")

include(CPack)
