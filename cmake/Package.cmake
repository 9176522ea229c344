# The Debian package: `cpack -G DEB` in a build folder (scripts/package)
# gives vipimport_VERSION_ARCH.deb with what `cmake --install` installs.
set(CPACK_PACKAGE_NAME vipimport)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "vipimport")
set(CPACK_PACKAGE_CONTACT "vipimport maintainers <vipimport@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "import member categories and members from workbooks into a membership store")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "vipimport loads a venue's member categories and member records from .xls and\n"
       ".xlsx workbooks into the store database of a membership back office (SQLite,\n"
       "or SQL Server and PostgreSQL through ODBC). It comes as a window (vipimport)\n"
       "and as a command line (vipimport-cli, which also creates empty stores).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries (Qt 6 Widgets, SQLite, unixODBC, libzip, expat, ...)
# come from dpkg-shlibdeps; what the programs load at run time is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(VIPIMPORT_WINDOW)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tdsodbc, odbc-postgresql, fonts-noto-cjk")
else()
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tdsodbc, odbc-postgresql")
endif()
set(CPACK_GENERATOR DEB)
include(CPack)
