#include "scan/filecheck.h"

CFileCheck::CFileCheck(const CSearchMatcher& matcher, unsigned maxChars)
    : m_scanner(matcher, maxChars) {}

EFileOutcome CFileCheck::Open(const std::string& path, const CFileId& output) {
    m_scanner.Reset();
    if (!m_file.OpenRead(path))
        return EFileOutcome::OPEN_FAILED;
    dev_t dev;
    ino_t ino;
    off_t length = 0;
    m_file.IdentityAtOpen(dev, ino, length);
    if (output.bKnown && dev == output.dev && ino == output.ino)
        return EFileOutcome::OUTPUT_FILE;
    // A file is checked as far as it reached when its check began, so one that grows
    // meanwhile (a log being written) cannot keep the run going.
    if (length > 0)
        m_file.LimitReadLength(length);
    return EFileOutcome::SCANNING;
}

void CFileCheck::LimitToPresentLength() {
    dev_t dev;
    ino_t ino;
    off_t length = 0;
    if (m_file.Identity(dev, ino, &length) && length > 0)
        m_file.LimitReadLength(length);
}
