# The window side: shell/, editor/, the widget side of toolkit/ and the pictures of resources/,
# as one library, and the window program kavel32 over it.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
find_package(X11 REQUIRED)

add_library(kavelgui STATIC
  shell/app.cpp
  shell/commands.cpp
  shell/filedialog.cpp
  shell/helpviewer.cpp
  shell/keyindicators.cpp
  shell/mainframe.cpp
  shell/mainlayout.cpp
  shell/reportlines.cpp
  shell/reportview.cpp
  shell/settings.cpp
  shell/shellopen.cpp
  shell/stopsignals.cpp
  editor/searchstringsdlg.cpp
  toolkit/aboutbox.cpp
  toolkit/bytetext.cpp
  toolkit/filebrowser.cpp
  toolkit/messages.cpp
  toolkit/templatedialog.cpp
)
set_target_properties(kavelgui PROPERTIES AUTOMOC ON AUTORCC ON)
target_link_libraries(kavelgui PUBLIC kavelcore Qt6::Widgets PRIVATE X11::X11)
# The logo and the program icon, as :/kavel/logo.xpm and :/kavel/icon.xpm.
qt_add_resources(kavelgui kavelpictures PREFIX /kavel BASE resources
  FILES resources/logo.xpm resources/icon.xpm)

add_executable(kavel32 shell/main.cpp)
target_link_libraries(kavel32 PRIVATE kavelgui)
target_compile_definitions(kavel32 PRIVATE KAVEL_VERSION="${PROJECT_VERSION}")

# The help file lies beside the program file.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/kavel.html
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_SOURCE_DIR}/resources/kavel.html
          ${CMAKE_BINARY_DIR}/kavel.html
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/resources/kavel.html)
add_custom_target(kavelhelpfile ALL DEPENDS ${CMAKE_BINARY_DIR}/kavel.html)

kavel_install_program(kavel32)
install(FILES resources/kavel.html DESTINATION ${CMAKE_INSTALL_DATADIR}/kavel2000)
install(FILES dist/kavel2000.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES dist/kavel2000.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
kavel_install_manpage(kavel32.1 1)
foreach(size 16 32 48 64 128 256)
  install(FILES resources/icons/kavel2000-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME kavel2000.png)
endforeach()
