#include "certificates/CertificateExtensions.h"

#include "certificates/CertificateLibrary.h"

namespace fiscora {

namespace {

QString cpfOf(const QString& personData) {
    const QString cpf = personData.mid(8, 11);
    if (cpf.size() != 11)
        return {};
    bool allZero = true;
    for (const QChar c : cpf) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return {};
        allZero = allZero && c == QLatin1Char('0');
    }
    return allZero ? QString() : cpf;
}

} // namespace

QString IcpBrasilFields::cpf() const {
    const QString holder = cpfOf(holderData);
    return holder.isEmpty() ? cpfOf(responsibleData) : holder;
}

// Without OpenSSL no certificate can be read.
std::optional<CertificateFields> CertificateExtensions::fields(const QByteArray& der) {
    const Result<const CertificateLibrary*>& library = certificateLibrary();
    return library ? (*library)->fields(der) : std::nullopt;
}

QList<QByteArray> CertificateExtensions::pemCertificates(const QByteArray& pem) {
    const Result<const CertificateLibrary*>& library = certificateLibrary();
    return library ? (*library)->pemCertificates(pem) : QList<QByteArray>();
}

CdpLookup CertificateExtensions::crlDistributionPoints(const QByteArray& der) {
    const Result<const CertificateLibrary*>& library = certificateLibrary();
    return library ? (*library)->crlDistributionPoints(der) : CdpLookup();
}

} // namespace fiscora
