#pragma once

#include "core/Result.h"
#include "data/TaxpayerTable.h"
#include "data/TransmissionJournal.h"
#include "net/HttpClient.h"
#include "transmission/TaxpayerList.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

namespace fiscora {

// Where a taxpayer stands for one reference month, from the server's list and the journal.
enum class MonthState {
    Delivered,       // "Entregue": the server lists the reference
    SentUnconfirmed, // "Enviada, sem confirmação": sent, no outcome or no answer, not listed yet
    Refused,         // "Recusada": the server answered and does not list it
    Failed,          // "Falhou": the upload failed before the server had it all
    Pending,         // "Pendente": nothing sent for it
    KeyRefused,      // the server refused the taxpayer's key: nothing can be told from it
    ListUnavailable, // the list could not be had: only the journal speaks
};

struct MonthRow {
    Taxpayer taxpayer;
    MonthState state = MonthState::Pending;
    QString protocol; // Delivered: the protocols the list gives the reference, joined by ", "
    QString date;     // Delivered: the list's date; otherwise the journal row's, when there is one
    QString detail;   // the server's reason, the failure, why the list is missing
    bool pgdas() const { return taxpayer.OptanteSimples; }
};

// The state of one taxpayer for `reference` ("MM/yyyy"): the list (none while not yet asked) and
// the taxpayer's journal rows, newest first. The list wins: what it shows is delivered, whatever
// the journal says; otherwise the newest upload of that reference decides.
MonthRow monthRow(const Taxpayer& taxpayer, const QString& reference, const Result<TaxpayerList>* list,
                  const QList<JournalEntry>& rows);

QString monthStateText(MonthState state);
QString regimeText(const MonthRow& row);
// "Entregues 71 · Pendentes 27 · …": each state that has rows, in the order of MonthState.
QString monthTotalsText(const QList<MonthRow>& rows);
// The month as a CSV file, with the journal export's conventions.
Status exportMonthCsv(const QList<MonthRow>& rows, const QString& reference, const QString& path);
// The reference being filed at `today`: the month before it.
QString previousReference(const QDate& today);

// The month of every registered taxpayer: their lists asked for a few at a time and kept, so the
// window opens again at once; refresh() asks again. Widget-free.
class MonthSituation final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MonthSituation)

public:
    // The journal (which outlives the situation) gives the uploads and records what the lists show.
    MonthSituation(const HttpClient& http, TransmissionJournal& journal, QObject* parent = nullptr);

    // The rows of `reference` from the lists kept so far (taxpayers without one are marked by the
    // journal alone until it comes), and asks for the missing lists.
    void show(const QList<Taxpayer>& taxpayers, const QString& reference, int atOnce);
    // Forgets the lists and asks for all of them again.
    void refresh();
    bool asking() const { return !m_waiting.isEmpty() || !m_asking.isEmpty(); }
    const QList<MonthRow>& rows() const { return m_rows; }

Q_SIGNALS:
    // A taxpayer's row changed (its list came).
    void rowChanged(int index);
    // Every list asked for has come.
    void finished();

private:
    void askMore();
    void rebuild();

    HttpClient m_http;
    TransmissionJournal& m_journal;
    QList<Taxpayer> m_taxpayers;
    QString m_reference;
    int m_atOnce = 3;
    QList<MonthRow> m_rows;
    QHash<QString, QList<JournalEntry>> m_journalRows; // by IE, newest first
    QHash<QString, Result<TaxpayerList>> m_lists;      // by IE
    QStringList m_waiting;                             // IEs not yet asked
    QSet<QString> m_asking;
    QObject* m_questions = nullptr; // parent of the questions under way: deleted to drop them
};

} // namespace fiscora
