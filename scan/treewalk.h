#pragma once
// The files that names stand for: a file as it is, a folder walked through, the files under
// it in the byte order of their paths (the order of `find DIR -type f | LC_ALL=C sort`), so
// that a report is the same on every run and every machine. The walk can run on a thread of
// its own while the files already listed are checked; it keeps only the entries not yet
// taken, and stays a few thousand ahead, so that a tree of millions takes little memory.

#include "scan/stopflag.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CTreeWalk {
  public:
    // names: files and folders, in the order given; a symbolic link among them is followed.
    // excludes: globs (fnmatch, "*" does not cross "/") that leave out the files and folders
    // of a walk whose name, or path relative to the walked folder, matches.
    CTreeWalk(std::vector<std::string> names, std::vector<std::string> excludes);
    ~CTreeWalk();
    CTreeWalk(const CTreeWalk&) = delete;
    CTreeWalk& operator=(const CTreeWalk&) = delete;

    // Further names, read from fd after the names given and the lists added before: one per
    // line (LF, a CR before it dropped) or, with bNul, ended by NUL; empty names are skipped.
    // The list is read as the walk goes, so that the first files are checked while a pipe
    // still delivers the rest. The walk closes fd, unless it is standard input. listName
    // names the list in FailedList.
    void AddList(int fd, bool bNul, std::string listName);
    // A flag that, once set (by a signal handler), ends the walk as Stop does.
    void SetStopSignal(const StopFlag* pStopSignal);

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
    // and devices are skipped.
    std::string Take(size_t index);
    // The name of a list that could not be read to its end, else "".
    std::string FailedList() const;

    // The whole list at once.
    static std::vector<std::string> ListAll(std::vector<std::string> names,
                                            std::vector<std::string> excludes);

  private:
    struct CList {
        int fd;
        bool bNul;
        std::string name;
    };

    void Walk();
    void WalkName(const std::string& name);
    void ReadList(const CList& list);
    void WalkFolder(const std::string& path, const std::string& relative, bool bFollow);
    bool Excluded(const std::string& name, const std::string& relative) const;
    bool Stopped() const;
    void Emit(std::string name);
    void Emit(std::vector<std::string>& names); // empties names

    const std::vector<std::string> m_names;
    const std::vector<std::string> m_excludes;
    std::vector<CList> m_lists;
    const StopFlag* m_pStopSignal = nullptr;
    mutable std::mutex m_mutex;
    std::condition_variable m_listed;  // entries listed, or the walk complete
    std::condition_variable m_taken;   // entries taken: a walk that is far ahead goes on
    std::deque<std::string> m_entries; // listed and not yet taken
    size_t m_nTaken = 0;
    bool m_bComplete = false;
    bool m_bWalkWaits = false; // the walk waits for entries to be taken
    bool m_bOwnThread = false; // the walk runs on a thread of its own (set before it starts)
    std::string m_strFailedList;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};
