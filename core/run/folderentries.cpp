#include "core/run/folderentries.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

// The files of the kernel's procfs and tracefs that hold no text, or whose read waits for
// ever or takes what others wait for (/proc/kmsg, trace_pipe): a walk skips them. They are
// told by name only on those file systems, so a file named "mem" in a source tree is checked.
bool IsKernelFileToSkip(unsigned long fsType, std::string_view name) {
    constexpr unsigned long PROCFS = 0x9fa0, TRACEFS = 0x74726163;
    if (fsType != PROCFS && fsType != TRACEFS)
        return false;
    for (const std::string_view skipped : {"pagemap", "kmsg", "kcore", "mem", "clear_refs"})
        if (name == skipped)
            return true;
    return name.starts_with("kpage") || name.starts_with("trace_pipe");
}

// The metadata folders of version control (a worktree's .git is a file), by exact name.
bool IsVcsMetadata(const char* name) {
    return name[0] == '.' && (std::strcmp(name, ".git") == 0 || std::strcmp(name, ".hg") == 0 ||
                              std::strcmp(name, ".svn") == 0);
}

} // namespace

bool CFolderEntries::Read(int fd, const std::vector<COwnFile>& own, bool bSkipVcs) {
    struct statfs fs;
    const unsigned long fsType =
        ::fstatfs(fd, &fs) == 0 ? static_cast<unsigned long>(fs.f_type) : 0;
    alignas(8) char buffer[32768];
    for (;;) {
        const ssize_t got = ::getdents64(fd, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            if (bSkipVcs && IsVcsMetadata(name))
                continue;
            unsigned char type = entry->d_type;
            struct stat st;
            bool bStat = false;
            if (type == DT_UNKNOWN) {
                if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                bStat = true;
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
            }
            if ((type != DT_DIR && type != DT_REG) ||
                (type == DT_REG && IsKernelFileToSkip(fsType, name)))
                continue;
            // The own files are few: a file is looked at closer only when its inode is theirs.
            uint64_t ownMark = 0;
            for (size_t i = 0; type == DT_REG && i < own.size(); ++i) {
                if (own[i].ino != entry->d_ino)
                    continue;
                if (!bStat && ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    break;
                bStat = true;
                if (S_ISREG(st.st_mode) && st.st_dev == own[i].dev && st.st_ino == own[i].ino) {
                    ownMark = std::min<uint64_t>(i + 1, OWN >> 8) << 8;
                    break;
                }
            }
            const size_t length = std::min<size_t>(std::strlen(name), LENGTH);
            m_entries.push_back(uint64_t(m_names.size()) << 24 | (type == DT_DIR ? FOLDER : 0) |
                                ownMark | length);
            m_names.append(name, length);
        }
    }
    // The byte order of the names, a folder's followed by "/".
    const auto key = [this](uint64_t entry, size_t i) -> int {
        const size_t length = entry & LENGTH;
        if (i < length)
            return static_cast<unsigned char>(m_names[(entry >> 24) + i]);
        return i == length && (entry & FOLDER) ? '/' : -1;
    };
    std::sort(m_entries.begin(), m_entries.end(), [&](uint64_t a, uint64_t b) {
        const size_t common = std::min(a & LENGTH, b & LENGTH);
        const int order =
            std::memcmp(m_names.data() + (a >> 24), m_names.data() + (b >> 24), common);
        if (order != 0)
            return order < 0;
        for (size_t i = common;; ++i) {
            const int ka = key(a, i), kb = key(b, i);
            if (ka != kb || ka < 0)
                return ka < kb;
        }
    });
    return true;
}
