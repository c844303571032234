# packaging.cmake - what `cmake --install` puts in place, and the Debian
# package CPack makes of it (`cpack -G DEB` in the build tree).
#
# Only the program and its data install: the executable, its manual page,
# the menu entry with its icon, the AppStream metadata, and the README,
# changelog and copyright. The static libraries, the tests and the
# benchmarks have no install rules; GoogleTest and Google Benchmark come from the system through find_package, so none of their
# install rules join in either.
include(GNUInstallDirs)

# A tree without the window program has nothing to install.
if(NOT TARGET fluids)
  return()
endif()

# The component id of the menu entry and the AppStream metadata: the
# reverse of the project's domain, as AppStream asks (hyphens become
# underscores). Both files in docs/ are named after it.
set(FLUIDS_APP_ID example.c_seed_49f9a9b1.fluids)

# Windows: the installer (below) puts the program, the README and the
# licence (with Windows' line ends, as Notepad and the installer's licence
# page show them) together at the top of its folder, as Windows programs
# are laid out; the rest of this file is the Linux install and its Debian
# package.
if(WIN32)
  set(licence_txt ${CMAKE_CURRENT_BINARY_DIR}/packaging/LICENSE.txt)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence_text)
  file(CONFIGURE OUTPUT ${licence_txt} CONTENT "${licence_text}" @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS fluids RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${licence_txt} DESTINATION .)
else()
  # The program links only system libraries, so it needs no run path once
  # installed (CMake drops the build tree's when it installs).
  install(TARGETS fluids RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Relocations are resolved at start-up and then made read-only, as Debian's
  # hardening asks.
  target_link_options(fluids PRIVATE LINKER:-z,relro LINKER:-z,now)
  # A stripped install (the package's) also drops the compiler's version
  # notes, which nothing at run time reads.
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/fluids\" COMMAND_ERROR_IS_FATAL ANY)
    endif()")

  set(FLUIDS_MAINTAINER "fluids maintainers <maintainers@users.noreply.c-seed-49f9a9b1.example>")

  # The manual page and the changelog compressed as Debian policy asks: gzip
  # at the highest level, without the file's name and time, so that the same
  # text gives the same bytes. The changelog of a package without a Debian
  # revision is read by Debian's tools in their own format, so CHANGELOG.md is
  # written in that form first. The copyright file in Debian's machine-readable
  # format carries the licence text of LICENSE.
  find_program(FLUIDS_GZIP gzip REQUIRED)
  set(doc_out ${CMAKE_CURRENT_BINARY_DIR}/packaging)
  add_custom_command(OUTPUT ${doc_out}/fluids.6.gz ${doc_out}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/fluids.6 ${doc_out}/fluids.6
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/debian_changelog.sh ${PROJECT_SOURCE_DIR}/CHANGELOG.md
            ${FLUIDS_MAINTAINER} ${doc_out}/changelog
    COMMAND ${FLUIDS_GZIP} -9nf ${doc_out}/fluids.6 ${doc_out}/changelog
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/fluids.6 ${PROJECT_SOURCE_DIR}/CHANGELOG.md
            ${PROJECT_SOURCE_DIR}/scripts/debian_changelog.sh
    VERBATIM)
  add_custom_target(fluids_docs ALL DEPENDS ${doc_out}/fluids.6.gz ${doc_out}/changelog.gz)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
  file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE licence_lines)
  list(SUBLIST licence_lines 4 -1 licence_lines)  # after the title and the copyright line
  set(copyright
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: fluids\n"
    "Upstream-Contact: ${FLUIDS_MAINTAINER}\n"
    "\n"
    "Files: *\n"
    "Copyright: 2026 the fluids authors\n"
    "License: Expat\n"
    "\n"
    "License: Expat\n")
  foreach(line IN LISTS licence_lines)
    if(line STREQUAL "")
      list(APPEND copyright " .\n")
    else()
      list(APPEND copyright " ${line}\n")
    endif()
  endforeach()
  string(CONCAT copyright ${copyright})
  file(WRITE ${doc_out}/copyright "${copyright}")

  # Section 6, games and demos: a toy for experimenting with a fluid.
  install(FILES ${doc_out}/fluids.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/${FLUIDS_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/${FLUIDS_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
  # The icon is a crop of the program's own picture (docs/make_icons.py),
  # named by the component id, at the sizes menus and software centres use.
  foreach(size 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/icons/fluids-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${FLUIDS_APP_ID}.png)
  endforeach()
  # The changelog and the licence as they stand in the source; the Debian
  # package takes their Debian forms instead (package_tools.cmake has CPack
  # install only the other components and debian_docs into it).
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/LICENSE
          DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT plain_docs)
  install(FILES ${doc_out}/changelog.gz ${doc_out}/copyright
          DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian_docs EXCLUDE_FROM_ALL)
endif()

# The Debian package: fluids_<version>_<arch>.deb, its dependencies computed
# by dpkg-shlibdeps from the libraries the executable links.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fluids)
set(CPACK_PACKAGE_VENDOR "fluids maintainers")
set(CPACK_PACKAGE_CONTACT ${FLUIDS_MAINTAINER})
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
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/package_tools.cmake)
set(CPACK_STRIP_FILES ON)

# On Windows the installer instead (cpack -G NSIS, scripts/build_windows.sh):
# fluids-<version>-win64.exe shows the MIT licence, installs the program,
# the README and the licence in Program Files\fluids, a Start-menu entry
# (with the program's icon, from its resources) and an uninstaller, listed
# among the installed programs with the version, publisher and icon.
# makensis makes 32-bit installers unless told otherwise; this one is
# 64-bit, like the program.
if(WIN32)
  set(CPACK_GENERATOR NSIS)
  set(CPACK_RESOURCE_FILE_LICENSE ${licence_txt})
  set(CPACK_PACKAGE_INSTALL_DIRECTORY fluids)
  set(CPACK_PACKAGE_EXECUTABLES fluids fluids)
  set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
  set(CPACK_NSIS_INSTALLED_ICON_NAME fluids.exe)
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_NSIS_DEFINES "Target amd64-unicode")
  set(CPACK_NSIS_DISPLAY_NAME fluids)
  set(CPACK_NSIS_PACKAGE_NAME fluids)
endif()
include(CPack)
