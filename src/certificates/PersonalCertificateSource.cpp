#include "certificates/PersonalCertificateSource.h"

namespace fiscora {

Result<CertificateSource::Listing> PersonalCertificateSource::listWithProblems() const {
    const Result<QList<Certificate>> stored = m_store.list();
    Listing listing{stored.valueOr({}), {}};
    const Result<Listing> onTokens = m_tokens.listWithProblems();
    const QList<Certificate> tokenCertificates = onTokens ? onTokens->certificates : QList<Certificate>{};
    if (onTokens)
        listing.problems = onTokens->problems;
    for (const Certificate& certificate : tokenCertificates) {
        // Imported and on a token: one row, the imported one.
        if (!listing.certificates.contains(certificate))
            listing.certificates.append(certificate);
    }
    if (stored)
        return listing;
    if (tokenCertificates.isEmpty())
        return stored.error();
    listing.problems.prepend(stored.error().description);
    return listing;
}

Status PersonalCertificateSource::remove(const Certificate& certificate) const {
    if (!certificate.tokenLabel().isEmpty())
        return AppError::message(
            QStringLiteral(
                "O certificado de %1 está no dispositivo %2 e não pode ser removido pelo programa.")
                .arg(certificate.subjectName(), certificate.tokenLabel()));
    return m_store.remove(certificate);
}

} // namespace fiscora
