#pragma once

#include "core/Clock.h"
#include "core/ListedTransmission.h"
#include "core/Result.h"
#include "data/LocalDatabase.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace fiscora {

// The journal of transmissions (tblEnvios of fiscora.mdb): one row per upload attempt, written
// before the first byte is sent and completed when the outcome is known, so that after a crash
// or a dropped connection the accountant knows what may have reached the server.

enum class TransmissionKind { Gia, Pgdas };

// What became of an upload (column Situacao).
enum class TransmissionOutcome {
    Sending,  // "enviando": no outcome yet; a program stopped mid-upload leaves the row so
    Answered, // "respondido": the server answered; detail = the answer's first line
    Refused,  // "recusado": the answer carried PGDAS refusal markers; detail = the markers
    Failed,   // "falha": the connection failed before the whole content was sent; detail = reason
    Unknown,  // "desconhecido": sent, but no answer (time limit after the send, closed without
              // answer); detail = why
};

// One GIA of an upload: its number (as in the query's "gias=") and its reference "mm/yyyy".
struct JournalGia {
    QString number;
    QString reference;
    bool operator==(const JournalGia&) const = default;
};

// A receipt kept as a PDF file for one of a row's protocols.
struct JournalReceipt {
    QString protocol;
    QString path;
    QString sha256; // of the file as written, lower-case hex
    bool operator==(const JournalReceipt&) const = default;
};

struct JournalEntry {
    qint64 id = 0;
    // Given by the transmission code to startTransmission().
    QDateTime serverDate; // DataServidor of the taxpayer's last list; invalid or zero: unknown
    QString ie;
    QString companyName;
    QString chave; // the key used in the upload's address
    TransmissionKind kind = TransmissionKind::Gia;
    QList<JournalGia> gias; // GIA: the GIAs sent; PGDAS: empty (the server reads the reference)
    QString fileName;       // the file name of the upload's part
    qint64 contentSize = 0; // of the exact content sent (net/ContentDigest)
    QString contentSha256;  // lower-case hex
    QString accountantDocument;
    QString certificateHolder;
    QString certificateSerial;

    // Kept by the journal.
    QDateTime localTime; // when the row was written (the journal's clock)
    bool protocolsBeforeKnown = false;
    QStringList protocolsBefore; // what the taxpayer's last list showed at that moment
    TransmissionOutcome outcome = TransmissionOutcome::Sending;
    QString detail;
    QDateTime completedTime;
    // What a later list showed for the upload: each protocol with its reference, in the order of
    // the GIAs (a row of an older layout may have protocols without their references).
    QList<ListedTransmission> protocols;
    QDateTime confirmedTime;
    // The receipts kept for those protocols, in the order they were kept.
    QList<JournalReceipt> receipts;

    // No outcome, or sent without an answer, and no list has shown it since: it may or may not
    // have reached the server.
    bool unconfirmed() const;
    // The GIAs' numbers and their references, each joined by ", " as the table keeps them; a PGDAS
    // upload's references are those the list gave its protocols.
    QString giaNumbers() const;
    QString references() const;
    // The receipt kept for `protocol`; none when there is none.
    std::optional<JournalReceipt> receipt(const QString& protocol) const;
};

struct JournalFilter {
    QString ie;                                 // empty: every taxpayer
    QDate from;                                 // invalid: no lower bound (local date)
    QDate to;                                   // invalid: no upper bound, inclusive
    std::optional<TransmissionOutcome> outcome; // none: any
    bool unconfirmedOnly = false;
};

// Every taxpayer with rows in the journal: IE and the name of its newest row, by name.
struct JournalTaxpayer {
    QString ie;
    QString companyName;
};

// The outcome as the window and the export name it.
QString outcomeText(TransmissionOutcome outcome);
QString kindText(TransmissionKind kind);
// Each protocol beside its reference: "09/2026: protocolo 2026001188; 10/2026: protocolo ...".
QString protocolsText(const QList<ListedTransmission>& protocols);
// A journal date as the windows and the export show it; empty when unknown.
QString journalDateText(const QDateTime& when);
// "N envios sem confirmação do servidor" ("1 envio ..." for one).
QString unconfirmedCountText(qsizetype count);

