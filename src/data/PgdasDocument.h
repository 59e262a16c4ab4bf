#pragma once

#include "core/Result.h"

#include <QString>
#include <QStringList>

namespace fiscora {

// What the program reads in a PGDAS document (a PDF): the CNPJs of its text and its reference
// month. The text is read with Poppler, within bounds, since the file comes from anywhere: at
// most kMaxFileBytes of file, its first kMaxPages pages, kMaxTextChars characters of text.
struct PgdasDocument {
    static constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;
    static constexpr int kMaxPages = 4;
    static constexpr qsizetype kMaxTextChars = 256 * 1024;

    // The valid CNPJs of the text ("##.###.###/####-##", letters allowed in the base, or fourteen
    // digits), each once, in the order they appear, as their fourteen cnpjCharacters.
    QStringList cnpjs;
    // "MM/yyyy": the month after "Período de Apuração" when the text names one, else the first
    // "MM/yyyy" standing alone (what the server reads); empty when there is none.
    QString reference;

    // Fails, in Portuguese naming the file, when it cannot be opened, is too large, is not a
    // PDF, is damaged or is locked with a password; or when Poppler's module cannot be loaded
    // (data/DocumentLibrary).
    static Result<PgdasDocument> read(const QString& path);

    // The valid CNPJs of a text, as `cnpjs` above. A file name may separate the parts with
    // ".", "-", "_" or blanks, since it cannot hold "/".
    static QStringList cnpjsIn(const QString& text);
    // Fourteen cnpjCharacters as "##.###.###/####-##".
    static QString formatCnpj(const QString& bare);
};

} // namespace fiscora
