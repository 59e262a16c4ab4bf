#pragma once

#include "certificates/CertificateExtensions.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace fiscora {

// One public certificate of the store: its DER encoding and what the program shows or checks.
class Certificate {
public:
    Certificate() = default;
    // A null certificate when the bytes are not one DER-encoded X.509 certificate.
    static Certificate fromDer(const QByteArray& der);

    bool isNull() const { return m_der.isEmpty(); }
    const QByteArray& der() const { return m_der; }

    QString subjectName() const; // subject CN
    QString issuerName() const;  // issuer CN (or organization when the CN is missing)
    QDateTime validFrom() const; // UTC
    QDateTime validTo() const;   // UTC
    QString fingerprint() const; // SHA-1, lower-case hex: the name of its file in the store
    const QString& serialNumber() const { return m_fields.serialNumber; } // hex bytes joined by ':'
    // A certification authority's (basic constraints), not a holder's.
    bool isAuthority() const { return m_fields.authority; }

    // The holder's document from the ICP-Brasil otherName fields, digits only: the CNPJ, else the
    // CPF of the holder or of the company's responsible person; empty when there is none.
    QString document() const;
    // The same with its mask ("##.###.###/####-##" or "###.###.###-##").
    QString formattedDocument() const;

    // The certificate exported in Base64 as the personal store exports it: lines of 64
    // characters, each ended by CR LF.
    QString base64Export() const;

    // The label of the token the certificate was read from; empty for an imported one. Not part of
    // the certificate's identity.
    const QString& tokenLabel() const { return m_tokenLabel; }
    void setTokenLabel(const QString& label) { m_tokenLabel = label; }

    bool operator==(const Certificate& other) const { return m_der == other.m_der; }

private:
    QByteArray m_der;
    QString m_tokenLabel;
    CertificateFields m_fields;
    QString m_document;
};

} // namespace fiscora
