#pragma once
// The file browser's rules without the controls: reading a directory, the masks, the entry
// texts of the directory and file lists, the two volumes ("/" and "~") that stand in for
// drives, and the one operation that changes the current directory.

#include "core/lines/filepath.h"

#include <string>
#include <string_view>
#include <vector>

// One directory entry: its name as the file system's bytes and whether it is a directory
// (a symbolic link counts as what it points to; a dangling one is not a directory).
struct CDirEntry {
    std::string strName;
    bool bDirectory = false;
};

// Reads every entry of the directory at path ("." and ".." as the system returns them) into
// entries, in the system's order. Returns 0, or -1 when the directory cannot be read (entries
// is then empty).
int ReadDirectory(const std::string& path, std::vector<CDirEntry>& entries);

// Whether name matches mask: "*.*" matches every name, "*." every name without a dot; any
// other mask is a shell wildcard pattern ("*", "?", "[...]"), in which "*" also matches a
// leading dot.
bool MatchesMask(std::string_view name, std::string_view mask);

// The lists' sort order: bytes compared with ASCII letters folded to upper case, ties broken
// by the unfolded bytes, so that the order is total.
bool ListOrderLess(std::string_view left, std::string_view right);

// The directory list's entry texts, sorted: "[name]" for every directory entry whose name
// matches "*." (never "[.]"), and "[..]" exactly once unless currentDir is "/".
std::vector<std::string> DirectoryListEntries(const std::vector<CDirEntry>& entries,
                                              const std::string& currentDir);

// The file list's entry texts, sorted: the name of every entry that is not a directory and
// matches mask.
std::vector<std::string> FileListEntries(const std::vector<CDirEntry>& entries,
                                         std::string_view mask);

// The home directory: $HOME (or the user database's when $HOME is unset or empty) with
// symbolic links resolved where it exists, without a trailing "/" unless it is "/".
std::string HomeDirectory();

// The volume of a directory: "~" when it is home or lies inside it, "/" for any other
// absolute path, "" for an empty path (the current directory unknown).
std::string VolumeOfDirectory(std::string_view dir, std::string_view home);

// Makes path the process's current directory. A path of 4 or more characters ending in "/"
// loses that "/". "/:" and "~:" name a volume: they enter the directory last entered on it in
// this process, or its root ("/" or the home directory) when there is none or it has gone.
// Returns 0 on success; -1 on failure, and then nothing changes.
int EnterDirectory(const std::string& path);

// Forgets the directories remembered per volume (tests start from a clean state with it).
void ForgetVolumeDirectories();
