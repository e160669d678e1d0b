# Tests of the application object, the main window, its commands and the file browser.
add_executable(window_tests
  app_test.cpp
  mainframe_test.cpp
  reportwindow_test.cpp
  reportbuffer_test.cpp
  modaldriver.cpp
)
target_link_libraries(window_tests PRIVATE kavelguitestmain)
gtest_discover_tests(window_tests PROPERTIES TIMEOUT 120 DISCOVERY_TIMEOUT 60)
