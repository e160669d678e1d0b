#include "shell/settings.h"

#include <QSettings>
#include <QStringDecoder>
#include <QVariant>

#include <limits>

namespace {

QString Key(const char* section, const char* name) {
    return QString::fromLatin1(section) + QLatin1Char('/') + QString::fromLatin1(name);
}

} // namespace

CSettingsStore::CSettingsStore(const QString& filePath) : m_strFilePath(filePath) {}

QString CSettingsStore::DefaultFilePath(const QString& maker, const QString& application) {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, maker, application).fileName();
}

// Every access opens the file afresh, so a value that could not be written is never read back
// from memory: an unwritable store reads as its defaults.
int CSettingsStore::ReadSettingInt(const char* section, const char* name, int nDefault) const {
    const QSettings settings(m_strFilePath, QSettings::IniFormat);
    const QVariant value = settings.value(Key(section, name));
    if (!value.isValid() || value.typeId() != QMetaType::QString)
        return nDefault;
    bool bOk = false;
    const qlonglong n = value.toString().toLongLong(&bOk, 10);
    if (!bOk || n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
        return nDefault;
    return static_cast<int>(n);
}

bool CSettingsStore::WriteSettingInt(const char* section, const char* name, int nValue) {
    return Write(section, name, QString::number(nValue));
}

std::string CSettingsStore::ReadSettingString(const char* section, const char* name,
                                              const std::string& strDefault) const {
    const QSettings settings(m_strFilePath, QSettings::IniFormat);
    const QVariant value = settings.value(Key(section, name));
    if (value.typeId() == QMetaType::QByteArray) // bytes that are not UTF-8, as written
        return value.toByteArray().toStdString();
    if (!value.isValid() || value.typeId() != QMetaType::QString)
        return strDefault;
    return value.toString().toLocal8Bit().toStdString();
}

bool CSettingsStore::WriteSettingString(const char* section, const char* name,
                                        const std::string& strValue) {
    // Text is stored as text. Bytes that are not UTF-8 (a file name in another encoding) would
    // not survive that: they are stored as bytes and read back unchanged.
    const QByteArray bytes(strValue.data(), static_cast<qsizetype>(strValue.size()));
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError())
        return Write(section, name, bytes);
    return Write(section, name, text);
}

bool CSettingsStore::Write(const char* section, const char* name, const QVariant& value) {
    QSettings settings(m_strFilePath, QSettings::IniFormat);
    settings.setValue(Key(section, name), value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}
