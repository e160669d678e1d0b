#include "scan/filepath.h"

#include <sys/stat.h>

void AddTrailingBackslash(std::string& path) {
    if (path.empty() || path.back() != '/')
        path.push_back('/');
}

std::string BuildReportPath(const std::string& currentDirectory, const std::string& name) {
    if (!name.empty() && name[0] == '/')
        return name;
    std::string path = currentDirectory;
    AddTrailingBackslash(path);
    path += name;
    return path;
}

std::string ReportPathText(std::string path) {
    for (char& c : path)
        if (c == '\r' || c == '\n')
            c = '?';
    return path;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return !a.empty() && !b.empty() && ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
