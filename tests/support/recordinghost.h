#pragma once
// A report host for tests: a fixed file list and clock, the report view recorded as text.

#include "core/run/reportrun.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// The text report recorded: every line with its CR LF, as the output file holds it; and the
// numbers that the other formats take from the events, "hit LINE PHYSICAL" and
// "end LINES PHYSICAL".
class CRecordingSink : public CTextReportSink {
  public:
    explicit CRecordingSink(std::string& text) : m_text(text) {}
    std::vector<std::string> m_events;

    void Hit(const CHit& hit) override {
        m_events.push_back("hit " + std::to_string(hit.nLine) + " " +
                           std::to_string(hit.nPhysical));
        CTextReportSink::Hit(hit);
    }
    void FileEnd(EFileOutcome outcome, const CFileCounts& counts) override {
        m_events.push_back("end " + std::to_string(counts.nLines) + " " +
                           std::to_string(counts.nPhysical));
        CTextReportSink::FileEnd(outcome, counts);
    }

  protected:
    void WriteLine(std::string_view text) override {
        m_text.append(text);
        m_text.append("\r\n");
    }

  private:
    std::string& m_text;
};

class CRecordingHost : public CReportHost, public CFileSource {
  public:
    std::string m_strOutput;
    std::string m_strStrings;
    std::string m_strDirectory = "/";
    std::vector<std::string> m_files;
    size_t m_nNext = 0; // the next of m_files to look at
    SearchStringTable m_szSearchStrings = {};
    StopFlag m_stop{0};
    std::string m_view; // every report line with its CR LF
    CRecordingSink m_viewSink{m_view};
    std::vector<std::string> m_status; // every status text, in order
    int m_nDrains = 0;
    int m_nBegin = 0, m_nEnd = 0;
    // Called inside each drain with the last status text; may call Stop.
    std::function<void(CRecordingHost&)> m_onDrain;
    // A drain after every line unless a test says otherwise.
    CRunOptions m_options{1, std::chrono::milliseconds(0), nullptr, nullptr, {}};

    void Stop() { m_stop = 1; }
    // 5 December 2026, 14:03:09.
    static std::tm FixedTime() {
        std::tm t{};
        t.tm_mday = 5;
        t.tm_mon = 11;
        t.tm_year = 126;
        t.tm_hour = 14;
        t.tm_min = 3;
        t.tm_sec = 9;
        return t;
    }

    ENext Next(CListedFile& file, std::chrono::milliseconds) override {
        if (m_nNext == m_files.size())
            return ENext::END;
        file = m_files[m_nNext++];
        return ENext::FILE;
    }
    void SetStatusText(const std::string& text) override { m_status.push_back(text); }
    void DrainMessageQueue() override {
        ++m_nDrains;
        if (m_onDrain)
            m_onDrain(*this);
    }
    void BeginReporting() override { ++m_nBegin; }
    void EndReporting() override { ++m_nEnd; }
};

// A run with the host's settings, list and options, its view recorded in m_view.
inline CReportResult RunReport(CRecordingHost& host) {
    host.m_nNext = 0;
    host.m_stop = 0;
    const CRunInputs inputs{
        host.m_strOutput,       host.m_strStrings, host.m_strDirectory,      host,
        host.m_szSearchStrings, host.m_stop,       CRecordingHost::FixedTime};
    return RunReport(inputs, host, host.m_viewSink, host.m_options);
}

// A folder with a strings file and an output path, and a host set up to use them.
struct RecordingRunTest : ::testing::Test {
    CTempDir dir;
    CRecordingHost host;

    RecordingRunTest() {
        host.m_strDirectory = dir.Path();
        host.m_strOutput = dir / "OUTPUT.TXT";
        host.m_strStrings = dir / "dates.str";
        WriteWholeFile(host.m_strStrings, "year\r\n");
    }
    void AddFile(const std::string& name, const std::string& bytes) {
        WriteWholeFile(dir / name, bytes);
        host.m_files.push_back(name);
    }
};
