#include "transmission/Batch.h"

#include "certificates/CertificateChecks.h"
#include "core/ModalGate.h"
#include "data/AccessReader.h"
#include "data/AccessValue.h"
#include "data/GiaConversion.h"
#include "net/Transport.h"
#include "transmission/AcceptedYear.h"
#include "transmission/PgdasAnswer.h"
#include "transmission/TaxpayerList.h"
#include "transmission/Transmission.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace fiscora {

namespace {

AppError batchError(const QString& text) {
    return AppError{0, QStringLiteral("Transmissão em lote"), text};
}

// The GIAs of one database, each registered taxpayer's as an item, the others' companies apart.
Status addDatabase(const GiaDatabaseReader::Records& records, const GiaDatabaseReader::Taxpayers& taxpayers,
                   const QString& database, const QString& chosen, const QHash<QString, Taxpayer>& registered,
                   BatchSource* source, QSet<QString>* unregisteredSeen) {
    if (records.outcome != GiaDatabaseReader::Outcome::Ok)
        return batchError(GiaDatabaseReader::message(records.outcome));
    QMap<QString, QList<GiaRecord>> byIe;
    for (const GiaRecord& record : records.rows)
        byIe[AccessValue::toText(record.ie)].append(record);
    QHash<QString, QString> names;
    for (const QStringList& row : taxpayers.rows)
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

// A source being read: the export, or the folder's text files one after another.
struct Opening {
    Opening(const ProgramFolder& program, const AccessReader& reader)
        : program(program)
        , reader(reader) {}
    ProgramFolder program;
    AccessReader reader;
    QString path;
    QString workFolder;
    QObject* context = nullptr;
    std::function<void(Result<BatchSource>)> done;
    QHash<QString, Taxpayer> registered;
    BatchSource source;
    QSet<QString> unregisteredSeen;
    QStringList texts;
    qsizetype next = 0;
};

void finishOpening(const std::shared_ptr<Opening>& opening) {
    BatchSource& source = opening->source;
    if (source.items.isEmpty() && source.unregistered.isEmpty()) {
        opening->done(batchError(source.problems.isEmpty()
                                     ? QStringLiteral("Nenhuma GIA foi encontrada em %1.").arg(opening->path)
                                     : source.problems.join(QLatin1Char('\n'))));
        return;
    }
    std::stable_sort(source.items.begin(), source.items.end(), [](const BatchItem& a, const BatchItem& b) {
        return QString::localeAwareCompare(a.taxpayer.RazaoSocial, b.taxpayer.RazaoSocial) < 0;
    });
    opening->done(std::move(source));
}

void readNextText(const std::shared_ptr<Opening>& opening) {
    if (opening->next >= opening->texts.size()) {
        finishOpening(opening);
        return;
    }
    const qsizetype i = opening->next++;
    const QString text = opening->texts.at(i);
    const auto problem = [opening, text](const QString& why) {
        opening->source.problems.append(QFileInfo(text).fileName() + QStringLiteral(": ") + why);
    };
    // A package of its own per file: what is sent stays as it was chosen.
    const QString package = QDir(opening->workFolder).filePath(QStringLiteral("pacote-%1.mdb").arg(i + 1));
    GiaConversion::convert(
        opening->reader, text, package, opening->program.file(QStringLiteral("gia_limpa.mdb")),
        opening->context, [opening, package, text, problem](const GiaConversion::Outcome& converted) {
            if (!converted.ok) {
                problem(converted.message);
                readNextText(opening);
                return;
            }
            GiaDatabaseReader::readExport(
                opening->reader, package, opening->context,
                [opening, package, text, problem](const GiaDatabaseReader::Records& records,
                                                  const GiaDatabaseReader::Taxpayers& taxpayers) {
                    if (const Status read =
                            addDatabase(records, taxpayers, package, text, opening->registered,
                                        &opening->source, &opening->unregisteredSeen);
                        !read)
                        problem(read.error().description);
                    readNextText(opening);
                });
        });
}

bool isTextFile(const QString& path) {
    return path.toUpper().endsWith(QStringLiteral("PRF"));
}

bool isPdf(const QFileInfo& file) {
    return file.suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0;
}

BatchItem pgdasItem(const PgdasMatch& match) {
    BatchItem item;
    item.kind = TransmissionKind::Pgdas;
    item.taxpayer = match.taxpayer;
    item.databasePath = match.path;
    item.chosenPath = match.path;
    item.gias.append(
        {GiaListRow{QString(), match.reference, QString(), QString()}, BatchGia::Note::None, true, {}});
    return item;
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
    return result == Outcome::NotSent && tickedGias().isEmpty() && nothingLeft();
}

void BatchSource::open(const ProgramFolder& program, const AccessReader& reader, const QString& path,
                       const QString& workFolder, QObject* context,
                       std::function<void(Result<BatchSource>)> done) {
    auto opening = std::make_shared<Opening>(program, reader);
    opening->path = path;
    opening->workFolder = workFolder;
    opening->context = context;
    // Reported when no box is up, as the reads are.
    opening->done = [&gate = reader.gate(), context, done](Result<BatchSource> source) {
        gate.deliver(context, [done, source] { done(source); });
    };
    // Begun from the event loop: even a folder without files is told later.
    QTimer::singleShot(0, context, [opening] {
        const Result<QList<Taxpayer>> taxpayers = listTaxpayers(opening->program);
        if (!taxpayers) {
            opening->done(taxpayers.error());
            return;
        }
        for (const Taxpayer& taxpayer : *taxpayers)
            opening->registered.insert(taxpayer.IE, taxpayer);
        const QFileInfo info(opening->path);
        if (info.isDir()) {
            for (const QFileInfo& file :
                 QDir(opening->path).entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase)) {
                if (isTextFile(file.fileName()))
                    opening->texts.append(file.absoluteFilePath());
            }
            if (opening->texts.isEmpty()) {
                opening->done(
                    batchError(QStringLiteral("A pasta %1 não tem arquivos GIA (.prf).").arg(opening->path)));
                return;
            }
        } else if (isTextFile(opening->path)) {
            opening->texts.append(info.absoluteFilePath());
        } else {
            GiaDatabaseReader::readExport(
                opening->reader, opening->path, opening->context,
                [opening](const GiaDatabaseReader::Records& records,
                          const GiaDatabaseReader::Taxpayers& names) {
                    if (const Status read =
                            addDatabase(records, names, opening->path, opening->path, opening->registered,
                                        &opening->source, &opening->unregisteredSeen);
                        !read) {
                        opening->done(read.error());
                        return;
                    }
                    finishOpening(opening);
                });
            return;
        }
        readNextText(opening);
    });
}

void BatchSource::openPgdas(const ProgramFolder& program, const QString& folder, ModalGate& gate,
                            QObject* context, std::function<void(Result<BatchSource>)> done) {
    // Begun from the event loop, as the GIA sources: even a failure is told later.
    QTimer::singleShot(0, context, [program, folder, &gate, context, done] {
        const Result<QList<Taxpayer>> taxpayers = listTaxpayers(program);
        if (!taxpayers) {
            gate.deliver(context, [done, error = taxpayers.error()] { done(error); });
            return;
        }
        PgdasMatching::matchFolder(
            folder, *taxpayers, gate, context, [folder, done](Result<QList<PgdasMatch>> matches) {
                if (!matches) {
                    done(batchError(matches.error().description));
                    return;
                }
                if (matches->isEmpty()) {
                    done(batchError(
                        QStringLiteral("A pasta %1 não tem documentos PGDAS (.pdf).").arg(folder)));
                    return;
                }
                BatchSource source;
                for (const PgdasMatch& match : *matches) {
                    if (match.outcome == PgdasMatch::Outcome::Matched)
                        source.items.append(pgdasItem(match));
                    else
                        source.setApart.append(match);
                }
                // By taxpayer, each one's documents in the order of their names.
                std::stable_sort(source.items.begin(), source.items.end(),
                                 [](const BatchItem& a, const BatchItem& b) {
                                     return QString::localeAwareCompare(a.taxpayer.RazaoSocial,
                                                                        b.taxpayer.RazaoSocial) < 0;
                                 });
                done(std::move(source));
            });
    });
}

bool BatchSource::isPgdasFolder(const QString& path) {
    if (!QFileInfo(path).isDir())
        return false;
    const QFileInfoList files = QDir(path).entryInfoList(QDir::Files);
    return std::none_of(files.cbegin(), files.cend(),
                        [](const QFileInfo& file) { return isTextFile(file.fileName()); }) &&
           std::any_of(files.cbegin(), files.cend(), isPdf);
}

void BatchSource::append(const BatchSource& other) {
    items += other.items;
    unregistered += other.unregistered;
    problems += other.problems;
    setApart += other.setApart;
}

QString setApartText(const PgdasMatch& match) {
    return QFileInfo(match.path).fileName() + QStringLiteral(": ") + match.why;
}

BatchPreparation::BatchPreparation(const HttpClient& http, TransmissionJournal& journal, QObject* parent)
    : QObject(parent)
    , m_http(http)
    , m_journal(journal) {}

void BatchPreparation::start(QList<BatchItem>* items, int atOnce) {
    m_items = items;
    m_next = 0;
    m_atOnce = std::max(1, atOnce);
    m_lists.clear();
    m_asking.clear();
    QTimer::singleShot(0, this, &BatchPreparation::next);
}

void BatchPreparation::next() {
    // Items are marked in their order, each once its taxpayer's list is had.
    for (; m_next < m_items->size(); ++m_next) {
        BatchItem& item = (*m_items)[m_next];
        const auto known = m_lists.constFind(item.taxpayer.IE);
        if (known == m_lists.constEnd())
            break;
        applyList(&item, *known);
    }
    if (m_next == m_items->size()) {
        m_items = nullptr;
        Q_EMIT finished();
        return;
    }
    for (qsizetype i = m_next; i < m_items->size() && m_asking.size() < m_atOnce; ++i) {
        const BatchItem& item = m_items->at(i);
        const QString ie = item.taxpayer.IE;
        if (m_lists.contains(ie) || m_asking.contains(ie))
            continue;
        m_asking.insert(ie);
        Q_EMIT asking(int(i), int(m_items->size()));
        fetchTaxpayerList(m_http, m_journal, ie, item.taxpayer.Chave, this,
                          [this, ie](const Result<TaxpayerList>& list) {
                              m_asking.remove(ie);
                              m_lists.insert(ie, list);
                              next();
                          });
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
        const auto found = std::find_if(listed.cbegin(), listed.cend(), [&gia](const ListedReference& r) {
            return r.reference == gia.row.reference.trimmed();
        });
        gia.protocols = found == listed.cend() ? QStringList() : found->protocols;
        // A GIA the accountant unticked stays so when the list is had again.
        const bool wanted = gia.ticked || gia.note != BatchGia::Note::None;
        if (item->kind == TransmissionKind::Gia && item->readiness == BatchItem::Readiness::Ready &&
            !acceptsYear(item->anoTrabalho, gia.row.reference))
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
    case BatchItem::Outcome::Listed:
        return QStringLiteral("Enviada e listada");
    case BatchItem::Outcome::Refused:
        return QStringLiteral("Recusada");
    case BatchItem::Outcome::Failed:
        return QStringLiteral("Falhou");
    case BatchItem::Outcome::Unknown:
        return QStringLiteral("Sem confirmação");
    case BatchItem::Outcome::NotSent:
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
        .arg(counts[int(BatchItem::Outcome::Listed)])
        .arg(alreadySent)
        .arg(counts[int(BatchItem::Outcome::Refused)])
        .arg(counts[int(BatchItem::Outcome::Failed)])
        .arg(counts[int(BatchItem::Outcome::Unknown)])
        .arg(counts[int(BatchItem::Outcome::NotSent)]);
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

BatchRun::BatchRun(const HttpClient& http, TransmissionJournal& journal, const TransmissionLimits& limits,
                   QObject* parent)
    : QObject(parent)
    , m_http(http)
    , m_journal(journal)
    , m_limits(limits) {}

void BatchRun::start(QList<BatchItem>* items, const QList<int>& which, const Certificate& certificate,
                     const QString& accountantDocument, int atOnce) {
    if (m_running)
        return;
    m_items = items;
    m_queue = which;
    m_sendingIes.clear();
    m_atOnce = std::max(1, atOnce);
    m_certificate = certificate;
    m_accountantDocument = accountantDocument;
    // The same for every item; only the server's date is each taxpayer's.
    m_ofAccountant = CertificateChecks::isAccountants(certificate, accountantDocument).valueOr(false);
    m_stop = false;
    m_running = true;
    for (const int index : which) {
        (*m_items)[index].result = BatchItem::Outcome::NotSent;
        (*m_items)[index].detail.clear();
        (*m_items)[index].protocols.clear();
        (*m_items)[index].journalError.clear();
    }
    QTimer::singleShot(0, this, &BatchRun::next);
}

void BatchRun::next() {
    if (m_stop) {
        for (const int index : std::exchange(m_queue, {}))
            finishItem(index, BatchItem::Outcome::NotSent, QStringLiteral("Parado antes do envio."));
    }
    while (m_sendingIes.size() < m_atOnce) {
        // The first waiting item whose taxpayer has nothing under way: an item's list may mark
        // the GIAs of the taxpayer's next item as sent.
        const auto waiting = std::find_if(m_queue.cbegin(), m_queue.cend(), [this](int index) {
            return !m_sendingIes.contains(m_items->at(index).taxpayer.IE);
        });
        if (waiting == m_queue.cend())
            break;
        const int index = *waiting;
        m_queue.erase(waiting);
        const BatchItem& item = m_items->at(index);
        Q_EMIT itemStarted(index);
        if (item.readiness != BatchItem::Readiness::Ready)
            finishItem(index, BatchItem::Outcome::NotSent, item.readinessDetail);
        else if (item.tickedGias().isEmpty())
            finishItem(index, BatchItem::Outcome::NotSent,
                       item.kind == TransmissionKind::Pgdas
                           ? QStringLiteral("Documento não marcado para envio.")
                           : QStringLiteral("Nenhuma GIA marcada para envio."));
        else
            send(index);
    }
    if (m_queue.isEmpty() && m_sendingIes.isEmpty() && m_running) {
        m_running = false;
        Q_EMIT finished();
    }
}

void BatchRun::send(int index) {
    const BatchItem& item = m_items->at(index);
    // The single window's check, against this taxpayer's server date.
    if (!m_ofAccountant || !CertificateChecks::notEndedBy(m_certificate, item.serverDate)) {
        finishItem(index, BatchItem::Outcome::NotSent,
                   QStringLiteral("O certificado escolhido não é do contador ou estava vencido na data do "
                                  "servidor."));
        return;
    }
    m_sendingIes.insert(item.taxpayer.IE);

    TransmissionOrder order;
    order.kind = item.kind;
    order.ie = item.taxpayer.IE;
    order.companyName = item.taxpayer.RazaoSocial;
    order.chave = item.taxpayer.Chave;
    order.accountantDocument = m_accountantDocument;
    // A PGDAS upload names no GIA, as the PGDAS window's.
    if (item.kind == TransmissionKind::Gia)
        order.gias = item.tickedGias();
    order.databasePath = item.databasePath;
    order.chosenPath = item.chosenPath;
    order.fileName = QFileInfo(item.chosenPath).fileName();
    order.certificateHolder = m_certificate.subjectName();
    order.certificateSerial = m_certificate.serialNumber();
    order.serverDate = item.serverDate;

    auto* transmission = new Transmission(m_journal, m_limits, m_http.folder(), this);
    const auto settle = [this, index, transmission](BatchItem::Outcome result, const QString& detail) {
        this->settle(index, transmission, result, detail);
    };
    connect(transmission, &Transmission::sendProgress, this,
            [this, index](int percent) { Q_EMIT itemProgress(index, percent); });
    connect(transmission, &Transmission::answered, this,
            [this, index, transmission, settle](const QString& text) {
                // A refusal marker is the server's word: no list can say otherwise.
                if (const QList<PgdasRefusal> refusals = m_items->at(index).kind == TransmissionKind::Pgdas
                                                             ? pgdasRefusalsIn(text)
                                                             : QList<PgdasRefusal>();
                    !refusals.isEmpty()) {
                    QStringList messages;
                    for (const PgdasRefusal& refusal : refusals)
                        messages.append(refusal.message);
                    settled(index, transmission, BatchItem::Outcome::Refused, messages.join(u' '), nullptr);
                    return;
                }
                settle(BatchItem::Outcome::Refused, QStringLiteral("O servidor respondeu: ") +
                                                        Transmission::answerFirstLine(text.toUtf8()));
            });
    connect(transmission, &Transmission::closedWithoutAnswer, this,
            [settle] { settle(BatchItem::Outcome::Unknown, kClosedWithoutAnswerText); });
    connect(transmission, &Transmission::failed, this, [settle, transmission](const AppError& error) {
        settle(transmission->requestSent() ? BatchItem::Outcome::Unknown : BatchItem::Outcome::Failed,
               error.description);
    });
    if (const std::optional<Transmission::Refusal> refused = transmission->start(
            order, item.kind == TransmissionKind::Pgdas ? kPgdasPauses : TransmissionPauses{})) {
        transmission->deleteLater();
        m_sendingIes.remove(item.taxpayer.IE);
        finishItem(index, BatchItem::Outcome::Failed, refused->error.description);
    }
}

void BatchRun::settle(int index, Transmission* transmission, BatchItem::Outcome result,
                      const QString& detail) {
    // Nothing the server could have recorded needs its list.
    if (result == BatchItem::Outcome::Failed) {
        settled(index, transmission, result, detail, nullptr);
        return;
    }
    const BatchItem& sent = m_items->at(index);
    fetchTaxpayerList(m_http, m_journal, sent.taxpayer.IE, sent.taxpayer.Chave, this,
                      [this, index, transmission, result, detail](const Result<TaxpayerList>& list) {
                          settled(index, transmission, result, detail, &list);
                      });
}

void BatchRun::settled(int index, Transmission* transmission, BatchItem::Outcome result,
                       const QString& detail, const Result<TaxpayerList>* list) {
    BatchItem::Outcome final = result;
    QString why = detail;
    QList<ListedTransmission> protocols;
    if (list) {
        // What the server now lists is marked as at the first listing, in every item of the
        // taxpayer: sent once is enough.
        if (*list && !(*list)->keyRefused) {
            const QString ie = m_items->at(index).taxpayer.IE;
            for (BatchItem& other : *m_items) {
                if (other.taxpayer.IE == ie)
                    applyList(&other, *list);
            }
        }
        if (*list && (*list)->confirmed.contains(transmission->journalId())) {
            final = BatchItem::Outcome::Listed;
            why.clear();
            protocols = (*list)->confirmed.value(transmission->journalId());
        } else if (!*list && result == BatchItem::Outcome::Refused) {
            final = BatchItem::Outcome::Unknown;
            why = detail + QStringLiteral(" (") + list->error().description + QLatin1Char(')');
        }
    }
    if (const std::optional<AppError>& unwritten = transmission->journalError())
        (*m_items)[index].journalError = unwritten->description;
    m_sendingIes.remove(m_items->at(index).taxpayer.IE);
    finishItem(index, final, why, protocols);
    transmission->deleteLater();
    QTimer::singleShot(0, this, &BatchRun::next);
}

void BatchRun::finishItem(int index, BatchItem::Outcome result, const QString& detail,
                          const QList<ListedTransmission>& protocols) {
    BatchItem& item = (*m_items)[index];
    item.result = result;
    item.detail = detail;
    item.protocols = protocols;
    Q_EMIT itemFinished(index);
}

} // namespace fiscora
