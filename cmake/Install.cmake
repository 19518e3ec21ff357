# Where the program and its drawing helper go. The program finds the helper by one rule
# relative to its own location, <its folder>/../libexec/quendral, both in the build tree
# and once installed, so the two install folders must keep that relation.
include(GNUInstallDirs)

file(RELATIVE_PATH helper_from_program "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_FULL_LIBEXECDIR}/quendral")
if(NOT helper_from_program STREQUAL "../libexec/quendral")
  message(FATAL_ERROR "The program looks for its helper in ../libexec/quendral beside its own folder, "
    "but CMAKE_INSTALL_BINDIR (${CMAKE_INSTALL_BINDIR}) and CMAKE_INSTALL_LIBEXECDIR "
    "(${CMAKE_INSTALL_LIBEXECDIR}) would put it in ${helper_from_program}.")
endif()

install(TARGETS quendral RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET quendral-render)
  install(TARGETS quendral-render RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quendral)
endif()
