# Tests of message boxes, the editor, the about box and the help viewer.
add_executable(dialog_tests
  modaldriver.cpp
  messages_test.cpp
  searchstringsdlg_test.cpp
)
target_link_libraries(dialog_tests PRIVATE kavelguitestmain)
gtest_discover_tests(dialog_tests PROPERTIES TIMEOUT 120 DISCOVERY_TIMEOUT 60)
