#pragma once
// Line-oriented file access: one RAII file type with a buffer, and the line reader and writer
// that every text file of the program goes through. The bulk splitter of the scan is in
// linesplit.h.

#include "core/lines/filepath.h"
#include "core/lines/stopflag.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

// A file opened either for reading or for writing, on a POSIX descriptor. Reads and writes are
// buffered; the observable results are those of unbuffered byte-wise access.
class CLineFile {
  public:
    static constexpr size_t BUFFER_SIZE = 128 * 1024;

    // The system call that reads a file; a test may put another in its place (nullptr: the
    // system's read again). It must be set before files are read, and serve any thread.
    using ReadCall = ssize_t (*)(int fd, void* buffer, size_t count);
    static void SetReadCall(ReadCall call);

    CLineFile() = default;
    ~CLineFile();
    CLineFile(const CLineFile&) = delete;
    CLineFile& operator=(const CLineFile&) = delete;

    // Opens an existing regular file read-only. Anything else (missing, no permission, a
    // directory, a FIFO, a device) fails without blocking.
    bool OpenRead(const std::string& path);
    // The same for a name of the file list (see OpenListedForReading).
    bool OpenListed(const CListedFile& file);
    // Reads from a copy of fd, which may be a pipe or a terminal (standard input): a read that
    // waits looks at SetKeepReading's answer now and then, and a signal breaks it.
    bool OpenStream(int fd);
    // Creates the file, or truncates an existing one to zero length. Devices are allowed
    // (/dev/null, /dev/full); a FIFO without a reader fails instead of blocking.
    bool Create(const std::string& path);
    // Create for a report run's output file: a regular file is locked (an advisory flock) for
    // as long as it is open, and left untouched when another run holds it (IN_USE). Where the
    // file system has no locks, it is created without one.
    enum class ECreate { CREATED, FAILED, IN_USE };
    ECreate CreateLocked(const std::string& path);
    bool IsOpen() const { return m_fd >= 0; }
    // Flushes pending writes and closes. Returns false when any write of this file failed.
    bool Close();

    // Reading: reads stop at this many bytes from the start of the file (used to scan the
    // report's own output file only up to where it stood when the scan opened it).
    void LimitReadLength(off_t length) { m_nReadLimit = length; }
    // Reads no further than the file's length as the system tells it now, or as it was at the
    // open (bAtOpen). On file systems whose files report a size of 0 and still have content
    // (the kernel's procfs and sysfs), a size of 0 says nothing: such a file is read to its end.
    void LimitToLength(bool bAtOpen);
    // Asked before every read from the file (at least every BUFFER_SIZE bytes); once it
    // returns false, the file reads as ended and Stopped() tells so.
    void SetKeepReading(std::function<bool()> keepReading) {
        m_keepReading = std::move(keepReading);
    }
    bool Stopped() const { return m_bStopped; }
    // True when the line read last was cut right after a CR: a LF that comes next is data,
    // the first character of the next line. Kept by the line readers (ReadTextLine, the file
    // scanner); false after opening.
    bool CutAfterCr() const { return m_bCutAfterCr; }
    void SetCutAfterCr(bool cut) { m_bCutAfterCr = cut; }
    // Next byte, or -1 at end of file (a read error counts as end of file, and ReadFailed
    // tells it apart).
    int GetByte() {
        if (m_nPos == m_nEnd && !Fill())
            return -1;
        return static_cast<unsigned char>(m_pBuffer[m_nPos++]);
    }
    // The unread bytes in the buffer, refilled when empty; an empty result means end of file.
    // Consume(n) takes n of them.
    std::pair<const char*, size_t> Peek() {
        if (m_nPos == m_nEnd && !Fill())
            return {nullptr, 0};
        return {m_pBuffer.get() + m_nPos, m_nEnd - m_nPos};
    }
    void Consume(size_t n) { m_nPos += n; }
    // Moves the unread bytes to the front of the buffer and reads more behind them. False when
    // nothing more came (end of file, a read error, or the buffer already full).
    bool ReadMore();

