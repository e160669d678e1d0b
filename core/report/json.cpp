#include "core/report/json.h"

#include <cstdlib>

namespace {

class CReader {
  public:
    explicit CReader(std::string_view text) : m_text(text) {}

    bool Document(CJson& value) { return Value(value, 0) && (Blanks(), m_pos == m_text.size()); }

  private:
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
        if (depth > 200)
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
                value.members.emplace_back(std::move(key), std::move(member));
            } while (Eat(','));
            return Eat('}');
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
            // Raw bytes must be UTF-8.
            size_t n = c < 0x80         ? 1
                       : (c >> 5) == 6  ? 2
                       : (c >> 4) == 14 ? 3
                       : (c >> 3) == 30 ? 4
                                        : 0;
            if (n == 0 || (n > 1 && c < 0xC2) || m_pos + n > m_text.size())
                return false;
            for (size_t i = 1; i < n; ++i)
                if ((static_cast<unsigned char>(m_text[m_pos + i]) & 0xC0) != 0x80)
                    return false;
            out.append(m_text.substr(m_pos, n));
            m_pos += n;
        }
        return false;
    }

    std::string_view m_text;
    size_t m_pos = 0;
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
        if (value->kind == EKind::ARRAY) {
            const size_t index = std::strtoul(part.c_str(), nullptr, 10);
            value = index < value->items.size() ? &value->items[index] : nullptr;
        } else {
            value = value->Get(part);
        }
        start = end + 1;
    }
    return value;
}

bool ParseJson(std::string_view text, CJson& value) {
    value = CJson();
    return CReader(text).Document(value);
}
