# packaging.cmake - what `cmake --install` puts in place, and the Debian
# package CPack makes of it (`cpack -G DEB` in the build tree).
#
# Only the program and its data install: the executable, its manual page,
# the menu entry with its icon, and the README. The static libraries, the
# tests and the benchmarks have no install rules; GoogleTest and Google
# Benchmark come from the system through find_package, so none of their
# install rules join in either.
include(GNUInstallDirs)

# A tree without the window program has nothing to install.
if(NOT TARGET fluids)
  return()
endif()

# The program links only system libraries, so it needs no run path once
# installed (CMake drops the build tree's when it installs).
install(TARGETS fluids RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32)
  # Section 6, games and demos: a toy for experimenting with a fluid.
  install(FILES ${PROJECT_SOURCE_DIR}/docs/fluids.6 DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/fluids.desktop
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  # The icon is a crop of the program's own picture (docs/make_screenshot.sh).
  install(FILES ${PROJECT_SOURCE_DIR}/docs/fluids-128.png
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/128x128/apps RENAME fluids.png)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: fluids_<version>_<arch>.deb, its dependencies computed
# by dpkg-shlibdeps from the libraries the executable links.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fluids)
set(CPACK_PACKAGE_VENDOR "fluids maintainers")
set(CPACK_PACKAGE_CONTACT "fluids maintainers <maintainers@users.noreply.c-seed-49f9a9b1.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive two-dimensional fluid simulator")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "fluids opens one window in which an incompressible fluid on a grid of\n"
  "128 by 128 cells is simulated by the Stable Fluids method and drawn with\n"
  "OpenGL. The mouse injects density, stirs the fluid and paints obstacle\n"
  "cells; single keys switch the drawn layers, pause and step the\n"
  "simulation, and print the fields to standard output.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)

# On Windows the installer instead (cpack -G NSIS, scripts/build_windows.sh):
# fluids-<version>-win64.exe installs the program and the README under
# Program Files\fluids, a Start-menu entry and an uninstaller. makensis
# makes 32-bit installers unless told otherwise; this one is 64-bit, like
# the program.
if(WIN32)
  set(CPACK_GENERATOR NSIS)
  set(CPACK_PACKAGE_INSTALL_DIRECTORY fluids)
  set(CPACK_PACKAGE_EXECUTABLES fluids fluids)
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_NSIS_DEFINES "Target amd64-unicode")
  set(CPACK_NSIS_DISPLAY_NAME fluids)
  set(CPACK_NSIS_PACKAGE_NAME fluids)
endif()
include(CPack)
