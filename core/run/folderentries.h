#pragma once
// One folder of a walk: its entries read, the run's own files among them marked, the kernel's
// files that hold no text and version control metadata left out, and sorted.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// A file the run reads or writes itself (the strings file, a list, ...), by device and inode;
// what says which it is.
struct COwnFile {
    dev_t dev;
    ino_t ino;
    std::string what;
};

// A folder's files and folders, sorted so that walking them gives the files in the byte order
// of their paths: a folder's name sorts as if followed by "/". The names lie in one block of
// bytes, so that a folder of a million entries takes some 30 bytes for each.
class CFolderEntries {
  public:
    // Reads the entries of the folder open at fd; false when it cannot be read. An entry that
    // is one of own (by its inode, confirmed with fstatat) is marked (see Own); with bSkipVcs
    // the version control metadata is left out.
    bool Read(int fd, const std::vector<COwnFile>& own, bool bSkipVcs);
    size_t Size() const { return m_entries.size(); }
    std::string_view Name(size_t i) const {
        return {m_names.data() + (m_entries[i] >> 24), static_cast<size_t>(m_entries[i] & LENGTH)};
    }
    bool IsFolder(size_t i) const { return (m_entries[i] & FOLDER) != 0; }
    // The index of the own file the entry is, plus one; 0 for none.
    size_t Own(size_t i) const { return (m_entries[i] & OWN) >> 8; }
    void Clear() {
        std::string().swap(m_names);
        std::vector<uint64_t>().swap(m_entries);
    }

  private:
    // An entry: the offset of its name << 24, FOLDER for a folder, the own file's index + 1
    // << 8, and its length (NAME_MAX is 255).
    static constexpr uint64_t FOLDER = 0x800000, OWN = 0x7FFF00, LENGTH = 0xFF;
    std::string m_names;
    std::vector<uint64_t> m_entries;
};
