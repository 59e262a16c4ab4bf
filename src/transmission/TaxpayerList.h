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

// The Transferencia.ver2 call for a taxpayer: the whole answer text. Fails when the server
// cannot be reached.
Result<QString> requestTransmissionList(const QString& ie, const QString& key);

// A taxpayer's list as the batch and the command line read it (the main window shows the same
// answer in its grid): what the server has, the years it accepts, its date.
struct TaxpayerList {
    bool keyRefused = false; // the server does not know the key ("CHAVE_I…")
    ListHeader header;
    QList<QStringList> rows; // per transmission, TransmissionColumn order
    // The journal rows of this taxpayer the list gave protocols, with the protocols each now
    // keeps (recordListedTransmissions).
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
// its protocols (a substitutive GIA is a legitimate second send), No by default. True when none
// is listed or he says Yes.
bool confirmResend(const QList<ListedReference>& listed);

// Asks for the list, reads it and hands it to the journal. Fails, in Portuguese, when the server
// cannot be reached or its answer is not a list; a refused key is a list that says so.
Result<TaxpayerList> fetchTaxpayerList(const QString& ie, const QString& key);
// The same as a job of `context`: `done` runs once, later.
void fetchTaxpayerList(const QString& ie, const QString& key, QObject* context,
                       std::function<void(Result<TaxpayerList>)> done);
// Reads a list answer as fetchTaxpayerList does, and hands it to the journal.
Result<TaxpayerList> readTaxpayerList(const QString& ie, const Result<QString>& answer);

} // namespace fiscora
