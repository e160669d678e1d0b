#pragma once
// The files that names stand for: a file as it is, a folder walked through, the files under
// it in the byte order of their paths (the order of `find DIR -type f | LC_ALL=C sort`), so
// that a report is the same on every run and every machine. The walk can run on a thread of
// its own while the files already listed are checked; it keeps only the entries not yet
// taken, and stays a few thousand ahead, so that a tree of millions takes little memory.
//
// A walk opens every folder relative to the one it was found in, and no link inside it is
// followed; the files it lists are opened beneath the folder named (see CListedFile), or, when
// the walk opens them ahead, in the folder they were listed in, so that a name that has become
// a link, or anything but what was listed, fails to open instead of leading out of the tree.
// It walks without recursion and holds a bounded number of folders open, so that depth costs
// neither stack nor descriptors.

#include "core/lines/filepath.h"
#include "core/lines/stopflag.h"
#include "core/run/folderentries.h"
#include "core/run/listedqueue.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

class CTreeWalk {
  public:
    // The longest name a list may hold.
    static constexpr size_t LIST_NAME_MAX = 1 << 20;
    // Entries listed and not yet taken before a walk on its own thread waits: far more than
    // the run hands to its workers at once, and few enough to keep a walk of millions small.
    static constexpr size_t LEAD_MAX = 8192;

    // names: files and folders, in the order given; a symbolic link among them is followed.
    // excludes: globs (fnmatch, "*" does not cross "/") that leave out the files and folders
    // of a walk whose name, or path relative to the walked folder, matches; a glob ending in
    // "/" leaves out folders only, one starting with "/" is matched against the path only.
    CTreeWalk(std::vector<std::string> names, std::vector<std::string> excludes);
    ~CTreeWalk();
    CTreeWalk(const CTreeWalk&) = delete;
    CTreeWalk& operator=(const CTreeWalk&) = delete;

    // False for an exclude glob that can never match anything (empty, or only "/").
    static bool CanMatch(const std::string& glob);

    // Further names, read from fd after the names given and the lists added before: one per
    // line (LF, a CR before it dropped) or, with bNul, ended by NUL; empty names are skipped.
    // The list is read as the walk goes, so that the first files are checked while a pipe
    // still delivers the rest. A list that cannot be read to its end, a NUL in a list read by
    // lines, or a name longer than LIST_NAME_MAX ends the walk there (see ListError). The walk
    // closes fd, unless it is standard input. listName names the list in ListError.
    void AddList(int fd, bool bNul, std::string listName);
    // With bOpenAhead, a walk on its own thread opens each file as it lists it, as the file's
    // check would (see OpenListedForReading), at most a few dozen ahead of the checks: for a
    // run of one job, whose checks then read while the walk opens. With more jobs the workers
    // open the files side by side, and a walk that waits for them would hold them up.
    void SetOpenAhead(bool bOpenAhead);
    // A flag that, once set (by a signal handler), ends the walk as Stop does.
    void SetStopSignal(const StopFlag* pStopSignal);
    // A file the run reads or writes itself (see core/run/folderentries.h).
    using COwnFile = ::COwnFile;
    // Files that are left out wherever the walk meets them, in a folder or as a name given:
    // a walk tells them by the entry's inode, confirmed with fstatat (no link followed) only
    // when it is one of theirs; a name by stat, or by fstat of what it opened.
    void SetOwnFiles(std::vector<COwnFile> files);
    // The files left out so far, in the order listed, each once (under the first name met):
    // the name, and what the file is.
    std::vector<std::pair<std::string, std::string>> LeftOut() const;
    // With bWalk, a walk enters and checks .git, .hg and .svn too; else an entry of exactly
    // that name below a walked folder (a folder, or the file of a worktree's .git) is left out.
    void SetWalkVcs(bool bWalk);

