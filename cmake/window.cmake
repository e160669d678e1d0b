# The application object, the main window, its commands and the file browser.
