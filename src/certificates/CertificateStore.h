#pragma once

#include "certificates/CertificateSource.h"

namespace fiscora {

// The per-user store: a folder of public certificates (DER or PEM files), standing in for the
// personal store of the original platform. Private keys are never written here.
class CertificateStore final : public CertificateSource {
public:
    // The folder of the default store: FISCORA_CERTIFICADOS when set, else "certificados" under
    // the application data location.
    static QString defaultFolder();

    explicit CertificateStore(QString folder = defaultFolder());

    QString folder() const { return m_folder; }
    Result<Listing> listWithProblems() const override;

    bool canImport() const override { return true; }
    // .pfx and .p12 carry a private key and need their password.
    static bool isPkcs12(const QString& path);
    bool needsPassword(const QString& path) const override;
    // The public certificate of a file as importFile reads it, nothing stored: ok() when read
    // (status Imported), else the status and message importFile would give.
    static ImportResult readFile(const QString& path, const QString& password = {});
    // The public certificate of a .pfx/.p12 (with its password; the key is never written) or of a
    // .cer/.crt/.pem/.der file.
    ImportResult importFile(const QString& path, const QString& password = {}) const override;

    bool canRemove() const override { return true; }
    // Deletes the files that hold the certificate. A file that holds other certificates too is
    // left alone and named in the failure, and then nothing is deleted.
    Status remove(const Certificate& certificate) const override;

private:
    ImportResult store(const Certificate& certificate) const;

    QString m_folder;
};

} // namespace fiscora
