#pragma once
// Bytes as the window shows them: UTF-8 when they are valid UTF-8, else Latin-1, so that
// every byte shows and nothing is cut short (names and lines need not be UTF-8).

#include <QString>

#include <string_view>

QString ShowBytes(std::string_view bytes);
// True when ShowBytes reads the bytes as UTF-8 (ASCII among them).
bool IsShownAsUtf8(std::string_view bytes);
