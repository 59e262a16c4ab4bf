#include "certificates/Certificate.h"

#include "certificates/CertificateExtensions.h"
#include "validation/Documents.h"

#include <QCryptographicHash>

#include <utility>

namespace fiscora {

namespace {

QString mask(const QString& digits, const QString& pattern) {
    QString out;
    qsizetype next = 0;
    for (const QChar c : pattern) {
        if (c == QLatin1Char('9'))
            out += digits.at(next++);
        else
            out += c;
    }
    return out;
}

} // namespace

Certificate Certificate::fromDer(const QByteArray& der) {
    Certificate certificate;
    std::optional<CertificateFields> read = CertificateExtensions::fields(der);
    if (!read)
        return certificate;
    certificate.m_der = der;
    certificate.m_fields = std::move(*read);
    const IcpBrasilFields& fields = certificate.m_fields.icpBrasil;
    // The CNPJ field may hold an alphanumeric CNPJ; a zero-filled one stands for none.
    if (isBareCnpj(fields.cnpj) && fields.cnpj != QString(14, QLatin1Char('0')))
        certificate.m_document = fields.cnpj;
    else
        certificate.m_document = fields.cpf();
    return certificate;
}

QString Certificate::subjectName() const {
    return m_fields.subjectName;
}

QString Certificate::issuerName() const {
    return m_fields.issuerName;
}

QDateTime Certificate::validFrom() const {
    return m_fields.validFrom;
}

QDateTime Certificate::validTo() const {
    return m_fields.validTo;
}

QString Certificate::fingerprint() const {
    return QString::fromLatin1(QCryptographicHash::hash(m_der, QCryptographicHash::Sha1).toHex());
}

QString Certificate::document() const {
    return m_document;
}

QString Certificate::formattedDocument() const {
    if (m_document.size() == 14)
        return mask(m_document, QStringLiteral("99.999.999/9999-99"));
    if (m_document.size() == 11)
        return mask(m_document, QStringLiteral("999.999.999-99"));
    return m_document;
}

QString Certificate::base64Export() const {
    const QString text = QString::fromLatin1(m_der.toBase64());
    QString out;
    out.reserve(text.size() + text.size() / 32 + 2);
    for (qsizetype i = 0; i < text.size(); i += 64)
        out += text.mid(i, 64) + QStringLiteral("\r\n");
    return out;
}

} // namespace fiscora
