#pragma once

#include "data/TransmissionJournal.h"
#include "net/HttpClient.h"
#include "printing/ReceiptFile.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

namespace fiscora {

// The receipt page of a taxpayer's reference (the address "Imprimir Protocolo" opens, with the
// settings' server), as a job of `context`; `done` runs once, later. Fails, in Portuguese, when
// the page cannot be had or does not show `protocol` (the page shows the reference's newest
// delivery).
void fetchReceiptPage(const HttpClient& http, const QString& ie, const QString& key, const QString& reference,
                      const QString& protocol, QObject* context, std::function<void(Result<QString>)> done);

// The files kept for these protocols of the taxpayer's uploads that are still there, in the
// order of the protocols.
Result<QStringList> keptReceiptFiles(TransmissionJournal& journal, const QString& ie,
                                     const QStringList& protocols);

// Keeps the receipt of every protocol a list shows for an upload of this program as a PDF file
// (printing/ReceiptFile) under the user's documents folder, and records its path and digest on
// the upload's journal row. Each list the journal records (the main window's, the batch's, the
// month view's) sends the keeper after that taxpayer's receipts not yet kept, a few at a time;
// one that cannot be had now stays without a file until a later list. Built by the windows' start
// (the command line, without fonts, keeps none) and stopped with it.
class ReceiptKeeper final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReceiptKeeper)

public:
    static constexpr int kAtOnce = 2;
    // A receipt page is a few kilobytes.
    static constexpr qint64 kMaxPageBytes = 512 * 1024;

    // The journal outlives the keeper.
    ReceiptKeeper(const HttpClient& http, TransmissionJournal& journal, QObject* parent = nullptr);

    // Asks for the receipts of the taxpayer's listed protocols that have no file yet (or whose
    // file is gone), unless they are asked for already. The documents folder and the server are
    // those of the moment.
    void keepMissing(const QString& ie);
    bool busy() const { return !m_waiting.isEmpty() || m_running > 0; }

Q_SIGNALS:
    // A receipt was kept and recorded on row `id`.
    void kept(qint64 id, const QString& protocol, const QString& path);
    // It could not be had or kept now; a later list asks for it again.
    void failed(qint64 id, const QString& protocol, const QString& why);
    // Nothing is asked for any more.
    void idle();

private:
    struct Wanted {
        qint64 id = 0;
        QString ie;
        QString name;
        QString key;
        QString reference;
        QString protocol;
    };
    void startMore();
    void fetch(const Wanted& wanted);
    void finish(const Wanted& wanted, const Result<KeptReceipt>& outcome);

    HttpClient m_http;
    TransmissionJournal& m_journal;
    QList<Wanted> m_waiting;
    QSet<QString> m_asked; // protocols waiting or under way
    int m_running = 0;
};

} // namespace fiscora
