#pragma once
// JSON, read and written. The reader is strict: it tells whether a text is valid JSON (RFC
// 8259, the strings valid UTF-8) and gives its values to look at; it reads baselines, and the
// tests read the formats. The writer places members, elements and commas, and escapes every
// string the one way below: JSON Lines and SARIF are written through it.

#include "core/lines/stopflag.h"
#include "core/text/utf8.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct CJsonMember;

struct CJson {
    enum class EKind { NUL, BOOL, NUMBER, STRING, ARRAY, OBJECT };
    EKind kind = EKind::NUL;
    bool b = false;
    double number = 0;
    std::string text; // a string's value, escapes resolved (as UTF-8)
    std::vector<CJson> items;
    std::vector<CJsonMember> members; // in the order of the text

    // The member of an object, or nullptr.
    const CJson* Get(const std::string& key) const;
    // The value at a path of member names and array indexes ("runs/0/tool"), or nullptr: a
    // part of digits is an index into an array, any other a member of an object, so that an
    // object never passes for an array (a member named "0" cannot be reached).
    const CJson* At(const std::string& path) const;
};

// An object's member: its name (escapes resolved) and value.
struct CJsonMember {
    std::string name;
    CJson value;
};

// The one JSON value of the text (blanks around it allowed); false on any fault, a name
// given twice in one object among them (readers differ on which one wins).
bool ParseJson(std::string_view text, CJson& value);

// What a bounded read of JSON came to.
enum class EJsonRead { OK, INVALID, TOO_MANY_VALUES, STOPPED };
// ParseJson with at most maxValues values in the tree (each takes some 100 bytes of memory,
// whatever the text's two), ended once *stop is nonzero (stop may be null).
EJsonRead ParseJsonBounded(std::string_view text, CJson& value, size_t maxValues,
                           const StopFlag* stop);

// The bytes as a JSON string, quotes included: control characters escaped, bytes that are not
// UTF-8 as \u00XX (their Latin-1 reading; for messages, where that loss does not matter).
std::string JsonString(std::string_view bytes);
// A JSON member that keeps the bytes: "name":"..." when they are UTF-8, else
// "name_bytes":"..." with the bytes in standard base64.
std::string JsonBytesMember(std::string_view name, std::string_view bytes);

// Writes JSON text at the end of a string. A key names an object's member; an empty key writes
// an array's element. Nothing is checked: the caller writes what it means.
class CJsonWriter {
  public:
    explicit CJsonWriter(std::string& out) : m_out(out) {}
    CJsonWriter& Object(std::string_view key = {});
    CJsonWriter& Array(std::string_view key = {});
    // Closes the object or array opened last.
    CJsonWriter& End();
    CJsonWriter& String(std::string_view key, std::string_view value);
    CJsonWriter& Number(std::string_view key, long value);
    CJsonWriter& Bool(std::string_view key, bool value);
    // The bytes as JsonBytesMember writes them: "key" when they are UTF-8, else "key_bytes".
    CJsonWriter& Bytes(std::string_view key, std::string_view bytes);
    // A value written already (JSON text).
    CJsonWriter& Raw(std::string_view key, std::string_view json);

  private:
    void Key(std::string_view key);

    std::string& m_out;
    std::string m_closers;     // of the objects and arrays open, innermost last
    std::vector<bool> m_empty; // for each of them: nothing written in it yet
};
