# Message boxes, the search strings editor, the about box, the help viewer and their resources.
