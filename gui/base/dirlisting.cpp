#include "gui/base/dirlisting.h"

#include "core/text/ascii.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The directory last entered on each volume in this process ("" when none yet).
std::string s_strLastRoot;
std::string s_strLastHome;

std::string* LastDirectoryOf(std::string_view volume) {
    if (volume == "/")
        return &s_strLastRoot;
    if (volume == "~")
        return &s_strLastHome;
    return nullptr;
}

void RememberDirectory(const std::string& dir) {
    if (std::string* last = LastDirectoryOf(VolumeOfDirectory(dir, HomeDirectory())))
        *last = dir;
}

int ChangeTo(const std::string& dir) {
    return ::chdir(dir.c_str()) == 0 ? 0 : -1;
}

} // namespace

int ReadDirectory(const std::string& path, std::vector<CDirEntry>& entries) {
    entries.clear();
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr)
        return -1;
    const int fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        CDirEntry item;
        item.strName = entry->d_name;
        if (entry->d_type == DT_DIR) {
            item.bDirectory = true;
        } else if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat info;
            item.bDirectory = ::fstatat(fd, entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
        }
        entries.push_back(std::move(item));
    }
    ::closedir(dir);
    return 0;
}

bool MatchesMask(std::string_view name, std::string_view mask) {
    if (mask == "*.*")
        return true;
    if (mask == "*.")
        return name.find('.') == std::string_view::npos;
    const std::string strName(name), strMask(mask);
    return ::fnmatch(strMask.c_str(), strName.c_str(), 0) == 0;
}

bool ListOrderLess(std::string_view left, std::string_view right) {
    const size_t n = std::min(left.size(), right.size());
    for (size_t i = 0; i < n; ++i) {
        const auto a = static_cast<unsigned char>(AsciiUpper(left[i]));
        const auto b = static_cast<unsigned char>(AsciiUpper(right[i]));
        if (a != b)
            return a < b;
    }
    if (left.size() != right.size())
        return left.size() < right.size();
    return left < right;
}

std::vector<std::string> DirectoryListEntries(const std::vector<CDirEntry>& entries,
                                              const std::string& currentDir) {
    std::vector<std::string> texts;
    bool bHasParent = false;
    for (const CDirEntry& entry : entries) {
        if (!entry.bDirectory || !MatchesMask(entry.strName, "*."))
            continue;
        std::string text = "[" + entry.strName + "]";
        if (text == "[.]")
            continue;
        bHasParent = bHasParent || text == "[..]";
        texts.push_back(std::move(text));
    }
    if (currentDir != "/" && !bHasParent)
        texts.emplace_back("[..]");
    std::sort(texts.begin(), texts.end(), ListOrderLess);
    return texts;
}

std::vector<std::string> FileListEntries(const std::vector<CDirEntry>& entries,
                                         std::string_view mask) {
    std::vector<std::string> texts;
    texts.reserve(entries.size());
    for (const CDirEntry& entry : entries)
        if (!entry.bDirectory && MatchesMask(entry.strName, mask))
            texts.push_back(entry.strName);
    std::sort(texts.begin(), texts.end(), ListOrderLess);
    return texts;
}

std::string HomeDirectory() {
    std::string home;
    if (const char* env = std::getenv("HOME"); env != nullptr && *env != '\0')
        home = env;
    else if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir)
        home = user->pw_dir;
    if (home.empty())
        return home;
    // The current directory comes back with links resolved: compare it with a resolved home.
    if (char* resolved = ::realpath(home.c_str(), nullptr)) {
        home = resolved;
        std::free(resolved);
    }
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return home;
}

std::string VolumeOfDirectory(std::string_view dir, std::string_view home) {
    if (dir.empty())
        return "";
    if (!home.empty()) {
        if (home == "/" || dir == home)
            return "~";
        if (dir.size() > home.size() && dir.substr(0, home.size()) == home &&
            dir[home.size()] == '/')
            return "~";
    }
    return "/";
}

int EnterDirectory(const std::string& path) {
    std::string target = path;
    if (target.size() >= 4 && target.back() == '/')
        target.pop_back();

    // The directory being left is the one last used on its volume.
    const std::string current = CurrentDirectory();
    if (!current.empty())
        RememberDirectory(current);

    if (target == "/:" || target == "~:") {
        const std::string volume = target.substr(0, 1);
        const std::string root = volume == "/" ? std::string("/") : HomeDirectory();
        const std::string& last = *LastDirectoryOf(volume);
        // A remembered directory that has gone since does not lock the volume away.
        if (!(!last.empty() && ChangeTo(last) == 0) && (root.empty() || ChangeTo(root) != 0))
            return -1;
    } else if (ChangeTo(target) != 0) {
        return -1;
    }
    if (const std::string entered = CurrentDirectory(); !entered.empty())
        RememberDirectory(entered);
    return 0;
}

void ForgetVolumeDirectories() {
    s_strLastRoot.clear();
    s_strLastHome.clear();
}
