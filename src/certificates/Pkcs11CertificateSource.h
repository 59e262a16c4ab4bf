#pragma once

#include "certificates/CertificateSource.h"
#include "core/ProgramFolder.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <optional>

namespace fiscora {

class TokenReading;

// The certificates on tokens and smart cards, read through PKCS#11 modules without a PIN. Each
// module is loaded by the helper fiscora-leitor-pkcs11 in a child process under a time limit, so
// a driver that hangs or crashes costs its own tokens, never the program.
//
// The reading runs in the background (read()) and is kept until refresh(): the chooser lists
// what is at hand at once and the tokens when they have been read.
// The helper program that reads the tokens, and how long every module together may take.
struct TokenReader {
    // Token drivers answer in well under a second; a reader that stops answering must not keep
    // the chooser waiting for long.
    static constexpr int kDefaultTimeLimitMs = 8000;

    QString helper;
    int timeLimitMs = kDefaultTimeLimitMs;
    // Whose settings name more modules; none when null. Not owned: it outlives the reader.
    const ProgramFolder* folder = nullptr;

    // fiscora-leitor-pkcs11 beside the folder's executable, or in the installed helpers' folder.
    static QString defaultHelper(const ProgramFolder& folder);
};

class Pkcs11CertificateSource final : public CertificateSource {
public:
    // Reads the modules the user has: every token driver registered with p11-kit, each on its
    // own (p11-kit's proxy module when p11-kit cannot list them), and the paths of
    // [certificados] modulos in fiscora.ini, separated by ";".
    explicit Pkcs11CertificateSource(TokenReader reader);
    // Reads exactly these modules.
    Pkcs11CertificateSource(TokenReader reader, QStringList modules);
    // A reading under way ends with the source; its helpers are killed.
    ~Pkcs11CertificateSource() override;
    Pkcs11CertificateSource(const Pkcs11CertificateSource&) = delete;
    Pkcs11CertificateSource& operator=(const Pkcs11CertificateSource&) = delete;

    // The modules the reader's folder's fiscora.ini names, read from the settings afresh.
    static QStringList configuredModules(const TokenReader& reader);
    // p11-kit's proxy module; empty when the system has none.
    static QString proxyModule();

    // The kept reading; nothing before the first one has reported.
    Result<Listing> listWithProblems() const override;
    bool isRead() const override { return m_reading.has_value(); }
    void read(QObject* context, std::function<void()> done) const override;
    // Forgets the kept reading; one under way is given up and started again for those waiting.
    void refresh() const override;

private:
    struct Waiter {
        QPointer<QObject> context;
        std::function<void()> done;
    };
    void startReading() const;

    TokenReader m_reader;
    std::optional<QStringList> m_modules;
    mutable std::optional<Listing> m_reading;
    // Tokens seen by earlier readings, with their module: one that is gone is reported.
    mutable QHash<QString, QString> m_seenTokens;
    mutable std::unique_ptr<TokenReading> m_job;
    mutable QList<Waiter> m_waiters;
};

} // namespace fiscora
