# Tests of message boxes, the editor, the about box and the help viewer.
add_executable(dialog_tests
  modaldriver.cpp
  messages_test.cpp
  searchstringsdlg_test.cpp
  aboutbox_test.cpp
  dialogcommands_test.cpp
  helpviewer_test.cpp
)
target_link_libraries(dialog_tests PRIVATE kavelguitestmain)
target_compile_definitions(dialog_tests PRIVATE
  KAVEL_HELP_SOURCE="${PROJECT_SOURCE_DIR}/resources/kavel.html")
gtest_discover_tests(dialog_tests PROPERTIES TIMEOUT 120 DISCOVERY_TIMEOUT 60)
