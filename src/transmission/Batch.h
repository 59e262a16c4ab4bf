#pragma once

#include "certificates/Certificate.h"
#include "core/Result.h"
#include "data/GiaDatabaseReader.h"
#include "data/PgdasMatching.h"
#include "data/TaxpayerTable.h"
#include "data/TransmissionJournal.h"
#include "net/HttpClient.h"
#include "transmission/TaxpayerList.h"
#include "transmission/Transmission.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace fiscora {

class ModalGate;
class Transmission;

// A GIA of a batch and whether it goes; of a PGDAS item, its document (no number, the reference
// read from its text, and no year refused: the PGDAS window checks none).
struct BatchGia {
    enum class Note {
        None,
        AlreadyListed,   // its reference is in the server's list: "já transmitida", not ticked
        YearNotAccepted, // the server does not accept its year: cannot be ticked
    };
    GiaListRow row;
    Note note = Note::None;
    bool ticked = true;
    QStringList protocols; // what the server's list gives its reference, when it shows it
};

// One upload of a batch: a registered taxpayer's GIAs found in one file, sent as the GIA window
// would send them (the export with itself about the marker; a package with its text file); or a
// Simples Nacional taxpayer's PGDAS document, sent as the PGDAS window sends it.
struct BatchItem {
    enum class Readiness {
        NotAsked,
        Ready,
        KeyRefused,      // the server does not know the taxpayer's key
        ListUnavailable, // its list could not be had
    };
    enum class Outcome {
        NotSent,
        Listed,  // sent, and the refreshed list shows it: `protocols`
        Refused, // the server answered and the list does not show it
        Failed,  // the upload failed before the server had it all
        Unknown, // sent without an answer: the list may show it later
    };

    TransmissionKind kind = TransmissionKind::Gia;
    Taxpayer taxpayer;
    QString databasePath; // the export, or the package made from the text file; the document
    QString chosenPath;   // the export, or the text file; the document: its name is the upload's
    QList<BatchGia> gias; // by reference; a PGDAS item's single document

    Readiness readiness = Readiness::NotAsked;
    QString readinessDetail; // why it is not ready
    QString anoTrabalho;
    QDateTime serverDate;

    Outcome result = Outcome::NotSent;
    QString detail;                      // why it was not sent, the failure, the server's first line
    QList<ListedTransmission> protocols; // each with its reference
    // The journal could not record the upload's outcome (its row stays "enviando"): why.
    QString journalError;

    bool canTick(int gia) const;
    QList<JournalGia> tickedGias() const;
    // The ticked GIAs whose reference the server lists already, with its protocols.
    QList<ListedReference> tickedListed() const;
    // Every GIA that can go is one the server lists: nothing is left to send.
    bool nothingLeft() const;
    // Not sent because nothing was to go: none ticked, and nothing left to send.
    bool skipped() const;
};

// A company found in the file that is not registered (no key): it is imported first.
struct BatchCompany {
    QString ie;
    QString name;
};

// What a batch sends from: one NovaGIA export, or every GIA text file (.prf) of a folder, each
// converted into a package of its own; or the PGDAS documents (.pdf) of a folder.
struct BatchSource {
    QList<BatchItem> items; // by taxpayer name, then file
    QList<BatchCompany> unregistered;
    // Files of the folder that could not be read, with why.
    QStringList problems;
    // PGDAS documents not sent: unreadable, or matched to no Simples Nacional taxpayer or to
    // more than one; each with its `why`, in the order of their names.
    QList<PgdasMatch> setApart;

    // Fails, in Portuguese, when nothing can be read (not an export, an empty folder, no GIA of
    // a registered or unregistered company of the program folder). Packages go to `workFolder`. A
    // job of `context`: the files are read one after another, and `done` runs once, later.
    static void open(const ProgramFolder& program, const AccessReader& reader, const QString& path,
                     const QString& workFolder, QObject* context,
                     std::function<void(fiscora::Result<BatchSource>)> done);
    // Every PDF of the folder matched to the registered taxpayers (PgdasMatching): one item per
    // matched document, the others set apart. Fails, in Portuguese, when the folder cannot be
    // read or holds no PDF. A job of `context`; `done` runs once, later, through `gate`.
    static void openPgdas(const ProgramFolder& program, const QString& folder, ModalGate& gate,
                          QObject* context, std::function<void(fiscora::Result<BatchSource>)> done);
    // A folder with PGDAS documents and no GIA text file: what a typed folder is opened as.
    static bool isPgdasFolder(const QString& path);
    // The items, the companies, the problems and the set-apart documents of `other` after these.
    void append(const BatchSource& other);
};

