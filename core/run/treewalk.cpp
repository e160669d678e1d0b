#include "core/run/treewalk.h"

#include "core/run/folderentries.h"
#include "core/run/listedqueue.h"
#include "core/run/namelist.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <system_error>
#include <unistd.h>

namespace {

// Files handed over together: one lock and one wake-up for many files.
constexpr size_t EMIT_BATCH = 256;
// A walk that waits (for entries to be taken, or for a list to deliver) looks at its stop
// signal this often.
constexpr std::chrono::milliseconds STOP_LOOK{50};
// Folders of a walk held open at once; those further up are opened again from below ("..")
// when the walk comes back to them.
constexpr size_t OPEN_FOLDERS_MAX = 32;
// Walk roots held by entries not yet checked before the walk waits: each holds a descriptor.
constexpr size_t ROOTS_MAX = 256;
// Files opened ahead of their check by a walk on its own thread (see RoomToOpen): enough for
// the walk to keep ahead of the check.
constexpr size_t OPENED_MAX = 64;

// The descriptors the process may still open: below its limit and not in use.
size_t FreeDescriptors() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    const rlim_t max = std::min<rlim_t>(limit.rlim_cur, 1 << 20);
    size_t used = 0;
    if (DIR* open = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(open))
            used += entry->d_name[0] != '.' && std::strtoull(entry->d_name, nullptr, 10) < max;
        ::closedir(open);
    }
    return max > used ? static_cast<size_t>(max - used) : 0;
}

int OpenAt(int dirFd, const char* name, int flags) {
    return ::openat(dirFd, name, flags);
}

std::atomic<CTreeWalk::OpenFolderCall> g_openFolder{OpenAt};

