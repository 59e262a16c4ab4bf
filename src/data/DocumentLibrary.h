#pragma once

#include "core/ProgramModule.h"
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

// What the program does with Poppler. It sits, linked, in the module fiscora-documentos.so, which
// is loaded with the first PDF read (from any thread): the start-up window does not pay for it.
class DocumentLibrary {
public:
    static constexpr char kModule[] = "fiscora-documentos.so";
    static constexpr char kEntry[] = "fiscora_documentos_pdf";

    virtual ~DocumentLibrary() = default;
    // The text of the first `maxPages` pages; no page is read once `maxChars` characters are.
    virtual PdfText pdfText(const QByteArray& pdf, int maxPages, qsizetype maxChars) const = 0;
};

// The module's library, loaded on the first call (from any thread), or why it could not be.
inline const Result<const DocumentLibrary*>& documentLibrary() {
    return programModuleObject<DocumentLibrary>();
}

} // namespace fiscora
