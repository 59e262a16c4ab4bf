#include "certificates/CertificateChecks.h"

#include "net/Base64.h"
#include "validation/Documents.h"

namespace fiscora {

Result<QString> CertificateChecks::encodedForm(const Certificate& certificate) {
    return MyDecode(certificate.base64Export());
}

bool CertificateChecks::containsDocument(const QString& encoded, const QString& digits) {
    return digits.isEmpty() || encoded.contains(digits);
}

Result<bool> CertificateChecks::isAccountants(const Certificate& certificate,
                                              const QString& accountantDocument) {
    const Result<QString> encoded = encodedForm(certificate);
    if (!encoded)
        return encoded.error();
    return containsDocument(*encoded, documentDigits(accountantDocument));
}

bool CertificateChecks::withinValidity(const Certificate& certificate, const QDateTime& serverDate) {
    if (!serverDate.isValid())
        return false;
    const QDateTime when = serverDate.toUTC();
    return when >= certificate.validFrom() && when <= certificate.validTo();
}

bool CertificateChecks::notEndedBy(const Certificate& certificate, const QDateTime& serverDate) {
    return !serverDate.isValid() || serverDate.toUTC() <= certificate.validTo();
}

} // namespace fiscora
