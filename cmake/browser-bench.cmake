# Benchmark of the file browser's refill (not run by the tests): build/browser_bench [count].
add_executable(browser_bench bench/browser_bench.cpp)
target_link_libraries(browser_bench PRIVATE kavelgui)