// Opens the folder levels above the one open at fd ("../.."), a piece at a time; -1 on failure.
int OpenUp(int fd, size_t levels) {
    constexpr size_t PIECE = 1000; // "../" each, well below the path limit
    CFd owned;                     // the folder reached above fd, once there is one
    while (levels > 0) {
        const size_t n = std::min(levels, PIECE);
        std::string up;
        for (size_t i = 0; i < n; ++i)
            up += i == 0 ? ".." : "/..";
        CFd next(::openat(owned.Get() >= 0 ? owned.Get() : fd, up.c_str(),
                          O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (next.Get() < 0)
            return -1;
        owned = std::move(next);
        levels -= n;
    }
    return owned.Get() >= 0 ? owned.Release() : fd;
}

} // namespace

// A folder on the walk's way down: its descriptor, its entries and how far they are walked.
struct CTreeWalk::CFrame {
    CFd own;         // the walk's own descriptor of it; none while closed to bound them
    int rootFd = -1; // the walk root's (the bottom frame only), which its entries hold
    dev_t dev{};
    ino_t ino{};
    CFolderEntries entries;
    size_t next = 0;  // the next entry to walk
    size_t nPath = 0; // the length of m_path for this folder
    size_t nUp = 0;   // folders from the one below in the stack to this one

    // The folder's descriptor, -1 while it is closed.
    int Fd() const { return own.Get() >= 0 ? own.Get() : rootFd; }
};

// Where a walk's files are listed: below its root, the names below it starting at nBelow.
struct CTreeWalk::CBelowRoot {
    const std::shared_ptr<const CWalkRoot>& root;
    size_t nBelow;

    CListedFile Listed(std::string path) const {
        CListedFile file(std::move(path));
        file.root = root;
        file.nBelow = nBelow;
        return file;
    }
};

// Descriptors held by entries (walk roots, or files opened ahead), and a wake-up for a walk
// that waits for room. It is woken when half the room is free again, not at every release.
class CTreeWalk::CHeld {
  public:
    explicit CHeld(size_t max) : m_nMax(max) {}
    void SetMax(size_t max) {
        std::lock_guard lock(m_mutex);
        m_nMax = max;
    }
    void Add() {
        std::lock_guard lock(m_mutex);
        ++m_nLive;
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        if (--m_nLive <= m_nMax / 2 && m_bWaiting)
            m_free.notify_all();
    }
    // Waits at most timeout for fewer than the maximum to be held.
    bool WaitForRoom(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        if (m_nLive < m_nMax)
            return true;
        m_bWaiting = true;
        const bool room = m_free.wait_for(lock, timeout, [this] { return m_nLive < m_nMax; });
        m_bWaiting = false;
        return room;
    }
    // Waits at most timeout for none to be held.
    bool WaitForNone(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        m_bWaiting = true;
        const bool none = m_free.wait_for(lock, timeout, [this] { return m_nLive == 0; });
        m_bWaiting = false;
        return none;
    }
    bool HasRoom() {
        std::lock_guard lock(m_mutex);
        return m_nLive < m_nMax;
    }
    void Wake() {
        std::lock_guard lock(m_mutex);
        m_free.notify_all();
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_free;
    size_t m_nMax;
    size_t m_nLive = 0;
    bool m_bWaiting = false;
};

CTreeWalk::CTreeWalk(std::vector<std::string> names, std::vector<std::string> excludes)
    : m_names(std::move(names)), m_pRoots(std::make_shared<CHeld>(ROOTS_MAX)),
      m_pOpened(std::make_shared<CHeld>(OPENED_MAX)), m_queue(LEAD_MAX, STOP_LOOK) {
    for (std::string& glob : excludes) {
        CExclude exclude{std::move(glob), false, false};
        while (!exclude.glob.empty() && exclude.glob.back() == '/') {
            exclude.glob.pop_back();
            exclude.bFolderOnly = true;
        }
        const size_t start = exclude.glob.find_first_not_of('/');
        exclude.bAnchored = start > 0 && start != std::string::npos;
        exclude.glob.erase(0, std::min(start, exclude.glob.size()));
        if (!exclude.glob.empty())
            m_excludes.push_back(std::move(exclude));
    }
}

CTreeWalk::~CTreeWalk() {
    Stop();
    if (m_thread.joinable())
        m_thread.join();
    for (const CList& list : m_lists)
        if (list.fd != STDIN_FILENO && list.fd >= 0)
            ::close(list.fd);
}

bool CTreeWalk::CanMatch(const std::string& glob) {
    return glob.find_first_not_of('/') != std::string::npos;
}

void CTreeWalk::SetOpenFolderCall(OpenFolderCall call) {
    g_openFolder = call != nullptr ? call : OpenAt;
}

void CTreeWalk::AddList(int fd, bool bNul, std::string listName) {
    m_lists.push_back({fd, bNul, std::move(listName)});
}

void CTreeWalk::SetOpenAhead(bool bOpenAhead) {
    m_bOpenAhead = bOpenAhead;
}

void CTreeWalk::SetStopSignal(const StopFlag* pStopSignal) {
    m_pStopSignal = pStopSignal;
}

void CTreeWalk::SetOwnFiles(std::vector<COwnFile> files) {
    m_own.clear();
    for (COwnFile& file : files) // a file that is two of them is left out as the first
        if (OwnFile(file.dev, file.ino) < 0)
            m_own.push_back(std::move(file));
    m_ownTold.assign(m_own.size(), false);
}

std::vector<std::pair<std::string, std::string>> CTreeWalk::LeftOut() const {
    std::lock_guard lock(m_mutex);
    return m_leftOut;
}

void CTreeWalk::SetWalkVcs(bool bWalk) {
    m_bWalkVcs = bWalk;
}

int CTreeWalk::OwnFile(dev_t dev, ino_t ino) const {
    for (size_t i = 0; i < m_own.size(); ++i)
        if (m_own[i].dev == dev && m_own[i].ino == ino)
            return static_cast<int>(i);
    return -1;
}

void CTreeWalk::LeaveOut(const std::string& name, size_t own) {
    own = std::min(own, m_own.size() - 1);
    if (m_ownTold[own])
        return;
    m_ownTold[own] = true;
    std::lock_guard lock(m_mutex);
    m_leftOut.emplace_back(name, m_own[own].what);
}

void CTreeWalk::Start() {
    // What the walk holds is bounded by the descriptors still free, so that its folders, the
    // checks' own opens and the rest of the run never want for one: a quarter at most for
    // walk roots, a sixteenth for files opened ahead (none when that is none).
    const size_t free = FreeDescriptors();
    m_pRoots->SetMax(std::clamp<size_t>(free / 4, 1, ROOTS_MAX));
    m_pOpened->SetMax(std::min(OPENED_MAX, free / 16));
    m_bOpenAhead = m_bOpenAhead && free / 16 > 0;
    // The walker takes no signals: a stop signal must reach the thread that writes the report.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    m_bOwnThread = true;
    try {
        m_thread = std::thread([this] { Walk(); });
    } catch (const std::system_error&) {
        m_bOwnThread = false; // no thread: Wait walks on the caller's
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void CTreeWalk::Stop() {
    m_bStop = true;
    m_queue.Wake();
    m_pRoots->Wake();
    m_pOpened->Wake();
}

bool CTreeWalk::Stopped() const {
    return m_bStop || m_bListFailed || (m_pStopSignal != nullptr && *m_pStopSignal != 0);
}

size_t CTreeWalk::Listed() const {
    return m_queue.Listed();
}

size_t CTreeWalk::Wait(size_t known, std::chrono::milliseconds timeout, bool* pComplete) {
    if (!m_bOwnThread && !m_queue.IsComplete())
        Walk();
    return m_queue.Wait(known, timeout, pComplete);
}

CListedFile CTreeWalk::Take(size_t index) {
    return m_queue.Take(index);
}

std::string CTreeWalk::ListError() const {
    std::lock_guard lock(m_mutex);
    return m_strListError;
}

size_t CTreeWalk::NamesGiven() const {
    std::lock_guard lock(m_mutex);
    return m_nNamesGiven;
}

std::vector<std::string> CTreeWalk::ListAll(std::vector<std::string> names,
                                            std::vector<std::string> excludes, bool bWalkVcs) {
    CTreeWalk walk(std::move(names), std::move(excludes));
    walk.SetWalkVcs(bWalkVcs);
    walk.Wait(0, std::chrono::milliseconds(0));
    std::vector<std::string> listed;
    for (CListedFile& file : walk.m_queue.TakeAll())
        listed.push_back(std::move(file.name));
    return listed;
}

void CTreeWalk::Walk() {
    for (const std::string& name : m_names) {
        if (Stopped())
            break;
        WalkName(name);
    }
    for (const CList& list : m_lists) {
        if (Stopped())
            break;
        ReadList(list);
    }
    m_queue.Complete();
}

void CTreeWalk::WalkName(const std::string& name) {
    {
        std::lock_guard lock(m_mutex);
        ++m_nNamesGiven;
    }
    // A name given is followed where it leads, links included; a folder is walked from the
    // descriptor opened here. Anything else is listed as it is, to be checked, or reported as
    // a file that cannot be opened. The name is opened once: as a file is read, and a file
    // handed on opened, where the walk may hold it (see RoomToOpen); else as a folder only.
    CListedFile file(name);
    struct stat st;
    if (RoomToOpen(nullptr)) {
        const int fd = OpenPath(name, LISTED_READ_FLAGS);
        if (fd >= 0 || !StopOpeningAhead(nullptr)) {
            const bool bStat = fd >= 0 && ::fstat(fd, &st) == 0;
            if (bStat && S_ISDIR(st.st_mode)) {
                WalkTree(fd, name);
                return;
            }
            if (const int own = bStat ? OwnFile(st.st_dev, st.st_ino) : -1; own >= 0) {
                CFd(fd).Reset();
                LeaveOut(name, own);
                return;
            }
            if (fd >= 0)
                file.opened = Opened(fd, bStat ? &st : nullptr);
            Emit(std::move(file));
            return;
        }
    }
    // Only a folder is opened here; what stat cannot look at (a name longer than the system
    // takes at once) is tried as a folder too.
    const bool bStat = ::stat(name.c_str(), &st) == 0;
    if (const int own = bStat ? OwnFile(st.st_dev, st.st_ino) : -1; own >= 0) {
        LeaveOut(name, own);
        return;
    }
    const int fd = bStat && !S_ISDIR(st.st_mode)
                       ? -1
                       : OpenPath(name, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        Emit(std::move(file));
    else
        WalkTree(fd, name);
}

bool CTreeWalk::RoomToOpen(std::vector<CListedFile>* pending) {
    if (!m_bOpenAhead || !m_bOwnThread)
        return false;
    if (!m_pOpened->HasRoom()) {
        // The files listed meanwhile go first: their checks are what frees the room.
        if (pending != nullptr)
            Emit(*pending);
        while (!Stopped() && !m_pOpened->WaitForRoom(STOP_LOOK)) {
        }
    }
    return !Stopped();
}

bool CTreeWalk::StopOpeningAhead(std::vector<CListedFile>* pending) {
    if (!m_bOpenAhead || (errno != EMFILE && errno != ENFILE))
        return false;
    m_bOpenAhead = false;
    if (pending != nullptr)
        Emit(*pending);
    while (!Stopped() && !m_pOpened->WaitForNone(STOP_LOOK)) {
    }
    return !Stopped();
}

std::shared_ptr<COpenedFile> CTreeWalk::Opened(int fd, const struct stat* st) {
    m_pOpened->Add();
    const std::shared_ptr<CHeld> count = m_pOpened;
    return std::shared_ptr<COpenedFile>(new COpenedFile(fd, st), [count](COpenedFile* p) {
        delete p;
        count->Release();
    });
}

// The walk of one folder named: down the tree with a stack of folders, each opened relative to
// the one above it, links not followed.
void CTreeWalk::WalkTree(int rootFd, const std::string& name) {
    // Each root holds a descriptor until the files listed below it are checked: a walk of
    // many small folders waits for some to be done.
    while (m_bOwnThread && !Stopped() && !m_pRoots->WaitForRoom(STOP_LOOK)) {
    }
    m_pRoots->Add();
    const std::shared_ptr<CHeld> count = m_pRoots;
    const std::shared_ptr<const CWalkRoot> root(new CWalkRoot(rootFd), [count](CWalkRoot* p) {
        delete p;
        count->Release();
    });

    std::vector<CFrame> stack(1);
    CFrame& top = stack.back();
    if (!top.entries.Read(rootFd, m_own, !m_bWalkVcs)) {
        Emit(CListedFile(name)); // nothing is skipped silently
        return;
    }
    top.rootFd = rootFd;
    m_path = name;
    if (m_path.back() != '/')
        m_path += '/';
    const size_t below = m_path.size(); // where the names below the root start
    top.nPath = below;
    m_nOpenFolders = 0;
    m_nFirstOpen = 1;

    std::vector<CListedFile> files;
    while (!stack.empty() && !Stopped()) {
        CFrame& frame = stack.back();
        if (frame.next == frame.entries.Size()) {
            PopFrame(stack, root, below);
            continue;
        }
        const size_t i = frame.next++;
        const std::string_view entry = frame.entries.Name(i);
        const bool bFolder = frame.entries.IsFolder(i);
        m_path.resize(frame.nPath);
        m_path += entry;
        if (!m_excludes.empty() && Excluded(entry, below, bFolder))
            continue;
        if (!bFolder) {
            ListFile(frame, i, {root, below}, files);
            continue;
        }
        Emit(files);
        EnterFolder(stack, entry, {root, below});
    }
    Emit(files);
}

// The file at m_path, entry i of the folder on top: listed below the root, opened ahead in
// the folder it was listed in when there is room, handed on in batches.
void CTreeWalk::ListFile(const CFrame& frame, size_t i, const CBelowRoot& at,
                         std::vector<CListedFile>& files) {
    if (const size_t own = frame.entries.Own(i); own != 0) {
        LeaveOut(m_path, own - 1);
        return;
    }
    CListedFile file = at.Listed(m_path);
    // Opened in the folder it was listed in, as it was listed: a link now fails.
    if (frame.Fd() >= 0 && RoomToOpen(&files)) {
        const int fd = OpenAt(frame.Fd(), m_path.c_str() + frame.nPath,
                              LISTED_READ_FLAGS | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0)
            file.opened = Opened(fd);
        else
            StopOpeningAhead(&files);
    }
    files.push_back(std::move(file));
    if (files.size() >= EMIT_BATCH)
        Emit(files);
}

// The folder at m_path, entry of the folder on top: opened relative to that folder, and only
// as a folder (one that has become a link or anything else since it was listed is reported,
// not followed), its entries read, and put on the stack.
void CTreeWalk::EnterFolder(std::vector<CFrame>& stack, std::string_view entry,
                            const CBelowRoot& at) {
    CFrame& frame = stack.back();
    CFrame child;
    const auto openFolder = [&] {
        return g_openFolder.load()(frame.Fd(), std::string(entry).c_str(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    };
    child.own.Reset(openFolder());
    if (child.Fd() < 0 && StopOpeningAhead(nullptr))
        child.own.Reset(openFolder()); // with the files opened ahead given back
    struct stat st;
    if (child.Fd() < 0 || ::fstat(child.Fd(), &st) != 0 ||
        !child.entries.Read(child.Fd(), m_own, !m_bWalkVcs)) {
        Emit(at.Listed(m_path));
        return;
    }
    child.dev = st.st_dev;
    child.ino = st.st_ino;
    m_path += '/';
    child.nPath = m_path.size();
    child.nUp = 1;
    ++m_nOpenFolders;
    // A folder with nothing left to walk is not come back to: its child takes its place, so
    // that a deep chain of folders keeps a short stack.
    if (frame.next == frame.entries.Size() && stack.size() > 1) {
        child.nUp += frame.nUp;
        if (frame.own.Get() >= 0) {
            frame.own.Reset();
            --m_nOpenFolders;
        }
        stack.pop_back();
        m_nFirstOpen = std::min(m_nFirstOpen, stack.size());
    }
    stack.push_back(std::move(child));
    // Past the bound, the lowest folder held open is closed; it is opened again from below
    // when the walk comes back to it.
    while (m_nOpenFolders > OPEN_FOLDERS_MAX && m_nFirstOpen + 1 < stack.size()) {
        CFrame& low = stack[m_nFirstOpen++];
        if (low.own.Get() >= 0) {
            low.own.Reset();
            --m_nOpenFolders;
        }
    }
}

// The folder on top is done: the walk goes back to the one below it, which is opened again
// through ".." when it was closed, and must be the folder it was.
void CTreeWalk::PopFrame(std::vector<CFrame>& stack, const std::shared_ptr<const CWalkRoot>& root,
                         size_t below) {
    CFrame done = std::move(stack.back());
    stack.pop_back();
    size_t up = done.nUp;
    while (!stack.empty() && stack.back().Fd() < 0) {
        CFrame& frame = stack.back();
        const auto isFrame = [&frame](int fd) {
            struct stat st;
            if (fd >= 0 && ::fstat(fd, &st) == 0 && st.st_dev == frame.dev &&
                st.st_ino == frame.ino)
                return true;
            CFd(fd).Reset(); // closed, errno kept
            return false;
        };
        // Up from the folder just walked, or, when that was moved away meanwhile, down from
        // the root by the folder's path: either way no link is followed, nor the tree left.
        int fd = OpenUp(done.Fd(), up);
        if (!isFrame(fd)) {
            fd =
                OpenBeneath(root->Fd(), std::string_view(m_path).substr(below, frame.nPath - below),
                            O_PATH | O_DIRECTORY);
            if (!isFrame(fd))
                fd = -1;
        }
        if (fd >= 0) {
            frame.own.Reset(fd);
            ++m_nOpenFolders;
            break;
        }
        // The folder itself was moved or replaced while the walk was below it: the rest of it
        // is not listed from where it now lies; it is reported as a folder that cannot be read.
        CListedFile failed(m_path.substr(0, frame.nPath - 1));
        failed.root = root;
        failed.nBelow = below;
        Emit(std::move(failed));
        up += frame.nUp;
        stack.pop_back();
    }
    m_nFirstOpen = std::min(m_nFirstOpen, std::max<size_t>(stack.size(), 1) - 1);
    if (m_nFirstOpen == 0)
        m_nFirstOpen = 1;
    if (done.own.Get() >= 0) {
        done.own.Reset();
        --m_nOpenFolders;
    }
}

bool CTreeWalk::Excluded(std::string_view name, size_t below, bool bFolder) {
    m_strRelative.assign(m_path, below);
    const std::string entry(name);
    for (const CExclude& exclude : m_excludes) {
        if (exclude.bFolderOnly && !bFolder)
            continue;
        if ((!exclude.bAnchored && ::fnmatch(exclude.glob.c_str(), entry.c_str(), 0) == 0) ||
            ::fnmatch(exclude.glob.c_str(), m_strRelative.c_str(), FNM_PATHNAME) == 0)
            return true;
    }
    return false;
}

// A list is read as it comes, with a look at the stop now and then: a pipe may deliver slowly
// or never end. Each byte is looked at once, and a name is held only up to the longest allowed.
void CTreeWalk::ReadList(const CList& list) {
    const CListEnd end = ReadNameList(
        list.fd, list.bNul, LIST_NAME_MAX, [this] { return Stopped(); },
        [this](const std::string& name) { WalkName(name); });
    if (end.bReadFailed) {
        std::lock_guard lock(m_mutex);
        if (m_strListError.empty())
            m_strListError = "cannot read the list " + list.name;
        m_bListFailed = true;
    } else if (end.pszBad != nullptr) {
        FailList(list, end.nLine, end.pszBad);
    }
}

void CTreeWalk::FailList(const CList& list, size_t line, const char* what) {
    std::lock_guard lock(m_mutex);
    if (m_strListError.empty())
        m_strListError = list.name + ":" + std::to_string(line) + ": " + what;
    m_bListFailed = true;
}

void CTreeWalk::Emit(CListedFile file) {
    std::vector<CListedFile> one;
    one.push_back(std::move(file));
    Emit(one);
}

void CTreeWalk::Emit(std::vector<CListedFile>& files) {
    // On its own thread the walk stays at most about LEAD_MAX entries ahead of the taking.
    m_queue.Push(files, m_bOwnThread, [this] { return Stopped(); });
}
