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

std::unique_ptr<CFormatSink> MakeFormatSink(EOutputFormat format, CFormatContext context,
                                            std::unique_ptr<CResultJudge> judge) {
    if (!judge && (format == EOutputFormat::SARIF || format == EOutputFormat::GITHUB ||
                   format == EOutputFormat::GITLAB))
        judge = std::make_unique<CResultJudge>(context.currentDirectory, nullptr, context.pStop);
    context.pJudge = judge.get();
    std::unique_ptr<CFormatSink> sink;
    switch (format) {
    case EOutputFormat::GREP: sink = MakeGrepFormat(context); break;
    case EOutputFormat::JSON: sink = MakeJsonFormat(context); break;
    case EOutputFormat::SARIF: sink = MakeSarifFormat(context, *judge); break;
    case EOutputFormat::GITHUB: sink = MakeGithubFormat(context); break;
    case EOutputFormat::GITLAB: sink = MakeGitlabFormat(context); break;
    case EOutputFormat::REPORT: sink = std::make_unique<CReportFormat>(context.out); break;
    }
    if (!judge)
        return sink;
    return std::make_unique<CJudgedSink>(std::move(judge), std::move(sink));
}

CJudgedSink::CJudgedSink(std::unique_ptr<CResultJudge> judge, std::unique_ptr<CFormatSink> format)
    : m_pJudge(std::move(judge)), m_pFormat(std::move(format)) {}

void CJudgedSink::RunBegin(const CRunHeader& header) {
    Each([&](CReportSink& sink) { sink.RunBegin(header); });
}

void CJudgedSink::StringsLoaded(const SearchStringTable& strings) {
    Each([&](CReportSink& sink) { sink.StringsLoaded(strings); });
}

void CJudgedSink::Error(std::string_view text) {
    Each([&](CReportSink& sink) { sink.Error(text); });
}

void CJudgedSink::FileBegin(const std::string& path, const std::string& name) {
    Each([&](CReportSink& sink) { sink.FileBegin(path, name); });
}

void CJudgedSink::Hit(const CHit& hit) {
    Each([&](CReportSink& sink) { sink.Hit(hit); });
}

void CJudgedSink::Marker(const CHit& line) {
    Each([&](CReportSink& sink) { sink.Marker(line); });
}

void CJudgedSink::FileEnd(EFileOutcome outcome, const CFileCounts& counts) {
    Each([&](CReportSink& sink) { sink.FileEnd(outcome, counts); });
}

void CJudgedSink::RunEnd(bool bCancelled) {
    Each([&](CReportSink& sink) { sink.RunEnd(bCancelled); });
}

void CJudgedSink::Flush() {
    Each([&](CReportSink& sink) { sink.Flush(); });
}

std::vector<std::string> CJudgedSink::Finish(const std::vector<std::string>& failures) {
    return m_pFormat ? m_pFormat->Finish(failures) : std::vector<std::string>{};
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