// How the journal waits for a file another program holds.
struct JournalOptions {
    // What one statement waits, in SQLite itself, on the window thread: a moment, never seconds.
    int busyTimeoutMs = 250;
    // How long a write that found the file busy is tried again later (an upload's outcome).
    int retryLimitMs = 30000;
};

// The journal of one database file. It opens the file (bringing an older layout up to date) with
// its first command and keeps the connection and its prepared statements while it lives, so a
// batch of uploads opens the file once; a failed command closes it, and the next opens it again.
// Built once by the program's entry (and by each test) and handed to what writes or reads it.
class TransmissionJournal final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TransmissionJournal)

public:
    // The clock dates the rows.
    TransmissionJournal(QString path, const Clock& clock, JournalOptions options = {},
                        QObject* parent = nullptr);
    ~TransmissionJournal() override;

    const JournalOptions& options() const { return m_options; }
    const Clock& clock() const { return m_clock; }

    // Writes the row of an upload about to start, in state Sending, and returns its id. Call it
    // right before the first byte goes out. The protocols the taxpayer's last list showed are kept
    // with the row, so that a protocol a later list shows for its references is known to be new.
    Result<qint64> startTransmission(const JournalEntry& entry);

    // The outcome of the upload of row `id` (never Sending); a row is completed once.
    Status completeTransmission(qint64 id, TransmissionOutcome outcome, const QString& detail);

    // The SHA-256 of the content once it has gone out whole (reckoned while the server answers).
    Status recordContentDigest(qint64 id, const QString& sha256);

    // After a valid list of the taxpayer's transmissions: the protocols the list shows for the
    // first time since an upload started are recorded on that upload's row (for a GIA upload,
    // those of its references, one per GIA; for a PGDAS upload, one), newest row first, each
    // protocol on one row at most. A row so recorded is no longer unconfirmed. The list is kept as
    // the taxpayer's last. Returns the ids of the rows that got protocols, newest first;
    // `protocols`, when given, gets each such row's protocols as the journal now keeps them.
    Result<QList<qint64>>
    recordListedTransmissions(const QString& ie, const QList<ListedTransmission>& listed,
                              QHash<qint64, QList<ListedTransmission>>* protocols = nullptr);

    // The receipt of `receipt.protocol`, one of row `id`'s protocols, kept as a file: replaces an
    // earlier one of the same protocol.
    Status recordReceipt(qint64 id, const JournalReceipt& receipt);

    // The rows the filter lets through, newest first.
    Result<QList<JournalEntry>> findTransmissions(const JournalFilter& filter = {});

    Result<QList<JournalTaxpayer>> journalTaxpayers();

    // The uploads without a confirmed outcome, for the start-up box and the unattended run: how
    // many, what to do, and the first ten (taxpayer, what, date, outcome). Empty when none.
    Result<QString> unconfirmedTransmissionsReport();

Q_SIGNALS:
    // A list of the taxpayer's transmissions was recorded (recordListedTransmissions).
    void transmissionsListed(const QString& ie);

private:
    // Opens the file unless it is open: read-write, never created, upgraded when older, refused
    // untouched when newer.
    Status open();
    Result<qint64> writeStart(const JournalEntry& entry);
    Result<QList<qint64>> writeListed(const QString& ie, const QList<ListedTransmission>& listed,
                                      QHash<qint64, QList<ListedTransmission>>* protocols);
    Result<QList<JournalEntry>> find(const JournalFilter& filter);
    // A failed command leaves no transaction open and the connection closed, to be opened afresh.
    template <typename T> Result<T> settled(Result<T> result);

    QString m_path;
    const Clock& m_clock;
    JournalOptions m_options;
    LocalDatabase m_db;
};

} // namespace fiscora
