# install_manual_page(<page>.1): installs a manual page beside its program, compressed with
# `gzip -9n` where gzip is found (as Debian wants it; man reads both forms), plain otherwise.
# Windows has no man; its package carries the README instead.
find_program(GZIP_PROGRAM gzip)

function(install_manual_page page)
  if(WIN32)
    return()
  endif()
  set(source ${CMAKE_CURRENT_SOURCE_DIR}/${page})
  if(GZIP_PROGRAM)
    set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz)
    add_custom_command(OUTPUT ${compressed}
      COMMAND ${GZIP_PROGRAM} -9n -c ${source} > ${compressed}
      DEPENDS ${source} VERBATIM)
    add_custom_target(${page}_compressed ALL DEPENDS ${compressed})
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    install(FILES ${source} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endfunction()
