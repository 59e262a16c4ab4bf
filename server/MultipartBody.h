#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace servidor {

// The one file part of an upload's multipart/form-data body.
struct MultipartFile {
    QByteArray fieldName;
    QByteArray fileName; // bytes as sent (Windows-1252)
    QByteArray contentType;
    QByteArrayView content; // into the body handed to parseSingleFileUpload
};

// Reads an upload body strictly: the boundary from the Content-Type header (after "," or ";"),
// no preamble, exactly one part with a form-data Content-Disposition naming the field and the
// file, the closing delimiter at the very end (a CRLF after it allowed, nothing else). The body
// must outlive the result. False, with the reason in Portuguese, for anything else.
bool parseSingleFileUpload(const QByteArray& contentType, const QByteArray& body, MultipartFile* file,
                           QString* error);

// The boundary parameter of a multipart/form-data Content-Type; empty when there is none.
QByteArray multipartBoundary(const QByteArray& contentType);

} // namespace servidor
