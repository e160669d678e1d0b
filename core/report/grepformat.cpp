#include "core/report/recordsink.h"

#include <charconv>

namespace {

void AppendNumber(std::string& text, long n) {
    char digits[24];
    text.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

// path:line:text, one line per line found, as grep -n prints it.
class CGrepFormat : public CRecordSink {
  public:
    using CRecordSink::CRecordSink;
    void FileBegin(const std::string& path, const std::string& name) override {
        CRecordSink::FileBegin(path, name);
        m_strShown = SafeText(name);
    }

  protected:
    void Record(long line, std::string_view text, EBaselineState) override {
        std::string& out = m_context.out.Pending();
        out.append(m_strShown);
        out.push_back(':');
        AppendNumber(out, line);
        out.push_back(':');
        AppendSafeText(out, text);
        m_context.out.Append("\n");
    }

  private:
    std::string m_strShown;
};

} // namespace

std::unique_ptr<CFormatSink> MakeGrepFormat(const CFormatContext& context) {
    return std::make_unique<CGrepFormat>(context);
}
