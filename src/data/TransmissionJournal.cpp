#include "data/TransmissionJournal.h"

#include "core/AppTexts.h"
#include "core/Clock.h"
#include "core/ServerDate.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace fiscora {

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kSeparator = QStringLiteral(", ");

struct OutcomeCode {
    TransmissionOutcome outcome;
    const char* code;
    const char* text;
};
constexpr OutcomeCode kOutcomes[] = {
    {TransmissionOutcome::Sending, "enviando", "Enviando (sem conclusão)"},
    {TransmissionOutcome::Answered, "respondido", "Respondido"},
    {TransmissionOutcome::Refused, "recusado", "Recusado"},
    {TransmissionOutcome::Failed, "falha", "Falha de conexão"},
    {TransmissionOutcome::Unknown, "desconhecido", "Resultado desconhecido"},
};

const OutcomeCode* outcomeEntry(TransmissionOutcome outcome) {
    for (const OutcomeCode& o : kOutcomes) {
        if (o.outcome == outcome)
            return &o;
    }
    return nullptr;
}

QString outcomeCode(TransmissionOutcome outcome) {
    const OutcomeCode* o = outcomeEntry(outcome);
    return o ? QString::fromLatin1(o->code) : QString();
}

TransmissionOutcome outcomeFromCode(const QString& code) {
    for (const OutcomeCode& o : kOutcomes) {
        if (code == QLatin1String(o.code))
            return o.outcome;
    }
    return TransmissionOutcome::Sending;
}

QVariant dateValue(const QDateTime& when) {
    return when.isValid() ? QVariant(when.toString(kDateFormat)) : QVariant();
}

QDateTime dateFrom(const DbRow& row, const QString& column) {
    return QDateTime::fromString(row.text(column), kDateFormat);
}

// Lists are kept as their values joined by ", ".
QString joined(const QStringList& values) {
    QStringList kept;
    for (const QString& value : values) {
        if (!value.trimmed().isEmpty())
            kept.append(value.trimmed());
    }
    return kept.join(kSeparator);
}

QStringList split(const QString& text) {
    QStringList values;
    for (const QString& value : text.split(QLatin1Char(','))) {
        if (!value.trimmed().isEmpty())
            values.append(value.trimmed());
    }
    return values;
}

// The list writes a reference with blanks about it now and then.
QString bareReference(const QString& reference) {
    QString bare = reference;
    bare.remove(QLatin1Char(' '));
    return bare;
}

// Protocols with their references as the table keeps them: "mm/yyyy=protocol" pairs.
QString pairsText(const QList<ListedTransmission>& pairs) {
    QStringList kept;
    for (const ListedTransmission& pair : pairs)
        kept.append(pair.reference + QLatin1Char('=') + pair.protocol);
    return kept.join(kSeparator);
}

QList<ListedTransmission> pairsFrom(const DbRow& row) {
    QList<ListedTransmission> pairs;
    // A row confirmed before references were kept has its protocols alone.
    if (row.value(QStringLiteral("ProtocolosPorReferencia")).isNull()) {
        for (const QString& protocol : split(row.text(QStringLiteral("Protocolos"))))
            pairs.append({QString(), protocol});
        return pairs;
    }
    for (const QString& pair : split(row.text(QStringLiteral("ProtocolosPorReferencia"))))
        pairs.append({pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1)});
    return pairs;
}

// Receipts as the table keeps them: "protocol=value" lines, a path and a digest per protocol.
QHash<QString, QString> receiptLines(const QString& text) {
    QHash<QString, QString> values;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        values.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
    return values;
}

QList<JournalReceipt> receiptsFrom(const DbRow& row) {
    const QHash<QString, QString> digests = receiptLines(row.text(QStringLiteral("Sha256Recibos")));
    QList<JournalReceipt> receipts;
    for (const QString& line :
         row.text(QStringLiteral("ArquivosRecibo")).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString protocol = line.section(QLatin1Char('='), 0, 0);
        receipts.append({protocol, line.section(QLatin1Char('='), 1), digests.value(protocol)});
    }
    return receipts;
}

