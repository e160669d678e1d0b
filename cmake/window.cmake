# The application object, the main window, its commands and the file browser.
find_package(X11 REQUIRED)
target_sources(kavelgui PRIVATE
  shell/app.cpp
  shell/commands.cpp
  shell/filedialog.cpp
  shell/keyindicators.cpp
  shell/mainframe.cpp
  shell/mainlayout.cpp
  shell/reportlines.cpp
  shell/reportview.cpp
  shell/settings.cpp
  shell/shellopen.cpp
  shell/stopsignals.cpp
)
target_link_libraries(kavelgui PRIVATE X11::X11)

add_executable(kavel32 shell/main.cpp)
target_link_libraries(kavel32 PRIVATE kavelgui)

# Times a report run in the headless window against kavel-report on the same files.
add_executable(kavel-window-bench bench/window_bench.cpp)
target_link_libraries(kavel-window-bench PRIVATE kavelgui Qt6::Test)
target_compile_definitions(kavel-window-bench PRIVATE KAVEL_REPORT_PATH="$<TARGET_FILE:kavel-report>")
add_dependencies(kavel-window-bench kavel-report)
