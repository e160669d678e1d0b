#pragma once
// The lines a change touched, as git sees them: every line added or changed in the working
// tree since the merge base of a revision and HEAD, renames followed. git runs without a
// shell, every setting that would change its output overridden, and its patch is read as it
// comes: only the names and the hunk headers are kept, so that a change of any size takes
// little memory.

#include "core/lines/stopflag.h"
#include "core/report/formats.h"

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

// A file of a patch, as its header and hunks give it.
struct CDiffFile {
    std::string name;    // in the working tree, from the repository's top
    std::string oldName; // before the change (another for a rename or copy)
    bool bDeleted = false;
    bool bBinary = false; // git shows no lines: the whole file counts as changed
    bool bSkip = false;   // a link or a submodule: nothing to check
    CLineRanges lines;
};

// Reads `git diff --unified=0` output as it comes, in pieces of any size.
class CDiffReader {
  public:
    void Feed(std::string_view bytes);
    // The files, once the output has ended.
    std::vector<CDiffFile> End();

  private:
    void Line(std::string_view line);
    void FindRemovedMarker(std::string_view part);

    std::vector<CDiffFile> m_files;
    std::string m_line;
    bool m_bInHunks = false; // past the first hunk header of the file
    long m_nAfterHunk = 0;   // the new side's line after the hunk being read
    // A next-line marker among the hunk's removed lines; the last bytes of the line so far.
    bool m_bMarkerRemoved = false;
    std::string m_strTail;
};

// A C-quoted name of git ("a\tb", octal bytes) as its bytes; a name not in quotes as it is.
// prefix: the "a/" or "b/" that git put before it, dropped.
std::string GitName(std::string_view text, std::string_view prefix);

class CGitChanges : public CChangedLines {
  public:
    // Asks git in the current folder for the change since the merge base of rev and HEAD (the
    // empty tree while HEAD has no commit). False with git's reason in message; false with an
    // empty message once *stop is nonzero (git is ended then).
    bool Load(const std::string& rev, const StopFlag* stop, std::string& message);

    // The changed files that can be checked.
    size_t Count() const { return m_byId.size(); }
    // The files gone (deleted or renamed away), as paths from the current folder.
    const std::vector<std::string>& Gone() const { return m_gone; }
    // The lines of the file with this identity; null when it did not change.
    const CLineRanges* Find(dev_t dev, ino_t ino) const;
    // The run takes a changed file under this name: its judge finds the lines by it.
    void Note(const std::string& name, const CLineRanges* lines);
    const CLineRanges* Of(const std::string& name) const override;

    // Takes the files of a patch (for tests: without git).
    void Take(std::vector<CDiffFile> files, std::string prefix);

  private:
    std::string FromHere(const std::string& name) const;

    std::string m_strPrefix; // the current folder from the top, "" or "sub/dir/"
    std::vector<CDiffFile> m_files;
    std::map<std::pair<dev_t, ino_t>, size_t> m_byId;
    std::vector<std::string> m_gone;
    mutable std::mutex m_mutex;
    std::map<std::string, const CLineRanges*> m_noted;
};
