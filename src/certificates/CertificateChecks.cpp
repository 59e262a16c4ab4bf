#include "certificates/CertificateChecks.h"

#include "net/Base64.h"

namespace fiscora {

Result<QString> CertificateChecks::encodedForm(const Certificate& certificate) {
    QString encoded;
    AppError error;
    if (!MyDecode(certificate.base64Export(), &encoded, &error))
        return error;
    return encoded;
}

bool CertificateChecks::containsDocument(const QString& encoded, const QString& digits) {
    return digits.isEmpty() || encoded.contains(digits);
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
