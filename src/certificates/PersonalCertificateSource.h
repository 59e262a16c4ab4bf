#pragma once

#include "certificates/CertificateStore.h"
#include "certificates/Pkcs11CertificateSource.h"

namespace fiscora {

// The user's certificates as the chooser offers them: the imported ones of the folder store and
// those on the tokens present. Imports go to the folder store.
class PersonalCertificateSource final : public CertificateSource {
public:
    explicit PersonalCertificateSource(const TokenReader& tokens)
        : m_tokens(tokens) {}

    // The imported ones at once, those on the tokens once read() has reported. A folder that
    // cannot be read is one more problem when tokens gave certificates.
    Result<Listing> listWithProblems() const override;
    bool isRead() const override { return m_tokens.isRead(); }
    void read(QObject* context, std::function<void()> done) const override {
        m_tokens.read(context, std::move(done));
    }
    void refresh() const override { m_tokens.refresh(); }

    bool canImport() const override { return true; }
    bool needsPassword(const QString& path) const override { return m_store.needsPassword(path); }
    ImportResult importFile(const QString& path, const QString& password) const override {
        return m_store.importFile(path, password);
    }
    // Only the imported ones: a token's certificates leave with the token.
    bool canRemove() const override { return true; }
    Status remove(const Certificate& certificate) const override;

private:
    CertificateStore m_store;
    Pkcs11CertificateSource m_tokens;
};

} // namespace fiscora
