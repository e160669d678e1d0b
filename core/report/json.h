#pragma once
// A strict JSON reader: tells whether a text is valid JSON (RFC 8259, the strings valid
// UTF-8) and gives its values to look at. It reads baselines, and the tests read the formats.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct CJson {
    enum class EKind { NUL, BOOL, NUMBER, STRING, ARRAY, OBJECT };
    EKind kind = EKind::NUL;
    bool b = false;
    double number = 0;
    std::string text; // a string's value, escapes resolved (as UTF-8)
    std::vector<CJson> items;
    std::vector<std::pair<std::string, CJson>> members;

    // The member of an object, or nullptr.
    const CJson* Get(const std::string& key) const;
    // The value at a path of member names and array indexes ("runs/0/tool"), or nullptr.
    const CJson* At(const std::string& path) const;
};

// The one JSON value of the text (blanks around it allowed); false on any fault.
bool ParseJson(std::string_view text, CJson& value);
