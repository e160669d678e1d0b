#include "core/report/json.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>

namespace {

class CReader {
  public:
    CReader(std::string_view text, size_t maxValues, const StopFlag* stop)
        : m_text(text), m_nValuesLeft(maxValues), m_pStop(stop) {}

    EJsonRead Document(CJson& value) {
        const bool valid = Value(value, 0) && (Blanks(), m_pos == m_text.size());
        return m_fault != EJsonRead::OK ? m_fault : valid ? EJsonRead::OK : EJsonRead::INVALID;
    }

  private:
    // Counts a value against the limit, and looks at the stop now and then; false to end.
    bool Count() {
        if (m_nValuesLeft == 0) {
            m_fault = EJsonRead::TOO_MANY_VALUES;
            return false;
        }
        --m_nValuesLeft;
        if ((++m_nValues & 4095) == 0 && m_pStop != nullptr && *m_pStop != 0) {
            m_fault = EJsonRead::STOPPED;
            return false;
        }
        return true;
    }
    // No name is given twice among an object's members.
    static bool UniqueNames(const std::vector<CJsonMember>& members) {
        std::vector<std::string_view> names;
        names.reserve(members.size());
        for (const CJsonMember& member : members)
            names.push_back(member.name);
        std::sort(names.begin(), names.end());
        return std::adjacent_find(names.begin(), names.end()) == names.end();
    }

    void Blanks() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                         m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }
    bool Eat(char c) {
        Blanks();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool Word(std::string_view word) {
        if (m_text.substr(m_pos, word.size()) != word)
            return false;
        m_pos += word.size();
        return true;
    }

    bool Value(CJson& value, int depth) {
        if (depth > 200 || !Count())
            return false;
        Blanks();
        if (m_pos >= m_text.size())
            return false;
        const char c = m_text[m_pos];
        if (c == '{') {
            ++m_pos;
            value.kind = CJson::EKind::OBJECT;
            if (Eat('}'))
                return true;
            do {
                std::string key;
                CJson member;
                Blanks();
                if (!String(key) || !Eat(':') || !Value(member, depth + 1))
                    return false;
                value.members.push_back({std::move(key), std::move(member)});
            } while (Eat(','));
            return Eat('}') && (value.members.size() < 2 || UniqueNames(value.members));
        }
        if (c == '[') {
            ++m_pos;
            value.kind = CJson::EKind::ARRAY;
            if (Eat(']'))
                return true;
            do {
                value.items.emplace_back();
                if (!Value(value.items.back(), depth + 1))
                    return false;
            } while (Eat(','));
            return Eat(']');
        }
        if (c == '"') {
            value.kind = CJson::EKind::STRING;
            return String(value.text);
        }
        if (Word("true") || Word("false")) {
            value.kind = CJson::EKind::BOOL;
            value.b = m_text[m_pos - 1] == 'e' && m_text[m_pos - 2] == 'u';
            return true;
        }
        if (Word("null"))
            return true;
        return Number(value);
    }

    bool Number(CJson& value) {
        const size_t start = m_pos;
        const auto digits = [&] {
            const size_t from = m_pos;
            while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9')
                ++m_pos;
            return m_pos > from;
        };
        if (m_pos < m_text.size() && m_text[m_pos] == '-')
            ++m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == '0')
            ++m_pos;
        else if (!digits())
            return false;
        if (m_pos < m_text.size() && m_text[m_pos] == '.' && (++m_pos, !digits()))
            return false;
        if (m_pos < m_text.size() && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) {
            ++m_pos;
            if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-'))
                ++m_pos;
            if (!digits())
                return false;
        }
        value.kind = CJson::EKind::NUMBER;
        value.number =
            std::strtod(std::string(m_text.substr(start, m_pos - start)).c_str(), nullptr);
        return true;
    }

    static void AppendUtf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool Hex4(unsigned& value) {
        if (m_pos + 4 > m_text.size())
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_pos++];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= c - '0';
            else if (c >= 'a' && c <= 'f')
                value |= c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                value |= c - 'A' + 10;
            else
                return false;
        }
        return true;
    }

    bool String(std::string& out) {
        if (m_pos >= m_text.size() || m_text[m_pos] != '"')
            return false;
        ++m_pos;
        while (m_pos < m_text.size()) {
            const auto c = static_cast<unsigned char>(m_text[m_pos]);
            if (c == '"') {
                ++m_pos;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c == '\\') {
                if (++m_pos >= m_text.size())
                    return false;
                const char e = m_text[m_pos++];
                unsigned cp;
                switch (e) {
                case '"':
                case '\\':
                case '/': out += e; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u':
                    if (!Hex4(cp))
                        return false;
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        unsigned low;
                        if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF)
                            return false;
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                        return false;
                    }
                    AppendUtf8(out, cp);
                    break;
                default: return false;
                }
                continue;
            }
            // Raw bytes must be UTF-8: no overlong form, no surrogate, nothing past U+10FFFF.
            const size_t n = Utf8Length(m_text.substr(m_pos));
            if (n == 0)
                return false;
            out.append(m_text.substr(m_pos, n));
            m_pos += n;
        }
        return false;
    }

    std::string_view m_text;
    size_t m_pos = 0;
    size_t m_nValuesLeft;
    size_t m_nValues = 0;
    const StopFlag* m_pStop;
    EJsonRead m_fault = EJsonRead::OK;
};

} // namespace

