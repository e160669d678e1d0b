#pragma once
// Temporary folders and whole-file helpers for tests.

#include <string>

// A fresh folder under $TMPDIR, removed with its contents when the object goes.
class CTempDir {
  public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::string& Path() const { return m_path; }
    // The path of a name inside the folder.
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

void WriteWholeFile(const std::string& path, const std::string& bytes);
// A UNIX socket bound at path (shorter than a socket address holds); its descriptor, -1 when
// it cannot be made. The caller closes it.
int BindSocket(const std::string& path);
std::string ReadWholeFile(const std::string& path);
// Waits up to 30 s for the first 4 KiB of the file to hold text; false when they never did.
// Only the start is read: a report that grows faster than it can be read would keep a whole
// read going to its end.
bool WaitForFileStart(const std::string& path, const std::string& text);