JournalEntry entryFromRow(const DbRow& row) {
    JournalEntry e;
    e.id = row.value(QStringLiteral("IdEnvio")).toLongLong();
    e.localTime = dateFrom(row, QStringLiteral("DataHoraLocal"));
    e.serverDate = dateFrom(row, QStringLiteral("DataServidor"));
    e.ie = row.text(QStringLiteral("IE"));
    e.companyName = row.text(QStringLiteral("RazaoSocial"));
    e.chave = row.text(QStringLiteral("Chave"));
    e.kind = row.text(QStringLiteral("Tipo")) == QLatin1String("PGDAS") ? TransmissionKind::Pgdas
                                                                        : TransmissionKind::Gia;
    const QStringList numbers = split(row.text(QStringLiteral("NumerosGia")));
    const QStringList references = split(row.text(QStringLiteral("Referencias")));
    for (qsizetype i = 0; i < numbers.size(); ++i)
        e.gias.append({numbers.at(i), references.value(i)});
    e.fileName = row.text(QStringLiteral("NomeArquivo"));
    e.contentSize = row.value(QStringLiteral("TamanhoConteudo")).toLongLong();
    e.contentSha256 = row.text(QStringLiteral("Sha256Conteudo"));
    e.accountantDocument = row.text(QStringLiteral("DocumentoContador"));
    e.certificateHolder = row.text(QStringLiteral("TitularCertificado"));
    e.certificateSerial = row.text(QStringLiteral("SerieCertificado"));
    e.protocolsBeforeKnown = !row.value(QStringLiteral("ProtocolosAnteriores")).isNull();
    e.protocolsBefore = split(row.text(QStringLiteral("ProtocolosAnteriores")));
    e.outcome = outcomeFromCode(row.text(QStringLiteral("Situacao")));
    e.detail = row.text(QStringLiteral("Detalhe"));
    e.completedTime = dateFrom(row, QStringLiteral("DataHoraConclusao"));
    e.protocols = pairsFrom(row);
    e.confirmedTime = dateFrom(row, QStringLiteral("DataHoraConfirmacao"));
    e.receipts = receiptsFrom(row);
    return e;
}

Result<QList<JournalEntry>> entries(LocalDatabase& db, const QString& sql, const QVariantList& parameters) {
    const Result<QList<DbRow>> rows = db.query(sql, parameters);
    if (!rows)
        return rows.error();
    QList<JournalEntry> found;
    for (const DbRow& row : *rows)
        found.append(entryFromRow(row));
    return found;
}

// The protocols a listed transmission may give the row: new since the row started, not on
// another row, of the row's references (for a PGDAS row, any), as many as it sent GIAs. Each
// comes with its reference as the list writes it.
QList<ListedTransmission> protocolsFor(const JournalEntry& row, const QList<ListedTransmission>& listed,
                                       const QSet<QString>& claimed) {
    const QSet<QString> before(row.protocolsBefore.cbegin(), row.protocolsBefore.cend());
    QHash<QString, int> wanted; // per reference, the GIAs still without a protocol
    for (const JournalGia& gia : row.gias)
        ++wanted[bareReference(gia.reference)];
    const bool anyReference = row.kind == TransmissionKind::Pgdas;
    qsizetype room = (anyReference ? 1 : row.gias.size()) - row.protocols.size();
    for (const ListedTransmission& kept : row.protocols)
        --wanted[kept.reference];
    QList<ListedTransmission> found;
    QSet<QString> taken;
    for (const ListedTransmission& item : listed) {
        if (room <= 0)
            break;
        const QString protocol = item.protocol.trimmed();
        const QString reference = bareReference(item.reference);
        if (protocol.isEmpty() || before.contains(protocol) || claimed.contains(protocol) ||
            taken.contains(protocol))
            continue;
        if (!anyReference) {
            if (wanted.value(reference) <= 0)
                continue;
            --wanted[reference];
        }
        found.append({reference, protocol});
        taken.insert(protocol);
        --room;
    }
    return found;
}

