#pragma once

#include <QByteArray>
#include <QString>

namespace fiscora {

// Windows-1252, the single-byte code page of the program's text files and upload headers.
// Qt's own converters do not offer it on every build, and the table is small.
class Cp1252 {
public:
    static QString decode(const QByteArray& bytes);
    // Characters outside the code page become '?'.
    static QByteArray encode(const QString& text);
};

} // namespace fiscora