const CJson* CJson::Get(const std::string& key) const {
    for (const auto& [name, value] : members)
        if (name == key)
            return &value;
    return nullptr;
}

const CJson* CJson::At(const std::string& path) const {
    const CJson* value = this;
    for (size_t start = 0; value != nullptr && start <= path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (!part.empty() && part.find_first_not_of("0123456789") == std::string::npos) {
            const size_t index = std::strtoul(part.c_str(), nullptr, 10);
            value = value->kind == EKind::ARRAY && index < value->items.size()
                        ? &value->items[index]
                        : nullptr;
        } else {
            value = value->Get(part); // nullptr for anything but an object
        }
        start = end + 1;
    }
    return value;
}

bool ParseJson(std::string_view text, CJson& value) {
    return ParseJsonBounded(text, value, SIZE_MAX, nullptr) == EJsonRead::OK;
}

EJsonRead ParseJsonBounded(std::string_view text, CJson& value, size_t maxValues,
                           const StopFlag* stop) {
    value = CJson();
    return CReader(text, maxValues, stop).Document(value);
}

namespace {

std::string Base64(std::string_view bytes) {
    static const char DIGITS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 2]);
        text += DIGITS[group >> 18 & 63];
        text += DIGITS[group >> 12 & 63];
        text += i + 1 < bytes.size() ? DIGITS[group >> 6 & 63] : '=';
        text += i + 2 < bytes.size() ? DIGITS[group & 63] : '=';
    }
    return text;
}

} // namespace

std::string JsonString(std::string_view bytes) {
    static const char HEX[] = "0123456789abcdef";
    std::string json = "\"";
    for (size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const size_t n = Utf8Length(bytes.substr(i));
        if (n > 1) {
            json.append(bytes.substr(i, n));
            i += n;
            continue;
        }
        ++i;
        switch (c) {
        case '"': json += "\\\""; break;
        case '\\': json += "\\\\"; break;
        case '\n': json += "\\n"; break;
        case '\r': json += "\\r"; break;
        case '\t': json += "\\t"; break;
        default:
            if (c < 0x20 || n == 0) { // a control character, or a byte that is not UTF-8
                json += "\\u00";
                json += HEX[c >> 4];
                json += HEX[c & 15];
            } else {
                json += static_cast<char>(c);
            }
        }
    }
    json += '"';
    return json;
}

std::string JsonBytesMember(std::string_view name, std::string_view bytes) {
    std::string member = "\"";
    member.append(name);
    if (IsUtf8(bytes))
        return member + "\":" + JsonString(bytes);
    return member + "_bytes\":\"" + Base64(bytes) + "\"";
}

void CJsonWriter::Key(std::string_view key) {
    if (!m_closers.empty()) {
        if (!m_empty.back())
            m_out += ',';
        m_empty.back() = false;
    }
    if (!key.empty()) {
        m_out += '"';
        m_out.append(key);
        m_out += "\":";
    }
}

CJsonWriter& CJsonWriter::Object(std::string_view key) {
    Key(key);
    m_out += '{';
    m_closers += '}';
    m_empty.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::Array(std::string_view key) {
    Key(key);
    m_out += '[';
    m_closers += ']';
    m_empty.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::End() {
    m_out += m_closers.back();
    m_closers.pop_back();
    m_empty.pop_back();
    return *this;
}

CJsonWriter& CJsonWriter::String(std::string_view key, std::string_view value) {
    Key(key);
    m_out += JsonString(value);
    return *this;
}

CJsonWriter& CJsonWriter::Number(std::string_view key, long value) {
    Key(key);
    char digits[24];
    m_out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    return *this;
}

CJsonWriter& CJsonWriter::Bool(std::string_view key, bool value) {
    Key(key);
    m_out += value ? "true" : "false";
    return *this;
}

CJsonWriter& CJsonWriter::Bytes(std::string_view key, std::string_view bytes) {
    Key({}); // the comma; the member's name is JsonBytesMember's to choose
    m_out += JsonBytesMember(key, bytes);
    return *this;
}

CJsonWriter& CJsonWriter::Raw(std::string_view key, std::string_view json) {
    Key(key);
    m_out.append(json);
    return *this;
}
