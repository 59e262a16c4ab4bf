#pragma once

#include "certificates/CertificateSource.h"

#include <QHash>
#include <QStringList>

#include <optional>

namespace fiscora {

// The certificates on tokens and smart cards, read through PKCS#11 modules without a PIN. Each
// module is loaded by the helper fiscora-leitor-pkcs11 in a child process under a time limit, so
// a driver that hangs or crashes costs its own tokens, never the program.
//
// A reading is kept until refresh(): the selection lists the source before and inside the chooser.
class Pkcs11CertificateSource final : public CertificateSource {
public:
    // Reads the modules the user has: every token driver registered with p11-kit, each on its
    // own (p11-kit's proxy module when p11-kit cannot list them), and the paths of
    // [certificados] modulos in fiscora.ini, separated by ";".
    Pkcs11CertificateSource();
    // Reads exactly these modules.
    explicit Pkcs11CertificateSource(QStringList modules);

    // The modules fiscora.ini names, read from the settings afresh.
    static QStringList configuredModules();
    // p11-kit's proxy module; empty when the system has none.
    static QString proxyModule();

    // The helper program; by default fiscora-leitor-pkcs11 beside the running executable.
    static QString helperPath();
    static void setHelperPath(const QString& path); // empty: back to the default
    // How long every module together may take; a module still busy then is given up.
    static int timeLimitMs();
    static void setTimeLimitMs(int milliseconds); // 0: back to the default

    Result<Listing> listWithProblems() const override;
    void refresh() const override;

private:
    Listing read() const;

    std::optional<QStringList> m_modules;
    mutable std::optional<Listing> m_reading;
    // Tokens seen by earlier readings, with their module: one that is gone is reported.
    mutable QHash<QString, QString> m_seenTokens;
};

} // namespace fiscora
