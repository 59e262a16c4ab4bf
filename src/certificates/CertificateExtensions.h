#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace fiscora {

// The ICP-Brasil fields of the subjectAltName otherName entries, as their text.
struct IcpBrasilFields {
    QString cnpj;            // 2.16.76.1.3.3
    QString holderData;      // 2.16.76.1.3.1: birth date (8), CPF (11), ...
    QString responsibleData; // 2.16.76.1.3.4: the same layout, for a company's responsible person
    QString cpf() const;     // the CPF at offset 8 of .1, else of .4; empty when absent or zeros
};

// What the program shows and checks of a certificate's own fields.
struct CertificateFields {
    QString subjectName; // the subject's common name (of several, the last)
    QString issuerName;  // the issuer's common name, else its organization
    QDateTime validFrom; // UTC; null when it does not decode
    QDateTime validTo;
    QString serialNumber;   // its bytes in lower-case hex, joined by ':'
    bool authority = false; // basic constraints say it is a certification authority's
    IcpBrasilFields icpBrasil;
};

// What the CRL distribution points extension (2.5.29.31) yields. When the extension is there but
// gives no address, error holds the code the system's lookup reports for it.
struct CdpLookup {
    bool present = false;
    QStringList urls;
    quint32 error = 0; // 0 = success
};

// DER readers for the extensions the program needs (OpenSSL's decoders, not Qt's printed text).
class CertificateExtensions {
public:
    static constexpr quint32 kNotFound = 0x80092004; // CRYPT_E_NOT_FOUND: no address in the extension
    static constexpr quint32 kBadTag = 0x8009310B;   // CRYPT_E_ASN1_BADTAG: the extension does not decode

    // Nothing when the bytes are not one DER-encoded X.509 certificate.
    static std::optional<CertificateFields> fields(const QByteArray& der);
    // The DER of each certificate block of a PEM text, in order; a block that does not decode is
    // passed over.
    static QList<QByteArray> pemCertificates(const QByteArray& pem);
    static CdpLookup crlDistributionPoints(const QByteArray& der);
};

} // namespace fiscora
