#pragma once
// The settings store: one INI file per user, sections of typed values. A value that is
// missing or cannot be read gives the caller's default; writes go to disk before returning.

#include <QString>
#include <QVariant>

#include <string>

class CSettingsStore {
  public:
    // The store in this file; nothing is read or created until the first call.
    explicit CSettingsStore(const QString& filePath);

    // The file of the per-user store of this maker and application:
    // $XDG_CONFIG_HOME/<maker>/<application>.conf.
    static QString DefaultFilePath(const QString& maker, const QString& application);

    const QString& FilePath() const { return m_strFilePath; }

    // The stored signed 32-bit integer, or nDefault when the value is missing or its text is
    // not a 32-bit integer.
    int ReadSettingInt(const char* section, const char* name, int nDefault) const;
    // Stores the value; false when it could not be written (nobody needs to look).
    bool WriteSettingInt(const char* section, const char* name, int nValue);
    // The stored text (as the program's 8-bit bytes), or strDefault when missing or unreadable.
    std::string ReadSettingString(const char* section, const char* name,
                                  const std::string& strDefault) const;
    bool WriteSettingString(const char* section, const char* name, const std::string& strValue);

  private:
    bool Write(const char* section, const char* name, const QVariant& value);

    QString m_strFilePath;
};
