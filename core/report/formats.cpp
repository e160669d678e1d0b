#include "core/report/formats.h"

#include "core/report/recordsink.h"

namespace {

// The "report" format: the report's bytes, as the output file holds them.
class CReportFormat : public CFormatSink {
  public:
    explicit CReportFormat(CByteOutput& out) : m_text(out) {}
    void RunBegin(const CRunHeader& header) override { m_text.RunBegin(header); }
    void Error(std::string_view text) override { m_text.Error(text); }
    void FileBegin(const std::string& path, const std::string& name) override {
        m_text.FileBegin(path, name);
    }
    void Hit(const CHit& hit) override { m_text.Hit(hit); }
    void FileEnd(EFileOutcome outcome, const CFileCounts& counts) override {
        m_text.FileEnd(outcome, counts);
    }
    void RunEnd(bool bCancelled) override { m_text.RunEnd(bCancelled); }
    void Flush() override { m_text.Flush(); }
    std::vector<std::string> Finish(const std::vector<std::string>&) override {
        m_text.Flush();
        return {};
    }

  private:
    class CText : public CTextReportSink {
      public:
        explicit CText(CByteOutput& out) : m_out(out) {}
        void Flush() override { m_out.Flush(); }

      protected:
        void WriteLine(std::string_view text) override {
            m_out.Pending().append(text);
            m_out.Append("\r\n");
        }
        void WriteHit(long lineNumber, std::string_view text) override {
            char heading[HIT_HEADING_MAX];
            m_out.Pending().append(heading, FormatHitHeading(lineNumber, heading));
            m_out.Pending().append("\r\n  >");
            WriteLine(text);
        }

      private:
        CByteOutput& m_out;
    };
    CText m_text;
};

} // namespace

bool ParseOutputFormat(std::string_view name, EOutputFormat& format) {
    static const std::pair<std::string_view, EOutputFormat> NAMES[] = {
        {"report", EOutputFormat::REPORT}, {"grep", EOutputFormat::GREP},
        {"json", EOutputFormat::JSON},     {"sarif", EOutputFormat::SARIF},
        {"github", EOutputFormat::GITHUB}, {"gitlab", EOutputFormat::GITLAB}};
    for (const auto& [text, value] : NAMES)
        if (name == text) {
            format = value;
            return true;
        }
    return false;
}

std::unique_ptr<CFormatSink> MakeFormatSink(EOutputFormat format, const CFormatContext& context) {
    switch (format) {
    case EOutputFormat::GREP: return MakeGrepFormat(context);
    case EOutputFormat::JSON: return MakeJsonFormat(context);
    case EOutputFormat::SARIF: return MakeSarifFormat(context);
    case EOutputFormat::GITHUB: return MakeGithubFormat(context);
    case EOutputFormat::GITLAB: return MakeGitlabFormat(context);
    case EOutputFormat::REPORT: break;
    }
    return std::make_unique<CReportFormat>(context.out);
}

std::string ResultMessage(const std::vector<const std::string*>& strings) {
    std::string message = "Potential problem: the line holds ";
    for (size_t i = 0; i < strings.size(); ++i) {
        if (i > 0)
            message += i + 1 == strings.size() ? " and " : ", ";
        message += "\"" + *strings[i] + "\"";
    }
    return message;
}
