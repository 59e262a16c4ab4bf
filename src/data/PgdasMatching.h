#pragma once

#include "core/Result.h"
#include "data/TaxpayerTable.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace fiscora {

class ModalGate;

// A PGDAS document of a folder and the registered taxpayer it belongs to, or why it is set apart.
struct PgdasMatch {
    enum class Outcome {
        Matched,
        Unreadable, // not a PDF, damaged, locked, too large
        NoCnpj,     // no valid CNPJ in its name or its text
        NoTaxpayer, // no registered taxpayer has the CNPJ
        NotSimples, // the taxpayer is not a Simples Nacional company
        Ambiguous,  // more than one registered taxpayer has it
    };

    QString path;
    Outcome outcome = Outcome::Unreadable;
    Taxpayer taxpayer; // Matched and NotSimples
    QString reference; // "MM/yyyy" read from the text; empty when it names none
    QString why;       // in Portuguese; empty when matched
};

// Matches PGDAS documents to the registered taxpayers: by the CNPJ of the file's name, or, when
// the name holds none, by those of its text. The reference always comes from the text.
class PgdasMatching final {
public:
    static PgdasMatch match(const QString& path, const QList<Taxpayer>& taxpayers);

    // Every file of the folder whose name ends in ".pdf" (in any case), not its subfolders, in
    // the order of their names. Fails when the folder cannot be read. Poppler takes a few
    // milliseconds a document, so this is a job of `context` on a worker thread: `done` runs
    // once, later, on the context's thread; never once the context is gone, which also stops
    // the reading at the next file.
    static void matchFolder(const QString& folder, const QList<Taxpayer>& taxpayers, ModalGate& gate,
                            QObject* context, std::function<void(Result<QList<PgdasMatch>>)> done);
};

} // namespace fiscora
