#pragma once

#include "certificates/CertificateExtensions.h"
#include "certificates/Pkcs12Reader.h"

namespace fiscora {

// The certificate library's readers on OpenSSL, called directly (in the module only).
Pkcs12Reader::Status openSslReadPkcs12(const QByteArray& container, const QString& password,
                                       QByteArray* certificateDer);
std::optional<CertificateFields> openSslCertificateFields(const QByteArray& der);
QList<QByteArray> openSslPemCertificates(const QByteArray& pem);
CdpLookup openSslCrlDistributionPoints(const QByteArray& der);

} // namespace fiscora
