#pragma once
// An in-memory file for fuzz targets: the bytes of one input, reachable by a path, so that the
// code under test opens and reads it like any file on disk.

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

class CMemFile {
  public:
    CMemFile() {
        m_fd = ::memfd_create("kavel-fuzz", MFD_CLOEXEC);
        if (m_fd < 0)
            std::abort();
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~CMemFile() { ::close(m_fd); }
    CMemFile(const CMemFile&) = delete;
    CMemFile& operator=(const CMemFile&) = delete;

    // Replaces the file's contents with the pieces given, one after the other (a memory file
    // takes each write whole).
    void Set(const void* a, size_t aLen, const void* b = nullptr, size_t bLen = 0) {
        if (::ftruncate(m_fd, 0) != 0 || ::pwrite(m_fd, a, aLen, 0) != ssize_t(aLen) ||
            (bLen > 0 && ::pwrite(m_fd, b, bLen, off_t(aLen)) != ssize_t(bLen)))
            std::abort();
    }
    const std::string& Path() const { return m_path; }

  private:
    int m_fd = -1;
    std::string m_path;
};

// Stops the fuzzer with a message when a check fails; the input is saved as a crash.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);         \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