// A row's protocols kept before their references: the list names the reference of each it shows.
bool addReferences(QList<ListedTransmission>* pairs, const QList<ListedTransmission>& listed) {
    bool added = false;
    for (ListedTransmission& pair : *pairs) {
        if (!pair.reference.isEmpty())
            continue;
        for (const ListedTransmission& item : listed) {
            if (item.protocol.trimmed() == pair.protocol) {
                pair.reference = bareReference(item.reference);
                added = true;
                break;
            }
        }
    }
    return added;
}

// In the order of the row's GIAs, so that each protocol is read beside its GIA.
void sortByGias(QList<ListedTransmission>* pairs, const QList<JournalGia>& gias) {
    const auto position = [&gias](const ListedTransmission& pair) {
        for (qsizetype i = 0; i < gias.size(); ++i) {
            if (bareReference(gias.at(i).reference) == pair.reference)
                return i;
        }
        return gias.size();
    };
    std::stable_sort(pairs->begin(), pairs->end(),
                     [&position](const ListedTransmission& a, const ListedTransmission& b) {
                         return position(a) < position(b);
                     });
}

} // namespace

bool JournalEntry::unconfirmed() const {
    return (outcome == TransmissionOutcome::Sending || outcome == TransmissionOutcome::Unknown) &&
           protocols.isEmpty();
}

QString JournalEntry::giaNumbers() const {
    QStringList numbers;
    for (const JournalGia& gia : gias)
        numbers.append(gia.number);
    return joined(numbers);
}

QString JournalEntry::references() const {
    QStringList references;
    for (const JournalGia& gia : gias)
        references.append(gia.reference);
    if (kind == TransmissionKind::Pgdas) {
        for (const ListedTransmission& pair : protocols)
            references.append(pair.reference);
    }
    return joined(references);
}

std::optional<JournalReceipt> JournalEntry::receipt(const QString& protocol) const {
    for (const JournalReceipt& kept : receipts) {
        if (kept.protocol == protocol)
            return kept;
    }
    return std::nullopt;
}

QString protocolsText(const QList<ListedTransmission>& protocols) {
    QStringList shown;
    for (const ListedTransmission& pair : protocols) {
        shown.append(pair.reference.isEmpty()
                         ? QStringLiteral("protocolo %1").arg(pair.protocol)
                         : QStringLiteral("%1: protocolo %2").arg(pair.reference, pair.protocol));
    }
    return shown.join(QStringLiteral("; "));
}

QString outcomeText(TransmissionOutcome outcome) {
    const OutcomeCode* o = outcomeEntry(outcome);
    return o ? QString::fromUtf8(o->text) : QString();
}

QString kindText(TransmissionKind kind) {
    return kind == TransmissionKind::Pgdas ? QStringLiteral("PGDAS") : QStringLiteral("GIA");
}

QString journalDateText(const QDateTime& when) {
    return when.isValid() ? when.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) : QString();
}

QString unconfirmedCountText(qsizetype count) {
    return count == 1 ? QStringLiteral("1 envio sem confirmação do servidor")
                      : QStringLiteral("%1 envios sem confirmação do servidor").arg(count);
}

TransmissionJournal::TransmissionJournal(QString path, const Clock& clock, JournalOptions options,
                                         QObject* parent)
    : QObject(parent)
    , m_path(std::move(path))
    , m_clock(clock)
    , m_options(options)
    , m_db(options.busyTimeoutMs) {}

TransmissionJournal::~TransmissionJournal() = default;

Status TransmissionJournal::open() {
    if (m_db.isOpen())
        return {};
    return m_db.openFile(m_path);
}

template <typename T> Result<T> TransmissionJournal::settled(Result<T> result) {
    if (!result)
        m_db.close();
    return result;
}

