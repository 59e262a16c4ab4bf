#include "transmission/Batch.h"

#include "certificates/CertificateChecks.h"
#include "core/ProgramFolder.h"
#include "data/AccessValue.h"
#include "data/GiaConversion.h"
#include "net/Transport.h"
#include "transmission/TaxpayerList.h"
#include "transmission/Transmission.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QTimer>

#include <algorithm>

namespace fiscora {

namespace {

AppError batchError(const QString& text) {
    return AppError{0, QStringLiteral("Transmissão em lote"), text};
}

// The GIAs of one database, each registered taxpayer's as an item, the others' companies apart.
Status readDatabase(const QString& database, const QString& chosen,
                    const QHash<QString, Taxpayer>& registered, BatchSource* source,
                    QSet<QString>* unregisteredSeen) {
    const GiaDatabaseReader::Records records = GiaDatabaseReader::readGias(database);
    if (records.outcome != GiaDatabaseReader::Outcome::Ok)
        return batchError(GiaDatabaseReader::message(records.outcome));
    QMap<QString, QList<GiaRecord>> byIe;
    for (const GiaRecord& record : records.rows)
        byIe[AccessValue::toText(record.ie)].append(record);
    QHash<QString, QString> names;
    for (const QStringList& row : GiaDatabaseReader::readTaxpayers(database).rows)
        names.insert(row.value(0), row.value(1).trimmed());
    for (auto it = byIe.begin(); it != byIe.end(); ++it) {
        const auto found = registered.constFind(it.key());
        if (found == registered.constEnd()) {
            if (!unregisteredSeen->contains(it.key())) {
                unregisteredSeen->insert(it.key());
                source->unregistered.append({it.key(), names.value(it.key())});
            }
            continue;
        }
        QList<GiaRecord> gias = it.value();
        std::stable_sort(gias.begin(), gias.end(), [](const GiaRecord& a, const GiaRecord& b) {
            return AccessValue::lessThan(a.reference, b.reference);
        });
        BatchItem item;
        item.taxpayer = *found;
        item.databasePath = database;
        item.chosenPath = chosen;
        for (const GiaRecord& record : gias)
            item.gias.append({GiaDatabaseReader::listRow(record), BatchGia::Note::None, true, {}});
        source->items.append(item);
    }
    return {};
}

bool isTextFile(const QString& path) {
    return path.toUpper().endsWith(QStringLiteral("PRF"));
}

} // namespace

bool BatchItem::canTick(int gia) const {
    return readiness == Readiness::Ready && gia >= 0 && gia < gias.size() &&
           gias.at(gia).note != BatchGia::Note::YearNotAccepted;
}

QList<JournalGia> BatchItem::tickedGias() const {
    QList<JournalGia> out;
    for (qsizetype i = 0; i < gias.size(); ++i) {
        if (gias.at(i).ticked && canTick(int(i)))
            out.append({gias.at(i).row.number, gias.at(i).row.reference});
    }
    return out;
}

QList<ListedReference> BatchItem::tickedListed() const {
    QList<ListedReference> out;
    for (qsizetype i = 0; i < gias.size(); ++i) {
        const BatchGia& gia = gias.at(i);
        if (gia.ticked && canTick(int(i)) && !gia.protocols.isEmpty())
            out.append({gia.row.reference.trimmed(), gia.protocols});
    }
    return out;
}

bool BatchItem::nothingLeft() const {
    if (readiness != Readiness::Ready)
        return false;
    for (qsizetype i = 0; i < gias.size(); ++i) {
        if (canTick(int(i)) && gias.at(i).note != BatchGia::Note::AlreadyListed)
            return false;
    }
    return true;
}

bool BatchItem::skipped() const {
    return result == Result::NotSent && tickedGias().isEmpty() && nothingLeft();
}

Result<BatchSource> BatchSource::open(const QString& path, const QString& workFolder) {
    const Result<QList<Taxpayer>> taxpayers = listTaxpayers();
    if (!taxpayers)
        return taxpayers.error();
    QHash<QString, Taxpayer> registered;
    for (const Taxpayer& taxpayer : *taxpayers)
        registered.insert(taxpayer.IE, taxpayer);

    BatchSource source;
    QSet<QString> unregisteredSeen;
    const QFileInfo info(path);
    QStringList texts;
    if (info.isDir()) {
        for (const QFileInfo& file : QDir(path).entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase)) {
            if (isTextFile(file.fileName()))
                texts.append(file.absoluteFilePath());
        }
        if (texts.isEmpty())
            return batchError(QStringLiteral("A pasta %1 não tem arquivos GIA (.prf).").arg(path));
    } else if (isTextFile(path)) {
        texts.append(info.absoluteFilePath());
    } else if (const Status read = readDatabase(path, path, registered, &source, &unregisteredSeen); !read) {
        return read.error();
    }

