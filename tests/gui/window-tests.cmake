# Tests of the application object, the main window, its commands and the file browser.