Result<QString> TransmissionJournal::unconfirmedTransmissionsReport() {
    JournalFilter filter;
    filter.unconfirmedOnly = true;
    const Result<QList<JournalEntry>> found = findTransmissions(filter);
    if (!found)
        return found.error();
    if (found->isEmpty())
        return QString();
    constexpr int kShown = 10;
    QStringList lines;
    for (const JournalEntry& e : *found) {
        if (lines.size() == kShown) {
            lines.append(QStringLiteral("… e mais %1.").arg(found->size() - kShown));
            break;
        }
        const QString what = e.kind == TransmissionKind::Gia ? e.references() : e.fileName;
        lines.append(QStringLiteral("• %1 - %2: %3 %4, %5 (%6)")
                         .arg(e.ie, e.companyName.trimmed(), kindText(e.kind), what,
                              journalDateText(e.localTime), outcomeText(e.outcome)));
    }
    return QString(
        unconfirmedCountText(found->size()) +
        (found->size() == 1 ? QStringLiteral(": não se sabe se chegou ao servidor.")
                            : QStringLiteral(": não se sabe se chegaram ao servidor.")) +
        QStringLiteral(" Confira a lista de transmissões do contribuinte antes de enviar de novo; os "
                       "detalhes estão em Contribuinte > Envios realizados.\n\n") +
        lines.join(QLatin1Char('\n')));
}

Result<qint64> TransmissionJournal::startTransmission(const JournalEntry& entry) {
    return settled(writeStart(entry));
}

Result<qint64> TransmissionJournal::writeStart(const JournalEntry& e) {
    if (Status opened = open(); !opened)
        return opened.error();
    LocalDatabase& db = m_db;
    if (Status begun = db.begin(); !begun)
        return begun.error();
    const Result<std::optional<DbRow>> last =
        db.first(QStringLiteral("SELECT Protocolos FROM tblUltimaLista WHERE IE = ?"), {e.ie});
    if (!last)
        return last.error();
    const bool serverDateKnown = e.serverDate.isValid() && e.serverDate != zeroDateTime();
    const Result<std::optional<DbRow>> inserted = db.first(
        QStringLiteral(
            "INSERT INTO tblEnvios (DataHoraLocal, DataServidor, IE, RazaoSocial, Chave, Tipo, "
            "NumerosGia, Referencias, NomeArquivo, TamanhoConteudo, Sha256Conteudo, DocumentoContador, "
            "TitularCertificado, SerieCertificado, ProtocolosAnteriores, Situacao) "
            "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,'enviando') RETURNING IdEnvio"),
        {m_clock.now().toString(kDateFormat), serverDateKnown ? dateValue(e.serverDate) : QVariant(), e.ie,
         e.companyName, e.chave, kindText(e.kind), e.giaNumbers(), e.references(), e.fileName, e.contentSize,
         e.contentSha256, e.accountantDocument, e.certificateHolder, e.certificateSerial,
         *last ? QVariant((*last)->text(QStringLiteral("Protocolos"))) : QVariant()});
    if (!inserted)
        return inserted.error();
    if (Status committed = db.commit(); !committed)
        return committed.error();
    return (*inserted)->value(QStringLiteral("IdEnvio")).toLongLong();
}

Status TransmissionJournal::completeTransmission(qint64 id, TransmissionOutcome outcome,
                                                 const QString& detail) {
    const AppError notOpen{
        3021, AppTexts::programTitle,
        QStringLiteral("O envio %1 não está no registro de envios ou já foi concluído.").arg(id)};
    if (outcome == TransmissionOutcome::Sending)
        return notOpen;
    if (Status opened = open(); !opened)
        return opened;
    const Result<std::optional<DbRow>> done = settled(
        m_db.first(QStringLiteral("UPDATE tblEnvios SET Situacao = ?, Detalhe = ?, DataHoraConclusao = ? "
                                  "WHERE IdEnvio = ? AND DataHoraConclusao IS NULL RETURNING IdEnvio"),
                   {outcomeCode(outcome), detail, m_clock.now().toString(kDateFormat), id}));
    if (!done)
        return done.error();
    if (!*done)
        return notOpen;
    return {};
}

