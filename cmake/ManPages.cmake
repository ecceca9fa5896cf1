# Man pages made at build time from a program's own --help and --version
# (help2man), with a short hand-written description, so that they cannot drift
# from the options. Installed gzipped into section 1.
find_program(HELP2MAN help2man)
find_program(GZIP gzip)

function(tarnix_man_page target summary)
  # Windows has no man pages to install.
  if(WIN32)
    return()
  endif()
  if(NOT HELP2MAN OR NOT GZIP)
    message(WARNING "help2man or gzip not found: no man page for ${target} (scripts/bootstrap installs them)")
    return()
  endif()
  set(include_file ${PROJECT_SOURCE_DIR}/man/${target}.h2m)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  # help2man runs the program: a cross build's through the emulator, from a
  # wrapper of the same name (the page is named after it).
  set(program $<TARGET_FILE:${target}>)
  if(CMAKE_CROSSCOMPILING)
    set(program ${CMAKE_CURRENT_BINARY_DIR}/emulated/${target})
    list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " emulator)
    file(GENERATE OUTPUT ${program}
         CONTENT "#!/bin/sh\nexec ${emulator} \"$<TARGET_FILE:${target}>\" \"$@\"\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                          WORLD_READ WORLD_EXECUTE)
  endif()
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${HELP2MAN} --no-info --section=1 --name=${summary} --include=${include_file}
            --output=${page} ${program}
    COMMAND ${GZIP} -9nf ${page}
    DEPENDS ${target} ${include_file}
    COMMENT "Man page ${target}(1)"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
