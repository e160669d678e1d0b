#include "core/report/byteoutput.h"

#include "core/lines/linefile.h"

CByteOutput::CByteOutput(int fd, const StopFlag* stopSignal) : m_fd(fd), m_pStopSignal(stopSignal) {
    m_pending.reserve(BUFFER + 4096);
}

void CByteOutput::Flush() {
    if (!m_bFailed && !m_pending.empty() &&
        !WriteAllBytes(m_fd, m_pending.data(), m_pending.size(), m_pStopSignal))
        m_bFailed = true;
    m_pending.clear();
}
