#include "jet/HeaderPage.h"

#include "jet/JetFormat.h"
#include "jet/Rc4.h"

#include <cmath>
#include <cstring>

namespace fiscora::jet {

namespace {

constexpr int ObfuscatedStart = 0x18;
constexpr int ObfuscatedLength = 128;
constexpr int Jet3ObfuscatedLength = 126;
constexpr int Jet3PasswordBytes = 20;
constexpr int PasswordOffset = 0x42;
constexpr int PasswordBytes = 40;
constexpr int CreationDateOffset = 0x72;
constexpr quint8 HeaderKey[4] = {0xC7, 0xDA, 0x39, 0x6B};

// 2004-06-05 13:06:59 as a Jet date.
constexpr quint8 CreationDateBytes[8] = {0xBC, 0x72, 0x1F, 0x7D, 0xF1, 0x9F, 0xE2, 0x40};

} // namespace

double HeaderPage::creationDate() {
    double value;
    std::memcpy(&value, CreationDateBytes, sizeof value);
    return value;
}

bool HeaderPage::build(unsigned char* page, const QString& password) {
    if (password.size() > MaxPasswordLength)
        return false;

    static const char signature[] = "Standard Jet DB";
    page[0x01] = 0x01;
    std::memcpy(page + 0x04, signature, sizeof signature);
    page[0x14] = 0x01; // Jet 4

    // The plain content of the obfuscated region. The leading bytes are not understood; every
    // Jet 4 file written by Access has these. The value at 0x6A (also unknown) varies between
    // Access's files; this one is from its empty database, like the creation date.
    static const quint8 leading[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                                     0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
    std::memcpy(page + 0x18, leading, sizeof leading);
    format::put16(page + 0x3C, 1252); // code page
    format::put32(page + 0x3E, 0);    // no page encryption
    format::put32(page + 0x6A, 0x21AA);
    format::put32(page + 0x6E, 0x0409); // General sort order
    std::memcpy(page + CreationDateOffset, CreationDateBytes, sizeof CreationDateBytes);

    // The password is masked with the integer part of the creation date, byte by byte.
    const auto days = quint32(qint32(std::trunc(creationDate())));
    quint8 mask[4];
    format::put32(mask, days);
    for (int i = 0; i < PasswordBytes; ++i) {
        const int unit = i / 2;
        quint8 byte = 0;
        if (unit < password.size()) {
            const char16_t c = password.at(unit).unicode();
            byte = quint8((i % 2) ? (c >> 8) : c);
        }
        page[PasswordOffset + i] = byte ^ mask[i % 4];
    }

    Rc4 rc4(HeaderKey, sizeof HeaderKey);
    rc4.apply(page + ObfuscatedStart, ObfuscatedLength);

    // Plain again from here: the engine's version stamp and a pattern of unknown meaning that
    // every Access file carries.
    static const quint8 version[] = {0x54, 0x06, 0x00, 0x00, '4', '.', '0', 0x00};
    std::memcpy(page + 0x98, version, sizeof version);
    page[0xE00] = 0x01;
    page[0xE01] = 0x01;
    for (int i = 0xE02; i < format::PageSize; i += 2)
        page[i + 1] = 0x01;
    return true;
}

std::optional<QString> HeaderPage::password(QByteArrayView header) {
    static const char signature[] = "Standard Jet DB";
    if (header.size() < ObfuscatedStart + ObfuscatedLength || header.at(0) != 0 ||
        header.sliced(0x04, sizeof signature) != QByteArrayView(signature, sizeof signature))
        return std::nullopt;
    const quint8 version = quint8(header.at(0x14));
    if (version > 1) // 0 Jet 3, 1 Jet 4; later versions are the ACE format
        return std::nullopt;
    const bool jet4 = version == 1;

    quint8 plain[ObfuscatedLength];
    std::memcpy(plain, header.data() + ObfuscatedStart, sizeof plain);
    Rc4 rc4(HeaderKey, sizeof HeaderKey);
    rc4.apply(plain, jet4 ? ObfuscatedLength : Jet3ObfuscatedLength);
    const quint8* stored = plain + (PasswordOffset - ObfuscatedStart);

    QString password;
    if (!jet4) {
        // Single bytes in the file's code page, not masked.
        for (int i = 0; i < Jet3PasswordBytes && stored[i]; ++i)
            password += QChar(stored[i] < 0x80 ? char16_t(stored[i]) : char16_t(0xFFFD));
        return password;
    }
    double created = 0;
    std::memcpy(&created, plain + (CreationDateOffset - ObfuscatedStart), sizeof created);
    quint8 mask[4];
    const bool usable = std::isfinite(created) && std::fabs(created) < 2147483647.0;
    format::put32(mask, usable ? quint32(qint32(std::trunc(created))) : 0);
    for (int i = 0; i + 1 < PasswordBytes; i += 2) {
        const char16_t c = char16_t((stored[i] ^ mask[i % 4]) | ((stored[i + 1] ^ mask[(i + 1) % 4]) << 8));
        if (!c)
            break;
        password += QChar(c);
    }
    return password;
}

} // namespace fiscora::jet
