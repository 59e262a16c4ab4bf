#include "transmission/ReceiptKeeper.h"

#include "core/ServerAddress.h"
#include "core/UserPreferences.h"
#include "data/TaxpayerTable.h"

#include <QFileInfo>

namespace fiscora {

void fetchReceiptPage(const HttpClient& http, const QString& ie, const QString& key, const QString& reference,
                      const QString& protocol, QObject* context, std::function<void(Result<QString>)> done) {
    const QString address = ServerAddress::fromSettings(http.folder()).receipt(ie, key, reference);
    const auto cannot = [reference](const QString& why) {
        return AppError::message(QStringLiteral("O recibo da referência %1 não pôde ser obtido: %2")
                                     .arg(reference.trimmed(), why));
    };
    if (address.isEmpty()) {
        // Reported later, as every outcome is.
        QMetaObject::invokeMethod(
            context, [done, why = cannot(QStringLiteral("a referência não é um mês."))] { done(why); },
            Qt::QueuedConnection);
        return;
    }
    http.download(
        address, ReceiptKeeper::kMaxPageBytes, context,
        [done = std::move(done), protocol, cannot](Result<QByteArray> page) {
            if (!page) {
                done(cannot(page.error().description));
                return;
            }
            QString html = QString::fromUtf8(*page);
            if (!html.contains(protocol)) {
                done(cannot(QStringLiteral("a página do servidor não mostra o protocolo %1.").arg(protocol)));
                return;
            }
            done(std::move(html));
        });
}

Result<QStringList> keptReceiptFiles(TransmissionJournal& journal, const QString& ie,
                                     const QStringList& protocols) {
    JournalFilter filter;
    filter.ie = ie;
    const Result<QList<JournalEntry>> rows = journal.findTransmissions(filter);
    if (!rows)
        return rows.error();
    QStringList files;
    for (const QString& protocol : protocols) {
        for (const JournalEntry& row : *rows) {
            const std::optional<JournalReceipt> kept = row.receipt(protocol.trimmed());
            if (kept && QFileInfo::exists(kept->path)) {
                files.append(kept->path);
                break;
            }
        }
    }
    return files;
}

ReceiptKeeper::ReceiptKeeper(const HttpClient& http, TransmissionJournal& journal, QObject* parent)
    : QObject(parent)
    , m_http(http)
    , m_journal(journal) {
    // Queued: the list's own work (and the journal's command) ends first.
    connect(&m_journal, &TransmissionJournal::transmissionsListed, this, &ReceiptKeeper::keepMissing,
            Qt::QueuedConnection);
}

void ReceiptKeeper::keepMissing(const QString& ie) {
    JournalFilter filter;
    filter.ie = ie;
    const Result<QList<JournalEntry>> rows = m_journal.findTransmissions(filter);
    if (!rows)
        return;
    // The key and name the taxpayer has now: the key of an old upload may have been replaced.
    const Result<std::optional<Taxpayer>> taxpayer = findTaxpayer(m_http.folder(), ie);
    const bool registered = taxpayer && taxpayer->has_value();
    for (const JournalEntry& row : *rows) {
        for (const ListedTransmission& listed : row.protocols) {
            // A protocol kept before references were: its page cannot be named yet.
            if (listed.reference.isEmpty() || m_asked.contains(listed.protocol))
                continue;
            const std::optional<JournalReceipt> kept = row.receipt(listed.protocol);
            if (kept && QFileInfo::exists(kept->path))
                continue;
            m_asked.insert(listed.protocol);
            m_waiting.append({row.id, ie, registered ? (*taxpayer)->RazaoSocial : row.companyName,
                              registered ? (*taxpayer)->Chave : row.chave, listed.reference,
                              listed.protocol});
        }
    }
    startMore();
}

void ReceiptKeeper::startMore() {
    while (m_running < kAtOnce && !m_waiting.isEmpty()) {
        ++m_running;
        fetch(m_waiting.takeFirst());
    }
}

void ReceiptKeeper::fetch(const Wanted& wanted) {
    const Result<QString> path = ReceiptFile::path(UserPreferences::documentsFolder(), wanted.ie, wanted.name,
                                                   wanted.reference, wanted.protocol);
    if (!path) {
        QMetaObject::invokeMethod(
            this, [this, wanted, why = path.error()] { finish(wanted, why); }, Qt::QueuedConnection);
        return;
    }
    fetchReceiptPage(m_http, wanted.ie, wanted.key, wanted.reference, wanted.protocol, this,
                     [this, wanted, path = *path](Result<QString> page) {
                         if (!page)
                             finish(wanted, page.error());
                         else
                             ReceiptFile::keep(
                                 *page, path, m_http.gate(), this,
                                 [this, wanted](Result<KeptReceipt> outcome) { finish(wanted, outcome); });
                     });
}

void ReceiptKeeper::finish(const Wanted& wanted, const Result<KeptReceipt>& outcome) {
    --m_running;
    m_asked.remove(wanted.protocol);
    Status recorded =
        outcome ? m_journal.recordReceipt(wanted.id, {wanted.protocol, outcome->path, outcome->sha256})
                : Status(outcome.error());
    if (recorded)
        Q_EMIT kept(wanted.id, wanted.protocol, outcome->path);
    else
        Q_EMIT failed(wanted.id, wanted.protocol, recorded.error().description);
    startMore();
    if (!busy())
        Q_EMIT idle();
}

} // namespace fiscora