// Why a set-apart document is not sent, naming the file.
QString setApartText(const PgdasMatch& match);

// Asks the server once per taxpayer for its list, a few taxpayers at a time, and marks its items
// by it (applyList), in their order. Widget-free; destroying it ends the questions under way.
class BatchPreparation final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BatchPreparation)

public:
    // The journal (which outlives the preparation) records what the lists show.
    BatchPreparation(const HttpClient& http, TransmissionJournal& journal, QObject* parent = nullptr);

    // The items (which must outlive the preparation) are marked as their lists come, with at
    // most `atOnce` lists asked for together.
    void start(QList<BatchItem>* items, int atOnce = 1);
    bool running() const { return m_items != nullptr; }

Q_SIGNALS:
    // A taxpayer's list is being asked for: index of its first item, count of items.
    void asking(int index, int total);
    void finished();

private:
    void next();

    HttpClient m_http;
    TransmissionJournal& m_journal;
    QList<BatchItem>* m_items = nullptr;
    qsizetype m_next = 0;
    int m_atOnce = 1;
    QHash<QString, Result<TaxpayerList>> m_lists;
    QSet<QString> m_asking;
};

// Marks an item by its taxpayer's list, at the first listing and whenever the list is had again:
// the accepted years and the server's date, a refused key, the references the server already has
// (unticked, "já transmitida", with their protocols); GIAs of years not accepted cannot go; the
// others are ticked.
void applyList(BatchItem* item, const Result<TaxpayerList>& list);

// The outcome of an item's upload could not be recorded: which row and why, in one sentence.
QString journalNotWrittenText(const BatchItem& item);

// An item's result as its line names it, and the detail beside it: the protocols of a listed
// upload; for a skipped one, "Nada a enviar" and the references that left it so.
QString batchResultText(const BatchItem& item);
QString batchResultDetail(const BatchItem& item);
// The totals of every item of the batch, whichever round last sent it.
QString batchSummaryText(const QList<BatchItem>& items);
QString batchNoteText(BatchGia::Note note);

// The uploads of a batch, a few at a time (in the order given, never two of one taxpayer at
// once), with one certificate: checked for each taxpayer against its server date as the single
// window checks it, then the upload, then the taxpayer's list asked for again so the result says
// whether the server lists it. Widget-free.
class BatchRun final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BatchRun)

public:
    // The journal (which outlives the run) records every upload.
    BatchRun(const HttpClient& http, TransmissionJournal& journal, const TransmissionLimits& limits,
             QObject* parent = nullptr);

    // Sends the items of `which` (indexes into *items, which must outlive the run) that have a
    // ticked GIA; the others end NotSent. The accountant's document as stored. At most `atOnce`
    // uploads run together (1: one after another).
    void start(QList<BatchItem>* items, const QList<int>& which, const Certificate& certificate,
               const QString& accountantDocument, int atOnce = 1);
    // The items being sent go on; none starts after them.
    void stopAfterCurrent() { m_stop = true; }
    bool running() const { return m_running; }

Q_SIGNALS:
    void itemStarted(int index);
    void itemProgress(int index, int percent);
    void itemFinished(int index);
    void finished();

private:
    void next();
    void send(int index);
    // After the outcome the taxpayer's list (when the server may have the upload) tells whether
    // the server has it.
    void settle(int index, Transmission* transmission, BatchItem::Outcome result, const QString& detail);
    void settled(int index, Transmission* transmission, BatchItem::Outcome result, const QString& detail,
                 const Result<TaxpayerList>* list);
    // Listed items get the protocols the journal now keeps for their upload.
    void finishItem(int index, BatchItem::Outcome result, const QString& detail,
                    const QList<ListedTransmission>& protocols = {});

    HttpClient m_http;
    TransmissionJournal& m_journal;
    TransmissionLimits m_limits;
    QList<BatchItem>* m_items = nullptr;
    QList<int> m_queue;
    QSet<QString> m_sendingIes; // taxpayers with an upload or its list under way
    int m_atOnce = 1;
    Certificate m_certificate;
    QString m_accountantDocument;
    bool m_ofAccountant = false; // the certificate carries the accountant's document
    bool m_running = false;
    bool m_stop = false;
};

} // namespace fiscora
