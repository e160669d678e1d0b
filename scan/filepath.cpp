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

bool NamesFile(const std::string& path, dev_t dev, ino_t ino) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && st.st_dev == dev &&
           st.st_ino == ino;
}
