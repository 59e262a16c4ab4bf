#pragma once

#include "core/Result.h"
#include "data/TransmissionJournal.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace fiscora {

// Writes journal rows as a CSV file a spreadsheet set to Portuguese (Brazil) opens as it is:
// UTF-8 with a byte-order mark, fields separated by ";", CRLF line ends, a field quoted when it
// holds ";", a quote or a line end; dates "dd/MM/yyyy HH:mm:ss"; sizes as plain integers (no
// thousands separator). Text that a spreadsheet would run as a formula gets an apostrophe in
// front. Written under a temporary name and renamed, so a failure
// leaves an existing file as it was.
Status writeJournalCsv(const QString& path, const QList<JournalEntry>& entries);

// Any table so written: the header and the rows, each field quoted as needed.
Status writeCsv(const QString& path, const QStringList& header, const QList<QStringList>& rows);
// Text from the server or the user, made safe from being run as a formula.
QString textField(const QString& text);

} // namespace fiscora
