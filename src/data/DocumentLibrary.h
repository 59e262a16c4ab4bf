#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

namespace fiscora {

// The text of a PDF, as Poppler reads it.
struct PdfText {
    enum class Outcome { Read, Locked, Damaged };
    Outcome outcome = Outcome::Damaged;
    // When read: each page's text followed by a line break.
    QString text;
};

// What the program does with Poppler. It sits, linked, in the module fiscora-documentos.so with
// Qt Print Support (gui/PrintLibrary), which is loaded with the first PDF read or receipt
// printed: the start-up window does not pay for loading them.
class DocumentLibrary {
public:
    static constexpr char kModule[] = "fiscora-documentos.so";

    virtual ~DocumentLibrary() = default;
    // The text of the first `maxPages` pages; no page is read once `maxChars` characters are.
    virtual PdfText pdfText(const QByteArray& pdf, int maxPages, qsizetype maxChars) const = 0;
};

// The module's library, loaded on the first call, or why it could not be. The module also holds
// widgets: the windows and the batch call this on their own thread before reading on a worker.
const Result<const DocumentLibrary*>& documentLibrary();

} // namespace fiscora
