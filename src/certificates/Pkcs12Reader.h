#pragma once

#include <QByteArray>
#include <QString>

namespace fiscora {

// Opens a PKCS#12 container and takes out the holder's certificate only; the private key is
// decrypted by OpenSSL in passing and freed at once. Older containers encrypted with RC2-40 need
// OpenSSL's legacy provider, which is loaded for them.
class Pkcs12Reader {
public:
    enum class Status { Ok, NotPkcs12, WrongPassword, Unsupported, NoCertificate };

    static Status read(const QByteArray& container, const QString& password, QByteArray* certificateDer);
};

} // namespace fiscora
