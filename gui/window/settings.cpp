#include "gui/window/settings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QVariant>

#include <cerrno>
#include <limits>
#include <sys/stat.h>
#include <vector>

namespace {

QString Key(const char* section, const char* name) {
    return QString::fromLatin1(section) + QLatin1Char('/') + QString::fromLatin1(name);
}

// True when the file (a link followed) is a regular file or does not exist: the only files
// that are read as settings or replaced by a write. A device, a FIFO or a directory would be
// read without end, or replaced for the whole machine.
bool IsRegularOrMissing(const QString& path) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        return S_ISREG(st.st_mode);
    return errno == ENOENT;
}

QVariant TextOf(int nValue) {
    return QString::number(nValue);
}

} // namespace

CSettingsStore::CSettingsStore(const QString& filePath) : m_strFilePath(filePath) {}

CSettingsStore::~CSettingsStore() = default;

QString CSettingsStore::DefaultFilePath(const QString& maker, const QString& application) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + maker + QLatin1Char('/') + application + QStringLiteral(".conf");
}

QSettings* CSettingsStore::Settings() const {
    if (!m_bRead)
        Load();
    return m_pSettings.get();
}

void CSettingsStore::Load() const {
    m_bRead = true;
    m_pSettings.reset();
    if (IsRegularOrMissing(m_strFilePath))
        m_pSettings = std::make_unique<QSettings>(m_strFilePath, QSettings::IniFormat);
}

int CSettingsStore::ReadSettingInt(const char* section, const char* name, int nDefault) const {
    const QSettings* settings = Settings();
    if (settings == nullptr)
        return nDefault;
    const QVariant value = settings->value(Key(section, name));
    if (!value.isValid() || value.typeId() != QMetaType::QString)
        return nDefault;
    bool bOk = false;
    const qlonglong n = value.toString().toLongLong(&bOk, 10);
    if (!bOk || n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
        return nDefault;
    return static_cast<int>(n);
}

bool CSettingsStore::WriteSettingInt(const char* section, const char* name, int nValue) {
    return Write({{Key(section, name), TextOf(nValue)}});
}

bool CSettingsStore::WriteSettingInts(const char* section,
                                      std::initializer_list<std::pair<const char*, int>> values) {
    std::vector<std::pair<QString, QVariant>> items;
    for (const auto& [name, nValue] : values)
        items.emplace_back(Key(section, name), TextOf(nValue));
    return Write(items);
}

std::string CSettingsStore::ReadSettingString(const char* section, const char* name,
                                              const std::string& strDefault) const {
    const QSettings* settings = Settings();
    if (settings == nullptr)
        return strDefault;
    const QVariant value = settings->value(Key(section, name));
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
        return Write({{Key(section, name), bytes}});
    return Write({{Key(section, name), text}});
}

bool CSettingsStore::Write(const std::vector<std::pair<QString, QVariant>>& values) {
    QSettings* settings = Settings();
    if (settings == nullptr || !IsRegularOrMissing(m_strFilePath))
        return false;
    bool bChanged = false;
    for (const auto& [key, value] : values) {
        const QVariant stored = settings->value(key);
        if (stored.typeId() == value.typeId() && stored == value)
            continue;
        settings->setValue(key, value);
        bChanged = true;
    }
    if (!bChanged)
        return true;
    // Not written (a folder that cannot be written): the values stay for this run, and the
    // program runs on with what it has.
    settings->sync();
    return settings->status() == QSettings::NoError;
}
