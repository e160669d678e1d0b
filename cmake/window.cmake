# The application object, the main window, its commands and the file browser.
find_package(X11 REQUIRED)
target_sources(kavelgui PRIVATE
  shell/app.cpp
  shell/commands.cpp
  shell/filedialog.cpp
  shell/keyindicators.cpp
  shell/mainframe.cpp
  shell/mainlayout.cpp
  shell/settings.cpp
  shell/shellopen.cpp
)
target_link_libraries(kavelgui PRIVATE X11::X11)

add_executable(kavel32 shell/main.cpp)
target_link_libraries(kavel32 PRIVATE kavelgui)
