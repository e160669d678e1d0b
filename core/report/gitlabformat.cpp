#include "core/report/recordsink.h"

namespace {

// A GitLab Code Quality report: one JSON array, an issue for each new result, written as they
// come and closed at the end.
class CGitlabFormat : public CRecordSink {
  public:
    explicit CGitlabFormat(const CFormatContext& context) : CRecordSink(context) {
        m_context.out.Append("[");
    }
    void FileBegin(const std::string& path, const std::string& name) override {
        CRecordSink::FileBegin(path, name);
        m_strFile = RelativePath(path, name, m_context.currentDirectory);
    }
    std::vector<std::string> Finish(const std::vector<std::string>&) override {
        m_context.out.Append(m_bEmpty ? "]\n" : "\n]\n");
        m_context.out.Flush();
        return {};
    }

  protected:
    void Record(long line, std::string_view, EBaselineState) override {
        for (const CResult& result : Results()) {
            if (!result.IsNew())
                continue;
            std::string& out = m_context.out.Pending();
            out += m_bEmpty ? "\n" : ",\n";
            m_bEmpty = false;
            // The judge's fingerprint leaves the line's number out; the occurrence keeps two
            // equal lines of a file two issues.
            const std::string print =
                result.fingerprint + '\0' + std::to_string(result.nOccurrence);
            CJsonWriter json(out);
            json.Object().String("description", ResultMessage({&result.pRule->text}));
            json.String("check_name", result.pRule->id);
            json.String("fingerprint", Hex16(Fnv1a64(print))).String("severity", "minor");
            json.Object("location").String("path", m_strFile);
            json.Object("lines").Number("begin", line).End().End().End();
            m_context.out.Append({});
        }
    }

  private:
    std::string m_strFile; // relative to the current folder
    bool m_bEmpty = true;
};

} // namespace

std::unique_ptr<CFormatSink> MakeGitlabFormat(const CFormatContext& context) {
    return std::make_unique<CGitlabFormat>(context);
}
