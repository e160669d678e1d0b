#pragma once
// The files that names stand for: a file as it is, a folder walked through, the files under
// it in the byte order of their paths (the order of `find DIR -type f | LC_ALL=C sort`), so
// that a report is the same on every run and every machine. The walk can run on a thread of
// its own while the files already listed are checked.

#include <atomic>
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

    // Walks on a thread of its own; without it, Wait walks on the caller's thread.
    void Start();
    // Ends the walk early.
    void Stop();
    // The entries listed so far.
    size_t Listed() const;
    // Waits until more than known entries are listed or the walk is complete; returns the
    // number listed.
    size_t Wait(size_t known);
    // Entry index (below Listed()). Inside a walk: the regular files, and a folder that cannot
    // be read (as itself, so that it is reported as a file that cannot be opened); links,
    // FIFOs, sockets and devices are skipped.
    std::string Name(size_t index) const;

    // The whole list at once.
    static std::vector<std::string> ListAll(std::vector<std::string> names,
                                            std::vector<std::string> excludes);

  private:
    void Walk();
    void WalkFolder(const std::string& path, const std::string& relative);
    bool Excluded(const std::string& name, const std::string& relative) const;
    void Emit(std::string name);
    void Emit(std::vector<std::string>& names); // empties names

    const std::vector<std::string> m_names;
    const std::vector<std::string> m_excludes;
    mutable std::mutex m_mutex;
    std::condition_variable m_listed;
    std::deque<std::string> m_entries;
    bool m_bComplete = false;
    int m_nWaiting = 0; // callers of Wait that wait
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};