    // Writing: while a write waits for a reader that takes nothing now, stopping() is called
    // about ten times a second (the program may handle its events there); once it has said
    // true, a write that cannot go on within about a second fails instead of waiting: a reader
    // that takes nothing cannot hold a stopped program.
    void SetWriteWait(std::function<bool()> stopping) { m_stopping = std::move(stopping); }
    // Queues the bytes; false once any write has failed (the data is dropped then).
    bool Write(const char* data, size_t len);
    // Writes out the queued bytes; false once any write has failed.
    bool Flush();
    bool WriteFailed() const { return m_bWriteFailed; }
    // True once a read has failed (an I/O error rather than the end of the file).
    bool ReadFailed() const { return m_bReadFailed; }
    // Why the last open for reading or a read failed, a text that lasts as long as the program:
    // the system's words for the error, or what was found in place of a regular file ("is a
    // folder"); nullptr when nothing failed.
    const char* FailReason() const { return m_pszFailReason; }
    // True when the file ended before the read limit: it was truncated while it was read.
    bool Shrank() const { return m_bShrank; }

    // Device and inode of the open file, to recognise the same file under another name, and
    // its present size.
    bool Identity(dev_t& dev, ino_t& ino, off_t* size = nullptr) const;
    // The same as OpenRead found them, without asking the system again.
    void IdentityAtOpen(dev_t& dev, ino_t& ino, off_t& size) const {
        dev = m_openedDev;
        ino = m_openedIno;
        size = m_nOpenedSize;
    }

  private:
    // Takes fd for reading; opened is its fstat when the caller has it already.
    bool AdoptForReading(int fd, bool bStream = false, const struct stat* opened = nullptr);
    void AdoptForWriting(int fd);
    bool Fill();
    // Reads at most want bytes to dst, within the read limit; the count read, 0 at the end.
    size_t ReadInto(char* dst, size_t want);

    int m_fd = -1;
    bool m_bWriting = false;
    bool m_bWriteFailed = false;
    bool m_bReadFailed = false;
    bool m_bShrank = false;
    const char* m_pszFailReason = nullptr;
    std::unique_ptr<char[]> m_pBuffer;
    size_t m_nPos = 0;
    size_t m_nEnd = 0;
    bool m_bCutAfterCr = false;
    dev_t m_openedDev{};
    ino_t m_openedIno{};
    off_t m_nOpenedSize = 0;
    off_t m_nReadSoFar = 0;
    off_t m_nReadLimit = -1;
    std::function<bool()> m_keepReading;
    bool m_bStopped = false;
    std::function<bool()> m_stopping;
};

// Writes all len bytes to fd; false when a write fails. A descriptor that takes nothing now
// (a non-blocking pipe, FIFO or terminal) is waited for; once *stopSignal is nonzero, no
// longer than about a second.
bool WriteAllBytes(int fd, const char* data, size_t len, const StopFlag* stopSignal);
// The same with stopping() called while the write waits (see CLineFile::SetWriteWait).
bool WriteAllBytes(int fd, const char* data, size_t len, const std::function<bool()>& stopping);

// Reads one line into buffer (which holds maxChars + 1 characters) and ends it with NUL.
// Returns 0 when a line was read (possibly empty), 1 at end of file. A LF ends a line, and a CR
// read just before it in the same call belongs to the line end; a lone CR is data. A longer
// line comes back in pieces of maxChars characters. A LF that is a call's first byte ends an
// empty line, unless the call before was cut right after a CR: that LF stays data, the first
// character of the line, so a CR LF split by a cut reads as it always did. maxChars must be at
// least 1.
int ReadTextLine(CLineFile& file, char* buffer, unsigned maxChars);

// Reads one whole line of any length (a LF ends it, with a CR right before it), keeping at
// most keepChars of its bytes in line and skipping the rest. Returns 0 when a line was read, 1
// at end of file.
int ReadWholeTextLine(CLineFile& file, std::string& line, size_t keepChars);

// Writes the text, then CR LF. A failed write is remembered by the file (WriteFailed).
void WriteTextLine(CLineFile& file, const char* text, size_t len);
inline void WriteTextLine(CLineFile& file, const std::string& text) {
    WriteTextLine(file, text.data(), text.size());
}
