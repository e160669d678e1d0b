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

    // Replaces the file's contents with the pieces given, one after the other.
    void Set(const void* a, size_t aLen, const void* b = nullptr, size_t bLen = 0) {
        if (::ftruncate(m_fd, 0) != 0 || !WriteAt(a, aLen, 0) || !WriteAt(b, bLen, aLen))
            std::abort();
    }
    const std::string& Path() const { return m_path; }

  private:
    bool WriteAt(const void* data, size_t len, off_t at) {
        const char* p = static_cast<const char*>(data);
        while (len > 0) {
            ssize_t n = ::pwrite(m_fd, p, len, at);
            if (n <= 0)
                return false;
            p += n;
            at += n;
            len -= static_cast<size_t>(n);
        }
        return true;
    }

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
