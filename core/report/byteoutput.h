#pragma once
// The bytes of kavel-report's standard output, gathered and written to a descriptor.

#include "core/lines/stopflag.h"

#include <string>
#include <string_view>

// Bytes for a descriptor, gathered and written in large pieces; after a stop signal a reader
// that takes nothing for a second counts as a failure.
class CByteOutput {
  public:
    CByteOutput(int fd, const StopFlag* stopSignal);
    ~CByteOutput() { Flush(); }
    void Append(std::string_view bytes) {
        m_pending.append(bytes);
        if (m_pending.size() >= BUFFER)
            Flush();
    }
    std::string& Pending() { return m_pending; } // appended to directly; Append flushes
    void Flush();
    bool Failed() const { return m_bFailed; }

  private:
    static constexpr size_t BUFFER = 64 * 1024;
    int m_fd;
    const StopFlag* m_pStopSignal;
    std::string m_pending;
    bool m_bFailed = false;
};