    const QString templatePath = ProgramFolder::file(QStringLiteral("gia_limpa.mdb"));
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const QString& text = texts.at(i);
        // A package of its own per file: what is sent stays as it was chosen.
        const QString package = QDir(workFolder).filePath(QStringLiteral("pacote-%1.mdb").arg(i + 1));
        const GiaConversion::Result converted = GiaConversion::convert(text, package, templatePath);
        const Status read = converted.ok ? readDatabase(package, text, registered, &source, &unregisteredSeen)
                                         : Status(batchError(converted.message));
        if (!read)
            source.problems.append(QFileInfo(text).fileName() + QStringLiteral(": ") +
                                   read.error().description);
    }
    if (source.items.isEmpty() && source.unregistered.isEmpty()) {
        return batchError(source.problems.isEmpty()
                              ? QStringLiteral("Nenhuma GIA foi encontrada em %1.").arg(path)
                              : source.problems.join(QLatin1Char('\n')));
    }
    std::stable_sort(source.items.begin(), source.items.end(), [](const BatchItem& a, const BatchItem& b) {
        return QString::localeAwareCompare(a.taxpayer.RazaoSocial, b.taxpayer.RazaoSocial) < 0;
    });
    return source;
}

void prepareBatch(QList<BatchItem>* items, const std::function<void(int, int)>& progress) {
    QHash<QString, Result<TaxpayerList>> lists;
    for (qsizetype i = 0; i < items->size(); ++i) {
        BatchItem& item = (*items)[i];
        auto known = lists.constFind(item.taxpayer.IE);
        if (known == lists.constEnd()) {
            if (progress)
                progress(int(i), int(items->size()));
            known = lists.insert(item.taxpayer.IE, fetchTaxpayerList(item.taxpayer.IE, item.taxpayer.Chave));
        }
        applyList(&item, *known);
    }
}

void applyList(BatchItem* item, const Result<TaxpayerList>& list) {
    if (!list) {
        item->readiness = BatchItem::Readiness::ListUnavailable;
        item->readinessDetail = list.error().description;
    } else if (list->keyRefused) {
        item->readiness = BatchItem::Readiness::KeyRefused;
        item->readinessDetail = QStringLiteral("O servidor recusou a chave do contribuinte.");
    } else {
        item->readiness = BatchItem::Readiness::Ready;
        item->readinessDetail.clear();
        item->anoTrabalho = list->header.anoTrabalho;
        item->serverDate = list->header.serverDate;
    }
    QStringList references;
    for (const BatchGia& gia : item->gias)
        references.append(gia.row.reference);
    const QList<ListedReference> listed =
        list ? listedReferences(list->listed(), references) : QList<ListedReference>();
    for (BatchGia& gia : item->gias) {
        const QString year = gia.row.reference.right(4);
        const auto found = std::find_if(listed.cbegin(), listed.cend(), [&gia](const ListedReference& r) {
            return r.reference == gia.row.reference.trimmed();
        });
        gia.protocols = found == listed.cend() ? QStringList() : found->protocols;
        // A GIA the accountant unticked stays so when the list is had again.
        const bool wanted = gia.ticked || gia.note != BatchGia::Note::None;
        if (item->readiness == BatchItem::Readiness::Ready &&
            (year.isEmpty() || !item->anoTrabalho.contains(year)))
            gia.note = BatchGia::Note::YearNotAccepted;
        else if (!gia.protocols.isEmpty())
            gia.note = BatchGia::Note::AlreadyListed;
        else
            gia.note = BatchGia::Note::None;
        gia.ticked =
            wanted && item->readiness == BatchItem::Readiness::Ready && gia.note == BatchGia::Note::None;
    }
}

QString batchResultText(const BatchItem& item) {
    switch (item.result) {
    case BatchItem::Result::Listed:
        return QStringLiteral("Enviada e listada");
    case BatchItem::Result::Refused:
        return QStringLiteral("Recusada");
    case BatchItem::Result::Failed:
        return QStringLiteral("Falhou");
    case BatchItem::Result::Unknown:
        return QStringLiteral("Sem confirmação");
    case BatchItem::Result::NotSent:
        break;
    }
    return item.skipped() ? QStringLiteral("Nada a enviar") : QStringLiteral("Não enviada");
}

