# Tests of the file browser's controls.
add_executable(browser_tests browser_test.cpp)
target_link_libraries(browser_tests PRIVATE kavelguitestmain)
gtest_discover_tests(browser_tests PROPERTIES TIMEOUT 120 DISCOVERY_TIMEOUT 60)
