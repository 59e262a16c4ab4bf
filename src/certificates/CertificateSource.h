#pragma once

#include "certificates/Certificate.h"
#include "core/Result.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QObject;

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

    // The certificates, and what could not be read in a source of several parts (a token
    // removed, a module that did not load, an empty token), one sentence in Portuguese each.
    struct Listing {
        QList<Certificate> certificates;
        QStringList problems;
    };
    // Every certificate the source holds at hand, without asking for a password; a failure (its
    // text in Portuguese) when the source cannot be read at all. A part that takes time to read
    // (the tokens) is in it once read() has reported.
    virtual Result<Listing> listWithProblems() const = 0;
    // The certificates of listWithProblems(), its problems left out.
    Result<QList<Certificate>> list() const {
        Result<Listing> listed = listWithProblems();
        if (!listed)
            return listed.error();
        return std::move(listed->certificates);
    }
    // Whether listWithProblems() holds the whole source: false until a part that takes time has
    // been read, and again after refresh().
    virtual bool isRead() const { return true; }
    // Reads what is not read yet, in the background. `done` runs later in `context`'s thread,
    // never inside this call, once isRead(); not at all when `context` is gone by then.
    virtual void read(QObject* context, std::function<void()> done) const;
    // Forgets what was read, so that the next reading reads the source again (a token may have
    // been plugged in or removed).
    virtual void refresh() const {}

    // Whether certificates can be added from files (the chooser offers "Importar…" then).
    virtual bool canImport() const { return false; }
    // True for files that need their password before import (.pfx, .p12).
    virtual bool needsPassword(const QString& path) const;
    // Adds the public certificate of a file. Nothing is kept unless the whole file was read.
    virtual ImportResult importFile(const QString& path, const QString& password) const;

    // Whether certificates can be taken out of the source (the chooser offers "Remover" then).
    virtual bool canRemove() const { return false; }
    // Takes a listed certificate out of the source; a failure names the cause in Portuguese.
    virtual Status remove(const Certificate& certificate) const;
};

} // namespace fiscora
