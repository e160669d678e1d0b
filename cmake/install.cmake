# Install helpers shared by the top level and gui/ and apps/.
include(GNUInstallDirs)
find_program(KAVEL_GZIP gzip REQUIRED)

# Compresses SOURCE into OUTPUT at build time, the same bytes on every build (-n: no name or
# time stamp in the header), and adds OUTPUT to the default build.
function(kavel_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${KAVEL_GZIP} -n -9 -c ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${source}")
  get_filename_component(name ${output} NAME)
  string(MAKE_C_IDENTIFIER "gz_${name}" target)
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

# A program in bin/, part of the install component (and package) given. A stripped install
# (cpack, cmake --install --strip) also drops the compiler's .comment section, as Debian's own
# packaging does.
function(kavel_install_program target component)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${target}>\"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()" COMPONENT ${component})
endfunction()

# A manual page from dist/, installed compressed, part of the component given.
function(kavel_install_manpage page section component)
  set(output ${CMAKE_BINARY_DIR}/man/${page}.gz)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/man)
  kavel_gzip(${CMAKE_SOURCE_DIR}/dist/${page} ${output})
  install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section}
    COMPONENT ${component})
endfunction()
