#include "core/run/filecheck.h"

CFileCheck::CFileCheck(const CSearchMatcher& matcher, unsigned maxChars)
    : m_scanner(matcher, maxChars) {}

ECheckState CFileCheck::Open(const CListedFile& file, const CFileId& output) {
    m_scanner.Reset();
    if (!m_file.OpenListed(file))
        return ECheckState::OPEN_FAILED;
    dev_t dev;
    ino_t ino;
    off_t length = 0;
    m_file.IdentityAtOpen(dev, ino, length);
    if (output.bKnown && dev == output.dev && ino == output.ino)
        return ECheckState::OUTPUT_FILE;
    // A file is checked as far as it reached when its check began, so one that grows
    // meanwhile (a log being written) cannot keep the run going.
    m_file.LimitToLength(true);
    return ECheckState::SCANNING;
}
