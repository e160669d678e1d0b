#pragma once
// The settings store: one INI file per user, sections of typed values. A value that is
// missing or cannot be read gives the caller's default; writes go to disk before returning.

#include <QString>
#include <QVariant>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QSettings;

class CSettingsStore {
  public:
    // The store in this file; nothing is read or created until the first call. The file is
    // read once, at the first call; a file that is not a regular file (a device, a FIFO, a
    // directory, also behind a symbolic link) reads as missing and is never written.
    explicit CSettingsStore(const QString& filePath);
    ~CSettingsStore();

    // The file of the per-user store of this maker and application:
    // $XDG_CONFIG_HOME/<maker>/<application>.conf. Touches no file.
    static QString DefaultFilePath(const QString& maker, const QString& application);

    const QString& FilePath() const { return m_strFilePath; }

    // The stored signed 32-bit integer, or nDefault when the value is missing or its text is
    // not a 32-bit integer.
    int ReadSettingInt(const char* section, const char* name, int nDefault) const;
    // Stores the value; false when it could not be written (nobody needs to look). A value
    // that is stored already writes nothing.
    bool WriteSettingInt(const char* section, const char* name, int nValue);
    // Several values of one section, written to disk at once.
    bool WriteSettingInts(const char* section,
                          std::initializer_list<std::pair<const char*, int>> values);
    // The stored text (as the program's 8-bit bytes), or strDefault when missing or unreadable.
    std::string ReadSettingString(const char* section, const char* name,
                                  const std::string& strDefault) const;
    bool WriteSettingString(const char* section, const char* name, const std::string& strValue);

  private:
    // The values read from the file, or nullptr when it is no regular file.
    QSettings* Settings() const;
    void Load() const;
    // Stores the changed values and writes the file once.
    bool Write(const std::vector<std::pair<QString, QVariant>>& values);

    QString m_strFilePath;
    mutable std::unique_ptr<QSettings> m_pSettings;
    mutable bool m_bRead = false;
};
