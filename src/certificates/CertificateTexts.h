#pragma once

#include <QString>

namespace fiscora {

// The messages and dialog texts of the certificate choice.
struct CertificateTexts {
    static const QString keyTitle;           // key variant dialog title
    static const QString keyText;            // key variant dialog text
    static const QString transmissionTitle;  // transmission variant dialog title
    static const QString transmissionText;   // transmission variant dialog text
    static const QString contentRefused;     // key variant: neither document found
    static const QString invalidCertificate; // transmission variant: content or date refused
    static const QString invalidTitle;       // "Fiscora - Certificado Inválido"
    static const QString expired;            // key answer outside the validity
    static const QString componentsDownload; // the address named by the component-failure text
    static QString componentFailure();
    static QString cdpFailure(quint32 code);
};

} // namespace fiscora
