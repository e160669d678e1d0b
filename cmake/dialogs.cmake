# Message boxes, the search strings editor, the about box, the help viewer and their resources.
target_sources(kavelgui PRIVATE
  toolkit/templatedialog.cpp
  editor/searchstringsdlg.cpp
)