QString batchResultDetail(const BatchItem& item) {
    if (!item.protocols.isEmpty())
        return protocolsText(item.protocols);
    if (!item.skipped())
        return item.detail;
    QStringList listed;
    QStringList refused;
    for (const BatchGia& gia : item.gias) {
        if (gia.note == BatchGia::Note::AlreadyListed)
            listed.append(QStringLiteral("%1 (protocolo %2)")
                              .arg(gia.row.reference.trimmed(), gia.protocols.join(QStringLiteral(", "))));
        else if (gia.note == BatchGia::Note::YearNotAccepted)
            refused.append(gia.row.reference.trimmed());
    }
    QStringList parts;
    if (!listed.isEmpty())
        parts.append(QStringLiteral("o servidor já lista ") + listed.join(QStringLiteral(", ")));
    if (!refused.isEmpty())
        parts.append(QStringLiteral("ano não aceito pelo servidor (%1): %2")
                         .arg(item.anoTrabalho.trimmed(), refused.join(QStringLiteral(", "))));
    return parts.join(QStringLiteral("; "));
}

QString batchSummaryText(const QList<BatchItem>& items) {
    int counts[5] = {};
    int alreadySent = 0;
    for (const BatchItem& item : items) {
        // Nothing left because the server lists it, not because every year was refused.
        const bool listed = std::any_of(item.gias.cbegin(), item.gias.cend(), [](const BatchGia& gia) {
            return gia.note == BatchGia::Note::AlreadyListed;
        });
        if (item.skipped() && listed)
            ++alreadySent;
        else
            ++counts[int(item.result)];
    }
    return QStringLiteral("Enviadas e listadas: %1 · Já transmitidas: %2 · Recusadas: %3 · Com falha: %4 · "
                          "Sem confirmação: %5 · Não enviadas: %6")
        .arg(counts[int(BatchItem::Result::Listed)])
        .arg(alreadySent)
        .arg(counts[int(BatchItem::Result::Refused)])
        .arg(counts[int(BatchItem::Result::Failed)])
        .arg(counts[int(BatchItem::Result::Unknown)])
        .arg(counts[int(BatchItem::Result::NotSent)]);
}

QString journalNotWrittenText(const BatchItem& item) {
    return QStringLiteral("O resultado do envio de %1 (%2) não foi gravado no registro de envios, onde "
                          "ficou como \"%3\": %4")
        .arg(item.taxpayer.IE, item.taxpayer.RazaoSocial.trimmed(), outcomeText(TransmissionOutcome::Sending),
             item.journalError);
}

QString batchNoteText(BatchGia::Note note) {
    switch (note) {
    case BatchGia::Note::AlreadyListed:
        return QStringLiteral("já transmitida");
    case BatchGia::Note::YearNotAccepted:
        return QStringLiteral("ano não aceito");
    case BatchGia::Note::None:
        break;
    }
    return {};
}

BatchRun::BatchRun(QObject* parent)
    : QObject(parent) {}

void BatchRun::start(QList<BatchItem>* items, const QList<int>& which, const Certificate& certificate,
                     const QString& accountantDocument) {
    if (m_running)
        return;
    m_items = items;
    m_queue = which;
    m_certificate = certificate;
    m_accountantDocument = accountantDocument;
    // The same for every item; only the server's date is each taxpayer's.
    m_ofAccountant = CertificateChecks::isAccountants(certificate, accountantDocument).valueOr(false);
    m_stop = false;
    m_running = true;
    for (const int index : which) {
        (*m_items)[index].result = BatchItem::Result::NotSent;
        (*m_items)[index].detail.clear();
        (*m_items)[index].protocols.clear();
        (*m_items)[index].journalError.clear();
    }
    QTimer::singleShot(0, this, &BatchRun::next);
}

void BatchRun::next() {
    if (m_stop) {
        for (const int index : std::exchange(m_queue, {}))
            finishItem(index, BatchItem::Result::NotSent, QStringLiteral("Parado antes do envio."));
    }
    if (m_queue.isEmpty()) {
        m_running = false;
        Q_EMIT finished();
        return;
    }
    const int index = m_queue.takeFirst();
    const BatchItem& item = m_items->at(index);
    Q_EMIT itemStarted(index);
    if (item.readiness != BatchItem::Readiness::Ready) {
        finishItem(index, BatchItem::Result::NotSent, item.readinessDetail);
    } else if (item.tickedGias().isEmpty()) {
        finishItem(index, BatchItem::Result::NotSent, QStringLiteral("Nenhuma GIA marcada para envio."));
    } else {
        send(index);
        return;
    }
    QTimer::singleShot(0, this, &BatchRun::next);
}