Status TransmissionJournal::recordContentDigest(qint64 id, const QString& sha256) {
    if (Status opened = open(); !opened)
        return opened;
    return settled(
        m_db.exec(QStringLiteral("UPDATE tblEnvios SET Sha256Conteudo = ? WHERE IdEnvio = ?"), {sha256, id}));
}

Status TransmissionJournal::recordReceipt(qint64 id, const JournalReceipt& receipt) {
    const AppError noRow{3021, AppTexts::programTitle,
                         QStringLiteral("O envio %1 não está no registro de envios.").arg(id)};
    if (receipt.protocol.isEmpty() || receipt.protocol.contains(QLatin1Char('=')) ||
        receipt.path.contains(QLatin1Char('\n')))
        return AppError::message(
            QStringLiteral("O recibo do protocolo %1 não pode ser registrado.").arg(receipt.protocol));
    if (Status opened = open(); !opened)
        return opened;
    const Result<std::optional<DbRow>> row = settled(m_db.first(
        QStringLiteral("SELECT ArquivosRecibo, Sha256Recibos FROM tblEnvios WHERE IdEnvio = ?"), {id}));
    if (!row)
        return row.error();
    if (!*row)
        return noRow;
    QList<JournalReceipt> receipts = receiptsFrom(**row);
    receipts.removeIf([&receipt](const JournalReceipt& kept) { return kept.protocol == receipt.protocol; });
    receipts.append(receipt);
    QStringList paths;
    QStringList digests;
    for (const JournalReceipt& kept : receipts) {
        paths.append(kept.protocol + QLatin1Char('=') + kept.path);
        digests.append(kept.protocol + QLatin1Char('=') + kept.sha256);
    }
    return settled(m_db.exec(
        QStringLiteral("UPDATE tblEnvios SET ArquivosRecibo = ?, Sha256Recibos = ? WHERE IdEnvio = ?"),
        {paths.join(QLatin1Char('\n')), digests.join(QLatin1Char('\n')), id}));
}

Result<QList<qint64>>
TransmissionJournal::recordListedTransmissions(const QString& ie, const QList<ListedTransmission>& listed,
                                               QHash<qint64, QList<ListedTransmission>>* protocols) {
    Result<QList<qint64>> recorded = settled(writeListed(ie, listed, protocols));
    if (recorded)
        Q_EMIT transmissionsListed(ie);
    return recorded;
}

