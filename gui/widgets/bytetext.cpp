#include "gui/widgets/bytetext.h"

#include <QStringDecoder>

#include <algorithm>

QString ShowBytes(std::string_view bytes) {
    const auto size = static_cast<qsizetype>(bytes.size());
    if (std::all_of(bytes.begin(), bytes.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QString::fromLatin1(bytes.data(), size);
    // Stateless: a sequence cut at the end is an error, not a remainder kept for later.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                       QStringConverter::Flag::ConvertInitialBom);
    const QString text = decoder.decode(QByteArrayView(bytes.data(), size));
    return decoder.hasError() ? QString::fromLatin1(bytes.data(), size) : text;
}

bool IsShownAsUtf8(std::string_view bytes) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text =
        decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return !decoder.hasError();
}
