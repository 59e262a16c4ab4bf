#pragma once

#include "core/Result.h"
#include "data/TransmissionJournal.h"
#include "net/TransmissionHistory.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QObject;

namespace fiscora {

class HttpClient;
class MessageBox;

// How the server refuses a key: the list text is the marker "CHAVE_INVALIDA" itself (blanks
// around it and case aside), or "CHAVE_I" appears anywhere else in its answer.
enum class KeyRefusal { None, InvalidKey, Unauthorized };
KeyRefusal keyRefusal(const QString& answer, const QString& listText);

// A taxpayer's list as the batch, the command line and the main window read it: what the server
// has, the years it accepts, its date.
struct TaxpayerList {
    bool keyRefused = false; // refusal != KeyRefusal::None
    KeyRefusal refusal = KeyRefusal::None;
    QString answer;   // the whole answer, as the server sent it
    QString listText; // its "return" element
    ListHeader header;
    QList<QStringList> rows; // per transmission, TransmissionColumn order
    // The journal rows of this taxpayer the list gave protocols, newest first, with the
    // protocols each now keeps (recordListedTransmissions).
    QList<qint64> confirmedRows;
    QHash<qint64, QList<ListedTransmission>> confirmed;

    QList<ListedTransmission> listed() const;
};

// A reference the server's list shows already, with the protocols the list gives it.
struct ListedReference {
    QString reference; // blanks trimmed
    QStringList protocols;
};

// Of `references`, those the list shows, each once and in the order given, with their protocols.
QList<ListedReference> listedReferences(const QList<ListedTransmission>& listed,
                                        const QStringList& references);

// Before references the server lists already go again: the accountant is asked, naming each with
// its protocols (a substitutive GIA, or a rectifying PGDAS declaration, is a legitimate second
// send), No by default. True when none is listed or he says Yes.
bool confirmResend(MessageBox& messages, const QList<ListedReference>& listed,
                   TransmissionKind kind = TransmissionKind::Gia);

// Asks for the list (Transferencia.ver2) as a job of `context`, reads it and hands it to the
// journal (which outlives `context`); `done` runs once, later. Fails, in Portuguese, when the
// server cannot be reached or its answer is not a list; a refused key is a list that says so.
void fetchTaxpayerList(const HttpClient& http, TransmissionJournal& journal, const QString& ie,
                       const QString& key, QObject* context, std::function<void(Result<TaxpayerList>)> done);
// Reads a list answer as fetchTaxpayerList does, and hands it to the journal.
Result<TaxpayerList> readTaxpayerList(const QString& ie, const Result<QString>& answer,
                                      TransmissionJournal& journal);
// True for the failures of the list itself (server, answer), false for the journal's.
bool isListFailure(const AppError& error);

// The receipt of one transmission (Transferencia.ver): its "return" text, as a job of `context`.
void fetchReceipt(const HttpClient& http, const QString& protocol, const QString& key, QObject* context,
                  std::function<void(Result<QString>)> done);

} // namespace fiscora
