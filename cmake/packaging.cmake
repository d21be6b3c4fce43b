# What `cmake --install` puts beside the programs, and the packages `cpack` makes of it: a .tar.gz
# and a .deb on Linux, a .zip on Windows (the MinGW-w64 cross-build included).

set(EXAMPLES examples/energy_MM.xvg examples/summary_energy.dat examples/sum_0001.png examples/convergence.png
  examples/make_energy_file.py)
if(WIN32)
  # For a Windows user, with the line ends Notepad wants.
  configure_file(packaging/README-windows.txt ${CMAKE_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION ${DOC_DESTINATION})
else()
  install(FILES README.md packaging/copyright DESTINATION ${DOC_DESTINATION})
  # Debian wants the changelog as changelog.gz, compressed without a time stamp.
  if(GZIP_PROGRAM)
    set(changelog ${CMAKE_BINARY_DIR}/changelog.gz)
    add_custom_command(OUTPUT ${changelog}
      COMMAND ${GZIP_PROGRAM} -9n -c ${CMAKE_SOURCE_DIR}/packaging/changelog > ${changelog}
      DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog VERBATIM)
    add_custom_target(changelog_compressed ALL DEPENDS ${changelog})
    install(FILES ${changelog} DESTINATION ${DOC_DESTINATION})
  else()
    install(FILES packaging/changelog DESTINATION ${DOC_DESTINATION})
  endif()
endif()
install(FILES ${EXAMPLES} DESTINATION ${DOC_DESTINATION}/examples)

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Venmark")
set(CPACK_PACKAGE_CONTACT "Venmark <barwright-maintainers@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "entropic term and bar charts from binding free energy results")
set(CPACK_PACKAGE_DESCRIPTION "\
Console programs for the step after a binding free energy (MM/PBSA)
calculation on a molecular dynamics trajectory. quenvar reads the per-frame
vacuum molecular-mechanics interaction energies (an xvg file) and a
temperature, and prints the entropic term -TdS in kJ/mol, estimated from how
much the interaction energy fluctuates; quenvar-report does the same for
scripts and many files, with the uncertainty and convergence of the result.
barwright reads the energy summary
file summary_energy.dat and writes one bar chart per complex (sum_0001.xvg,
sum_0002.xvg and so on) for the Grace plotting program.")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build/;/build-.*/;/\\\\.git/")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x86_64)
else()
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
endif()
include(CPack)
