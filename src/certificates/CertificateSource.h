#pragma once

#include "certificates/Certificate.h"
#include "core/Result.h"

#include <QList>
#include <QString>

namespace fiscora {

struct ImportResult {
    enum class Status {
        Imported,
        AlreadyPresent,
        WrongPassword,
        Unreadable,
        Unsupported,
        WriteFailed,
        NotSupported
    };
    Status status = Status::NotSupported;
    Certificate certificate; // what was stored (Imported, AlreadyPresent)
    QString message;         // for the user, in Portuguese

    bool ok() const { return status == Status::Imported || status == Status::AlreadyPresent; }
};

// Where the chooser finds the user's certificates. The folder store is the one source today; an
// NSS database or a PKCS#11 token can be another.
class CertificateSource {
public:
    virtual ~CertificateSource() = default;

    // Every certificate the source holds, without asking for a password; a failure (its text in
    // Portuguese) when the source cannot be read at all.
    virtual Result<QList<Certificate>> list() const = 0;

    // Whether certificates can be added from files (the chooser offers "Importar…" then).
    virtual bool canImport() const { return false; }
    // True for files that need their password before import (.pfx, .p12).
    virtual bool needsPassword(const QString& path) const;
    // Adds the public certificate of a file. Nothing is kept unless the whole file was read.
    virtual ImportResult importFile(const QString& path, const QString& password) const;
};

} // namespace fiscora
