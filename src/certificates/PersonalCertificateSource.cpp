#include "certificates/PersonalCertificateSource.h"

namespace fiscora {

PersonalCertificateSource::PersonalCertificateSource(const QString& folder, QStringList modules)
    : m_store(folder)
    , m_tokens(std::move(modules)) {}

bool PersonalCertificateSource::list(QList<Certificate>* certificates, QString* error) const {
    QStringList problems;
    return listWithProblems(certificates, &problems, error);
}

bool PersonalCertificateSource::listWithProblems(QList<Certificate>* certificates, QStringList* problems,
                                                 QString* error) const {
    QString storeError;
    const bool storeRead = m_store.list(certificates, &storeError);
    QList<Certificate> onTokens;
    QString ignored;
    m_tokens.listWithProblems(&onTokens, problems, &ignored);
    for (const Certificate& certificate : std::as_const(onTokens)) {
        // Imported and on a token: one row, the imported one.
        if (!certificates->contains(certificate))
            certificates->append(certificate);
    }
    if (storeRead)
        return true;
    if (onTokens.isEmpty()) {
        *error = storeError;
        return false;
    }
    problems->prepend(storeError);
    return true;
}

} // namespace fiscora
