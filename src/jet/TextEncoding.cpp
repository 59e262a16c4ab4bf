#include "jet/TextEncoding.h"

namespace fiscora::jet {

bool TextEncoding::compressible(QStringView text) {
    if (text.size() <= 2 || text.size() > MaxCompressedChars)
        return false; // FF FE plus n bytes is shorter than 2n bytes only from 3 characters on
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == 0 || u > 0xFF)
            return false;
    }
    return true;
}

void TextEncoding::append(QStringView text, bool allowCompression, std::vector<quint8>& out) {
    if (!allowCompression || !compressible(text)) {
        appendUcs2(text, out);
        return;
    }
    const std::size_t at = out.size();
    out.resize(at + 2 + std::size_t(text.size()));
    quint8* p = out.data() + at;
    *p++ = 0xFF;
    *p++ = 0xFE;
    for (const QChar c : text)
        *p++ = quint8(c.unicode());
}

void TextEncoding::appendUcs2(QStringView text, std::vector<quint8>& out) {
    const std::size_t at = out.size();
    out.resize(at + 2 * std::size_t(text.size()));
    quint8* p = out.data() + at;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        *p++ = quint8(u);
        *p++ = quint8(u >> 8);
    }
}

} // namespace fiscora::jet
