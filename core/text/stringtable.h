#pragma once
// The program's string table, compiled in.

#include <cstddef>
#include <string>

// The text with that id, or nullptr when the table has none.
const char* FindStringResource(int id);

// Loads a text as into a buffer of `capacity` characters: a missing id gives "", a longer
// text keeps its first capacity - 1 characters.
std::string LoadStringResource(int id, size_t capacity = 256);
