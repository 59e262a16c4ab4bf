#include "certificates/Pkcs12Reader.h"

#include "certificates/CertificateLibrary.h"

namespace fiscora {

Pkcs12Reader::Status Pkcs12Reader::read(const QByteArray& container, const QString& password,
                                        QByteArray* certificateDer) {
    const Result<const CertificateLibrary*>& library = certificateLibrary();
    if (!library)
        return Status::Unsupported;
    return (*library)->readPkcs12(container, password, certificateDer);
}

} // namespace fiscora