    // Walks on a thread of its own; without it, Wait walks on the caller's thread.
    void Start();
    // Ends the walk early.
    void Stop();
    // The entries listed so far, taken or not.
    size_t Listed() const;
    // Waits at most timeout until more than known entries are listed or the walk is complete;
    // returns the number listed, and whether the walk is complete in *pComplete.
    size_t Wait(size_t known, std::chrono::milliseconds timeout, bool* pComplete = nullptr);
    // Entry index (below Listed()), handed over: the entries are taken in order, each once.
    // Inside a walk the entries are the regular files, and a folder that cannot be read (as
    // itself, so that it is reported as a file that cannot be opened); links, FIFOs, sockets
    // and devices are skipped, and so are the files of procfs and tracefs that hold no text or
    // whose read can wait for ever: pagemap, kmsg, kcore, mem, clear_refs, kpage* and
    // trace_pipe*, and version control metadata (see SetWalkVcs). A name given is taken as it
    // is, unless it is one of the run's own files (see SetOwnFiles).
    CListedFile Take(size_t index);
    // Why a list ended the walk, as "LIST:N: what" or "cannot read the list LIST"; else "".
    std::string ListError() const;
    // The names the walk was given or read from its lists, walked or not.
    size_t NamesGiven() const;

    // The whole list at once, as names; bWalkVcs as SetWalkVcs takes it.
    static std::vector<std::string> ListAll(std::vector<std::string> names,
                                            std::vector<std::string> excludes,
                                            bool bWalkVcs = false);

    // The call that opens a folder found in a walk (openat with the flags given); a test may
    // put another in its place (nullptr: openat again) to change the tree at that moment.
    using OpenFolderCall = int (*)(int dirFd, const char* name, int flags);
    static void SetOpenFolderCall(OpenFolderCall call);

  private:
    struct CList {
        int fd;
        bool bNul;
        std::string name;
    };
    struct CExclude {
        std::string glob;
        bool bFolderOnly; // it ended in "/"
        bool bAnchored;   // it started with "/": the path below the walked folder only
    };
    struct CFrame;
    struct CBelowRoot;
    class CHeld;

    void Walk();
    void WalkName(const std::string& name);
    void WalkTree(int rootFd, const std::string& name);
    void ListFile(const CFrame& frame, size_t i, const CBelowRoot& at,
                  std::vector<CListedFile>& files);
    void EnterFolder(std::vector<CFrame>& stack, std::string_view entry, const CBelowRoot& at);
    void PopFrame(std::vector<CFrame>& stack, const std::shared_ptr<const CWalkRoot>& root,
                  size_t below);
    void ReadList(const CList& list);
    void FailList(const CList& list, size_t line, const char* what);
    bool Excluded(std::string_view name, size_t below, bool bFolder);
    // The index of the own file with this identity, or -1.
    int OwnFile(dev_t dev, ino_t ino) const;
    void LeaveOut(const std::string& name, size_t own);
    // True when the walk opens the file it lists now (see SetOpenAhead), after a wait for
    // room among those opened ahead (the files pending are handed on first). Without a thread
    // of its own the walk lists everything before any is checked, and opens none.
    bool RoomToOpen(std::vector<CListedFile>* pending);
    // After an open failed for want of descriptors (errno EMFILE or ENFILE): the walk opens no
    // more files ahead, hands on the files pending and waits until those it opened are given
    // back. False when it was not opening ahead, or errno says otherwise.
    bool StopOpeningAhead(std::vector<CListedFile>* pending);
    // A file opened ahead, counted among those held until its last entry goes.
    std::shared_ptr<COpenedFile> Opened(int fd, const struct stat* st = nullptr);
    bool Stopped() const;
    void Emit(CListedFile file);
    void Emit(std::vector<CListedFile>& files); // empties files

    const std::vector<std::string> m_names;
    std::vector<CExclude> m_excludes;
    std::vector<CList> m_lists;
    std::vector<COwnFile> m_own;
    std::vector<bool> m_ownTold; // left out and told, by m_own's index
    std::vector<std::pair<std::string, std::string>> m_leftOut;
    bool m_bWalkVcs = false;
    const StopFlag* m_pStopSignal = nullptr;
    std::shared_ptr<CHeld> m_pRoots;  // walk roots still held by entries
    std::shared_ptr<CHeld> m_pOpened; // files opened ahead, held by entries
    CListedQueue m_queue;             // listed and not yet taken
    std::string m_path;               // the folder being walked, ending in "/"
    std::string m_strRelative;        // scratch for the path matched by excludes
    size_t m_nOpenFolders = 0;        // folder descriptors of the walk's own held open
    size_t m_nFirstOpen = 1;          // stack frames below this one hold none
    size_t m_nNamesGiven = 0;
    mutable std::mutex m_mutex; // the list error, the names given, the files left out
    bool m_bOwnThread = false;  // the walk runs on a thread of its own (set before it starts)
    bool m_bOpenAhead = false;
    std::string m_strListError;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bListFailed{false};
    std::thread m_thread;
};
