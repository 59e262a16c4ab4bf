// Poppler, linked here and nowhere else: the program loads this module with the first PDF it reads
// (data/DocumentLibrary), so the start-up window does not load it.

#include "data/DocumentLibrary.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

// Poppler reports every flaw of a damaged file on stderr; the caller learns of it from the result.
void ignorePopplerMessage(const std::string&, void*) {}

QString popplerText(const poppler::ustring& text) {
    const poppler::byte_array utf8 = text.to_utf8();
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

class PopplerDocuments final : public fiscora::DocumentLibrary {
public:
    fiscora::PdfText pdfText(const QByteArray& pdf, int maxPages, qsizetype maxChars) const override {
        using Outcome = fiscora::PdfText::Outcome;
        fiscora::PdfText read;
        const std::unique_ptr<poppler::document> document(
            poppler::document::load_from_raw_data(pdf.constData(), static_cast<int>(pdf.size())));
        // A locked document has no pages to ask for yet: Poppler would crash.
        if (document && document->is_locked()) {
            read.outcome = Outcome::Locked;
            return read;
        }
        if (!document || document->pages() < 1)
            return read;
        const int pages = std::min(document->pages(), maxPages);
        for (int i = 0; i < pages && read.text.size() < maxChars; ++i) {
            const std::unique_ptr<poppler::page> page(document->create_page(i));
            if (page)
                read.text += popplerText(page->text()) + QLatin1Char('\n');
        }
        read.outcome = Outcome::Read;
        return read;
    }
};

} // namespace

// Called once (the loader keeps the answer).
extern "C" __attribute__((visibility("default"))) const void* fiscora_documentos_pdf() {
    static const PopplerDocuments library;
    poppler::set_debug_error_function(ignorePopplerMessage, nullptr);
    return static_cast<const fiscora::DocumentLibrary*>(&library);
}
