# Message boxes, the search strings editor, the about box, the help viewer and their resources.
target_sources(kavelgui PRIVATE
  toolkit/templatedialog.cpp
  toolkit/aboutbox.cpp
  editor/searchstringsdlg.cpp
)
# The logo and the program icon, as :/kavel/logo.xpm and :/kavel/icon.xpm.
qt_add_resources(kavelgui kavelpictures PREFIX /kavel BASE resources
  FILES resources/logo.xpm resources/icon.xpm)

# The help file lies beside the program file.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/kavel.html
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_SOURCE_DIR}/resources/kavel.html
          ${CMAKE_BINARY_DIR}/kavel.html
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/resources/kavel.html)
add_custom_target(kavelhelpfile ALL DEPENDS ${CMAKE_BINARY_DIR}/kavel.html)
