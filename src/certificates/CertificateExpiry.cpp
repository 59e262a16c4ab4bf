#include "certificates/CertificateExpiry.h"

#include "core/UserPreferences.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace fiscora {

namespace {

// An ICP-Brasil subject name ends in ":" and the holder's CPF or CNPJ, which the notice does not need.
QString holder(const Certificate& certificate) {
    static const QRegularExpression document(QStringLiteral(":[0-9]{11,14}$"));
    QString name = certificate.subjectName();
    name.remove(document);
    name = name.trimmed();
    if (name.isEmpty())
        name = certificate.formattedDocument();
    return name.isEmpty() ? certificate.fingerprint() : name;
}

} // namespace

QStringList CertificateExpiry::notices(const QList<Certificate>& certificates, const QDate& today) {
    QList<Certificate> expiring;
    QSet<QString> seen;
    for (const Certificate& certificate : certificates) {
        if (certificate.isNull() || seen.contains(certificate.fingerprint()))
            continue;
        seen.insert(certificate.fingerprint());
        if (today.daysTo(certificate.validTo().toLocalTime().date()) <= kDaysAhead)
            expiring.append(certificate);
    }
    std::stable_sort(expiring.begin(), expiring.end(),
                     [](const Certificate& a, const Certificate& b) { return a.validTo() < b.validTo(); });
    QStringList texts;
    for (const Certificate& certificate : expiring) {
        const QDate last = certificate.validTo().toLocalTime().date();
        texts.append((last < today ? QStringLiteral("O certificado de %1 venceu em %2.")
                                   : QStringLiteral("O certificado de %1 vence em %2."))
                         .arg(holder(certificate), last.toString(QStringLiteral("dd/MM/yyyy"))));
    }
    return texts;
}

QStringList CertificateExpiry::noticesDue(const QList<Certificate>& certificates, const QDate& today) {
    if (UserPreferences::expiryNoticeDay() == today)
        return {};
    const QStringList texts = notices(certificates, today);
    if (!texts.isEmpty())
        UserPreferences::setExpiryNoticeDay(today);
    return texts;
}

QList<Certificate> CertificateExpiry::lastAccepted(const CertificateSource& source) {
    using Use = UserPreferences::CertificateUse;
    QSet<QString> wanted;
    for (const Use use : {Use::Transmission, Use::Import, Use::Key}) {
        if (const QString fingerprint = UserPreferences::certificate(use); !fingerprint.isEmpty())
            wanted.insert(fingerprint.toLower());
    }
    if (wanted.isEmpty())
        return {};
    const Result<CertificateSource::Listing> listing = source.listWithProblems();
    if (!listing)
        return {};
    QList<Certificate> accepted;
    for (const Certificate& certificate : listing->certificates) {
        if (wanted.contains(certificate.fingerprint()))
            accepted.append(certificate);
    }
    return accepted;
}

} // namespace fiscora
