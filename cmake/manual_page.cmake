# install_manual_page(<page>.1): installs a manual page beside its program, compressed with
# `gzip -9n` where gzip is found (as Debian wants it; man reads both forms), plain otherwise.
# Windows has no man: there the page is rendered as text, <page>-manual.txt, where groff is found.
find_program(GZIP_PROGRAM gzip)
find_program(GROFF_PROGRAM groff)

function(install_manual_page page)
  set(source ${CMAKE_CURRENT_SOURCE_DIR}/${page})
  if(WIN32)
    if(NOT GROFF_PROGRAM)
      message(STATUS "No text manual for ${page}: groff not found")
      return()
    endif()
    get_filename_component(name ${page} NAME_WE)
    set(text ${CMAKE_CURRENT_BINARY_DIR}/${name}-manual.txt)
    add_custom_command(OUTPUT ${text}
      COMMAND ${CMAKE_COMMAND} -DGROFF=${GROFF_PROGRAM} -DPAGE=${source} -DOUT=${text}
              -P ${PROJECT_SOURCE_DIR}/cmake/plain_manual.cmake
      DEPENDS ${source} ${PROJECT_SOURCE_DIR}/cmake/plain_manual.cmake VERBATIM)
    add_custom_target(${page}_text ALL DEPENDS ${text})
    install(FILES ${text} DESTINATION ${DOC_DESTINATION})
    return()
  endif()
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
