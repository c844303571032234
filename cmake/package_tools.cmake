# Read by cpack before it makes a package (CPACK_PROJECT_CONFIG_FILE).
# Without dpkg-shlibdeps CPack would still make the Debian package, with no
# dependencies at all; it stops here instead.
if(CPACK_GENERATOR STREQUAL "DEB")
  find_program(FLUIDS_SHLIBDEPS dpkg-shlibdeps)
  find_program(FLUIDS_FILE file)
  if(NOT FLUIDS_SHLIBDEPS OR NOT FLUIDS_FILE)
    message(FATAL_ERROR "the Debian package needs dpkg-shlibdeps and file "
                        "(Debian: dpkg-dev file) to compute its dependencies")
  endif()
endif()