void BatchRun::send(int index) {
    const BatchItem& item = m_items->at(index);
    // The single window's check, against this taxpayer's server date.
    if (!m_ofAccountant || !CertificateChecks::notEndedBy(m_certificate, item.serverDate)) {
        finishItem(index, BatchItem::Result::NotSent,
                   QStringLiteral("O certificado escolhido não é do contador ou estava vencido na data do "
                                  "servidor."));
        QTimer::singleShot(0, this, &BatchRun::next);
        return;
    }

    TransmissionOrder order;
    order.kind = TransmissionKind::Gia;
    order.ie = item.taxpayer.IE;
    order.razaoSocial = item.taxpayer.RazaoSocial;
    order.chave = item.taxpayer.Chave;
    order.accountantDocument = m_accountantDocument;
    order.gias = item.tickedGias();
    order.databasePath = item.databasePath;
    order.chosenPath = item.chosenPath;
    order.fileName = QFileInfo(item.chosenPath).fileName();
    order.certificateHolder = m_certificate.subjectName();
    order.certificateSerial = QString::fromLatin1(m_certificate.qt().serialNumber());
    order.serverDate = item.serverDate;

    auto* transmission = new Transmission(this);
    // After the outcome the taxpayer's list tells whether the server has it.
    const auto settle = [this, index, transmission](BatchItem::Result result, const QString& detail) {
        const BatchItem& sent = m_items->at(index);
        BatchItem::Result final = result;
        QString why = detail;
        QList<ListedTransmission> protocols;
        // Nothing the server could have recorded needs its list.
        if (result != BatchItem::Result::Failed) {
            const Result<TaxpayerList> list = fetchTaxpayerList(sent.taxpayer.IE, sent.taxpayer.Chave);
            // What the server now lists is marked as at the first listing, in every item of the
            // taxpayer: sent once is enough.
            if (list && !list->keyRefused) {
                const QString ie = sent.taxpayer.IE;
                for (BatchItem& other : *m_items) {
                    if (other.taxpayer.IE == ie)
                        applyList(&other, list);
                }
            }
            if (list && list->confirmed.contains(transmission->journalId())) {
                final = BatchItem::Result::Listed;
                why.clear();
                protocols = list->confirmed.value(transmission->journalId());
            } else if (!list && result == BatchItem::Result::Refused) {
                final = BatchItem::Result::Unknown;
                why = detail + QStringLiteral(" (") + list.error().description + QLatin1Char(')');
            }
        }
        if (const std::optional<AppError>& unwritten = transmission->journalError())
            (*m_items)[index].journalError = unwritten->description;
        finishItem(index, final, why, protocols);
        transmission->deleteLater();
        QTimer::singleShot(0, this, &BatchRun::next);
    };
    connect(transmission, &Transmission::sendProgress, this,
            [this, index](int percent) { Q_EMIT itemProgress(index, percent); });
    connect(transmission, &Transmission::answered, this, [settle](const QString& text) {
        settle(BatchItem::Result::Refused,
               QStringLiteral("O servidor respondeu: ") + Transmission::answerFirstLine(text.toUtf8()));
    });
    connect(transmission, &Transmission::closedWithoutAnswer, this,
            [settle] { settle(BatchItem::Result::Unknown, kClosedWithoutAnswerText); });
    connect(transmission, &Transmission::failed, this, [settle, transmission](const AppError& error) {
        settle(transmission->requestSent() ? BatchItem::Result::Unknown : BatchItem::Result::Failed,
               error.description);
    });
    if (const std::optional<Transmission::Refusal> refused = transmission->start(order)) {
        transmission->deleteLater();
        finishItem(index, BatchItem::Result::Failed, refused->error.description);
        QTimer::singleShot(0, this, &BatchRun::next);
    }
}

void BatchRun::finishItem(int index, BatchItem::Result result, const QString& detail,
                          const QList<ListedTransmission>& protocols) {
    BatchItem& item = (*m_items)[index];
    item.result = result;
    item.detail = detail;
    item.protocols = protocols;
    Q_EMIT itemFinished(index);
}

} // namespace fiscora
