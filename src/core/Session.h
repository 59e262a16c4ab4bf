#pragma once

#include "core/ListedTransmission.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

namespace fiscora {

// What the windows share while the program runs: the current taxpayer and its key, the
// accountant's document, what the server said in its last list. Owned by the application and
// passed to the windows that need it; the main window shows it.
class Session final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Session)

public:
    explicit Session(QObject* parent = nullptr);

    // The current taxpayer, empty when none is selected.
    QString RSSel() const { return m_RSSel; }
    QString IESel() const { return m_IESel; }
    QString accessKey() const { return m_accessKey; }
    bool hasTaxpayer() const { return !m_IESel.isEmpty(); }
    void selectTaxpayer(const QString& companyName, const QString& ie, const QString& chave);
    void dropTaxpayer();

    // The accountant's document as stored (with punctuation), set by the transmit command.
    QString thisCont_cpf_cnpj() const { return m_thisCont_cpf_cnpj; }
    void setThisCont_cpf_cnpj(const QString& document) { m_thisCont_cpf_cnpj = document; }

    // The server's date and time of the last valid list (zeroDateTime() before the first) and the
    // reference years it accepts, as it writes them.
    QDateTime DataServidor() const { return m_DataServidor; }
    QString anoTrabalho() const { return m_anoTrabalho; }
    void setServerList(const QDateTime& serverDate, const QString& anoTrabalho);
    // Reference and protocol of each transmission the current taxpayer's last list showed;
    // forgotten when the taxpayer changes.
    QList<ListedTransmission> listedTransmissions() const { return m_listed; }
    void setListedTransmissions(const QList<ListedTransmission>& listed) { m_listed = listed; }

    // Whether the start-up check found the installed version to be the one the server publishes.
    bool versionConfirmed() const { return m_versionConfirmed; }
    void setVersionConfirmed(bool confirmed) { m_versionConfirmed = confirmed; }

    // The folder the last upload window's file browser was left in, in this run.
    QString uploadFolder() const { return m_uploadFolder; }
    void setUploadFolder(const QString& folder) { m_uploadFolder = folder; }

    // The file last chosen in an upload window.
    QString pathMDB() const { return m_pathMDB; }
    void setPathMDB(const QString& path) { m_pathMDB = path; }

Q_SIGNALS:
    void taxpayerChanged();

private:
    QString m_uploadFolder;
    QString m_RSSel;
    QString m_IESel;
    QString m_accessKey;
    QString m_thisCont_cpf_cnpj;
    QDateTime m_DataServidor;
    QString m_anoTrabalho;
    QList<ListedTransmission> m_listed;
    QString m_pathMDB;
    bool m_versionConfirmed = false;
};

} // namespace fiscora
