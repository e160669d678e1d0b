#include "core/match/searchstrings.h"

#include "core/lines/linefile.h"

#include <cstring>

namespace {

// A NUL inside a line ends it for every user of the text.
void CutAtNul(std::string& line) {
    size_t nul = line.find('\0');
    if (nul != std::string::npos)
        line.resize(nul);
}

} // namespace

bool LoadSearchStrings(SearchStringTable& table, const std::string& path,
                       std::function<bool()> keepReading) {
    CLineFile file;
    file.OpenRead(path);
    return LoadSearchStrings(table, file, std::move(keepReading));
}

bool LoadSearchStrings(SearchStringTable& table, CLineFile& file,
                       std::function<bool()> keepReading) {
    for (auto& slot : table)
        slot[0] = '\0';
    if (!file.IsOpen())
        return false;
    file.SetKeepReading(std::move(keepReading));
    int count = 0;
    std::string line;
    while (count < MAX_SEARCH_STRINGS && ReadWholeTextLine(file, line, SEARCH_STRING_MAX) == 0 &&
           !file.Stopped()) {
        CutAtNul(line);
        if (!line.empty()) {
            std::memcpy(table[count], line.data(), line.size());
            table[count][line.size()] = '\0';
            ++count;
        }
    }
    // A read error makes the file unreadable: no half table.
    if (file.ReadFailed()) {
        for (auto& slot : table)
            slot[0] = '\0';
        return false;
    }
    return true;
}

int CountSearchStrings(const SearchStringTable& table) {
    int n = 0;
    while (n < MAX_SEARCH_STRINGS && table[n][0] != '\0')
        ++n;
    return n;
}

bool LoadStringsFileEntries(const std::string& path, std::vector<std::string>& entries) {
    entries.clear();
    CLineFile file;
    if (!file.OpenRead(path))
        return false;
    std::string line;
    while (ReadWholeTextLine(file, line, EDITOR_LINE_MAX) == 0) {
        CutAtNul(line);
        entries.push_back(line);
    }
    if (file.ReadFailed()) {
        entries.clear();
        return false;
    }
    return true;
}

bool SaveStringsFileEntries(const std::string& path, const std::vector<std::string>& entries) {
    CLineFile file;
    if (!file.Create(path))
        return false;
    for (const std::string& entry : entries)
        WriteTextLine(file, entry);
    return file.Close();
}
