#include "net/Base64.h"

#include "core/Cp1252.h"

#include <array>

namespace fiscora {

namespace {

struct Tables {
    std::array<quint8, 256> value{}; // every byte outside the alphabet decodes as 0
    Tables() {
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            value[static_cast<unsigned char>(alphabet[i])] = static_cast<quint8>(i);
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

} // namespace

Result<QByteArray> MyDecodeBytes(const QString& text) {
    QString clean = text;
    clean.remove(QLatin1Char('\r'));
    clean.remove(QLatin1Char('\n'));
    if (clean.size() % 4 != 0)
        return AppError{0x80040000, QStringLiteral("MyDecode"),
                        QStringLiteral("Input string is not valid Base64.")};
    // The pad count looks at the whole text, not only its end: a stray "=" inside still drops
    // characters from the end, as the routine always did.
    const int pad = clean.contains(QLatin1String("==")) ? 2 : clean.contains(QLatin1Char('=')) ? 1 : 0;

    const QByteArray in = Cp1252::encode(clean);
    const auto& value = tables().value;
    QByteArray out;
    out.resize(in.size() / 4 * 3);
    char* o = out.data();
    for (qsizetype i = 0; i < in.size(); i += 4) {
        const quint32 n = (quint32(value[static_cast<unsigned char>(in[i])]) << 18) |
                          (quint32(value[static_cast<unsigned char>(in[i + 1])]) << 12) |
                          (quint32(value[static_cast<unsigned char>(in[i + 2])]) << 6) |
                          quint32(value[static_cast<unsigned char>(in[i + 3])]);
        *o++ = static_cast<char>((n >> 16) & 0xFF);
        *o++ = static_cast<char>((n >> 8) & 0xFF);
        *o++ = static_cast<char>(n & 0xFF);
    }
    out.chop(qMin<qsizetype>(pad, out.size()));
    return out;
}

Result<QString> MyDecode(const QString& text) {
    const Result<QByteArray> bytes = MyDecodeBytes(text);
    if (!bytes)
        return bytes.error();
    return Cp1252::decode(*bytes);
}

} // namespace fiscora