Result<QList<qint64>> TransmissionJournal::writeListed(const QString& ie,
                                                       const QList<ListedTransmission>& listed,
                                                       QHash<qint64, QList<ListedTransmission>>* protocols) {
    if (Status opened = open(); !opened)
        return opened.error();
    LocalDatabase& db = m_db;
    if (Status begun = db.begin(); !begun)
        return begun.error();
    const Result<QList<JournalEntry>> rows =
        entries(db, QStringLiteral("SELECT * FROM tblEnvios WHERE IE = ? ORDER BY IdEnvio DESC"), {ie});
    if (!rows)
        return rows.error();
    QSet<QString> claimed;
    for (const JournalEntry& row : *rows) {
        for (const ListedTransmission& pair : row.protocols)
            claimed.insert(pair.protocol);
    }

    const QString now = m_clock.now().toString(kDateFormat);
    QList<qint64> recorded;
    for (const JournalEntry& row : *rows) {
        const bool mayHaveReached = row.outcome == TransmissionOutcome::Sending ||
                                    row.outcome == TransmissionOutcome::Answered ||
                                    row.outcome == TransmissionOutcome::Unknown;
        if (!mayHaveReached || !row.protocolsBeforeKnown)
            continue;
        JournalEntry current = row;
        const bool completed = addReferences(&current.protocols, listed);
        const QList<ListedTransmission> found = protocolsFor(current, listed, claimed);
        if (found.isEmpty() && !completed)
            continue;
        QList<ListedTransmission> kept = current.protocols;
        QStringList bare;
        for (const ListedTransmission& pair : found) {
            claimed.insert(pair.protocol);
            kept.append(pair);
        }
        sortByGias(&kept, row.gias);
        for (const ListedTransmission& pair : kept)
            bare.append(pair.protocol);
        const Status updated = db.exec(
            QStringLiteral("UPDATE tblEnvios SET Protocolos = ?, ProtocolosPorReferencia = ?, "
                           "DataHoraConfirmacao = coalesce(DataHoraConfirmacao, ?) WHERE IdEnvio = ?"),
            {joined(bare), pairsText(kept), now, row.id});
        if (!updated)
            return updated.error();
        if (found.isEmpty())
            continue;
        recorded.append(row.id);
        if (protocols)
            protocols->insert(row.id, kept);
    }

    QStringList listedProtocols;
    for (const ListedTransmission& item : listed)
        listedProtocols.append(item.protocol);
    // An unchanged list writes nothing: a batch asks for hundreds of them, and each write waits
    // for the disk.
    const Result<std::optional<DbRow>> last =
        db.first(QStringLiteral("SELECT Protocolos FROM tblUltimaLista WHERE IE = ?"), {ie});
    if (!last)
        return last.error();
    const bool unchanged = *last && (*last)->text(QStringLiteral("Protocolos")) == joined(listedProtocols);
    if (!unchanged) {
        if (Status kept =
                db.exec(QStringLiteral("INSERT OR REPLACE INTO tblUltimaLista (IE, Protocolos, DataHora) "
                                       "VALUES (?,?,?)"),
                        {ie, joined(listedProtocols), now});
            !kept)
            return kept.error();
    }
    if (Status committed = db.commit(); !committed)
        return committed.error();
    return recorded;
}

Result<QList<JournalEntry>> TransmissionJournal::findTransmissions(const JournalFilter& filter) {
    return settled(find(filter));
}

Result<QList<JournalEntry>> TransmissionJournal::find(const JournalFilter& filter) {
    if (Status opened = open(); !opened)
        return opened.error();
    QStringList conditions;
    QVariantList parameters;
    if (!filter.ie.isEmpty()) {
        conditions.append(QStringLiteral("IE = ?"));
        parameters.append(filter.ie);
    }
    if (filter.from.isValid()) {
        conditions.append(QStringLiteral("DataHoraLocal >= ?"));
        parameters.append(filter.from.startOfDay().toString(kDateFormat));
    }
    if (filter.to.isValid()) {
        conditions.append(QStringLiteral("DataHoraLocal < ?"));
        parameters.append(filter.to.addDays(1).startOfDay().toString(kDateFormat));
    }
    if (filter.outcome) {
        conditions.append(QStringLiteral("Situacao = ?"));
        parameters.append(outcomeCode(*filter.outcome));
    }
    if (filter.unconfirmedOnly)
        conditions.append(QStringLiteral("Situacao IN ('enviando', 'desconhecido') AND Protocolos IS NULL"));
    QString sql = QStringLiteral("SELECT * FROM tblEnvios");
    if (!conditions.isEmpty())
        sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY IdEnvio DESC");
    return entries(m_db, sql, parameters);
}

Result<QList<JournalTaxpayer>> TransmissionJournal::journalTaxpayers() {
    if (Status opened = open(); !opened)
        return opened.error();
    const Result<QList<DbRow>> rows = settled(m_db.query(
        QStringLiteral("SELECT IE, RazaoSocial FROM tblEnvios WHERE IdEnvio IN "
                       "(SELECT max(IdEnvio) FROM tblEnvios GROUP BY IE) ORDER BY RazaoSocial, IE")));
    if (!rows)
        return rows.error();
    QList<JournalTaxpayer> taxpayers;
    for (const DbRow& row : *rows)
        taxpayers.append({row.text(QStringLiteral("IE")), row.text(QStringLiteral("RazaoSocial"))});
    return taxpayers;
}

} // namespace fiscora
