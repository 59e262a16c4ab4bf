#pragma once

#include <QStringView>

#include <vector>

namespace fiscora::jet {

// Text as Jet 4 stores it: UCS-2 little-endian, or the compressed Unicode form (FF FE, then one
// byte per character) that Access uses for columns with Unicode compression.
class TextEncoding final {
public:
    // Access compresses long values only up to this many characters.
    static constexpr int MaxCompressedChars = 1024;

    // Appends the stored form of text. Compression is used when allowed, when every character
    // fits in one byte (and is not NUL) and when it makes the value shorter.
    static void append(QStringView text, bool allowCompression, std::vector<quint8>& out);
    static void appendUcs2(QStringView text, std::vector<quint8>& out);
    static bool compressible(QStringView text);
};

} // namespace fiscora::jet
