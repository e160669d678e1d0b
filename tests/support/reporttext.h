#pragma once
// The lines of a report as the tests expect them, each with its CR LF.

#include <string>

inline const std::string END_LINE = "*** End of Report ***\r\n\r\n";
inline const std::string CANCEL_LINE = "*** Report Cancelled ***\r\n\r\n";

// The header of a run at the tests' fixed time, 5 December 2026, 14:03:09.
inline std::string ReportHeader(const std::string& output, const std::string& strings) {
    return "\r\n"
           "*** Kavel 2000 - Year 2000 Compliance Checker ***\r\n\r\n"
           "Report: Check of files for year 2000 compliance\r\n"
           "Created: 05 Dec 2026 at 14:03:09\r\n\r\n\r\n"
           "Writing to output file: " +
           output + "\r\nUsing Search String file: " + strings + "\r\n\r\n";
}

// The two lines of a hit.
inline std::string ReportHit(long line, const std::string& text) {
    return "  Potential problem in line " + std::to_string(line) + ":\r\n  >" + text + "\r\n";
}

// A file's summary line (the empty line after it is not included).
inline std::string ReportSummary(long lines, long problems) {
    return "  " + std::to_string(lines) + " line(s) checked, " + std::to_string(problems) +
           " potential compliance problem(s) identified\r\n";
}
