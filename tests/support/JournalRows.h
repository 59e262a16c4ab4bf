#pragma once

#include "core/ProgramFolder.h"
#include "data/TransmissionJournal.h"
#include "support/TestSeams.h"

#include <QStringList>

#include <memory>

namespace fiscora::test {

// An upload as the transmission code describes it before its first byte: a GIA upload of the
// given references (GIA numbers 1, 2, ...), or a PGDAS upload when there are none.
inline JournalEntry upload(const QString& ie, const QStringList& references = {QStringLiteral("09/2026")},
                           const QString& name = QStringLiteral("Comercial Ribeirão Verde Ltda")) {
    JournalEntry e;
    e.ie = ie;
    e.companyName = name;
    e.chave = QStringLiteral("RV7K2M9Q");
    e.kind = references.isEmpty() ? TransmissionKind::Pgdas : TransmissionKind::Gia;
    for (qsizetype i = 0; i < references.size(); ++i)
        e.gias.append({QString::number(i + 1), references.at(i)});
    e.fileName =
        references.isEmpty() ? QStringLiteral("declaracao-pgdas.pdf") : QStringLiteral("novagia.mdb");
    e.contentSize = 1234567;
    e.contentSha256 = QStringLiteral("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08");
    e.accountantDocument = QStringLiteral("111.444.777-35");
    e.certificateHolder = QStringLiteral("JOSE CONTADOR DA SILVA");
    e.certificateSerial = QStringLiteral("4f:1a:02");
    return e;
}

// The journal of the current program folder as the program's entry builds it, made when first
// used; reset() closes it (after the windows that use it are gone).
class FolderJournal {
public:
    TransmissionJournal& operator()() {
        if (!m_journal)
            m_journal = std::make_unique<TransmissionJournal>(
                fiscora::test::sharedSeams().folder.file(QStringLiteral("fiscora.mdb")), sharedSeams().clock);
        return *m_journal;
    }
    void reset() { m_journal.reset(); }

private:
    std::unique_ptr<TransmissionJournal> m_journal;
};

} // namespace fiscora::test
