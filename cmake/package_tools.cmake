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

# The Debian package holds the changelog and the licence in Debian's formats
# (component debian_docs, which a plain install leaves out) instead of
# CHANGELOG.md and LICENSE (component plain_docs).
if(CPACK_GENERATOR STREQUAL "DEB")
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 fluids_build_dir)
  set(CPACK_INSTALL_CMAKE_PROJECTS
      "${fluids_build_dir};fluids;Unspecified;/;${fluids_build_dir};fluids;debian_docs;/")
endif()
