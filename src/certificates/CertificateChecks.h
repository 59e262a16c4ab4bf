#pragma once

#include "certificates/Certificate.h"
#include "core/Result.h"

#include <QDateTime>
#include <QString>

namespace fiscora {

// The checks of a chosen certificate against the documents it must carry and the server's date.
class CertificateChecks {
public:
    // The encoded form as the program holds it: the Base64 export decoded by MyDecode, one
    // character per byte; the decoder's error when the export does not decode.
    static Result<QString> encodedForm(const Certificate& certificate);

    // A document is found when its digits occur anywhere in the encoded form, character by
    // character; an empty document counts as found.
    static bool containsDocument(const QString& encoded, const QString& digits);
    // The transmission check's part that does not depend on the server's date: the encoded form
    // contains the accountant's document (digits or as stored). Fails as encodedForm does.
    static Result<bool> isAccountants(const Certificate& certificate, const QString& accountantDocument);

    // Key variant: the server's date lies within the validity, both ends included.
    static bool withinValidity(const Certificate& certificate, const QDateTime& serverDate);
    // Transmission variant: the server's date is not later than the end of validity. An invalid
    // date stands for the server date not yet known, earlier than any real date.
    static bool notEndedBy(const Certificate& certificate, const QDateTime& serverDate);
};

} // namespace fiscora
