#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace servidor {

// What the server makes of an uploaded PGDAS document.
//
//   MODIFICADO  not a PDF (no "%PDF-" at the start), no "%%EOF", or more than one "%%EOF" (the
//               file was saved again after it was made: an incremental update); a linearized
//               file has two
//   EXTRATO     the word "Extrato" in the document's text
//   RECIBO      the word "Recibo" in the document's text
//   ILEGIVEL    a compressed stream that cannot be read to its end (damaged, cut short, or more
//               text than the scan inflates): what is not read cannot be cleared
//
// The text is every literal string of the file and of its Flate-compressed streams, searched as
// it is inflated (no copy of it is kept); the words are matched with that capitalisation.
// Several refusals can hold at once.
struct PgdasVerdict {
    QStringList refusals; // the markers, in the order above
    QString reference;    // the first "MM/yyyy" of the text, empty when none
};

PgdasVerdict inspectPgdasDocument(QByteArrayView pdf);

inline const QString kMarkerModificado = QStringLiteral("ARQUIVO INVALIDO - MODIFICADO");
inline const QString kMarkerExtrato = QStringLiteral("ARQUIVO INVALIDO - EXTRATO");
inline const QString kMarkerRecibo = QStringLiteral("ARQUIVO INVALIDO - RECIBO");
inline const QString kMarkerIlegivel = QStringLiteral("ARQUIVO INVALIDO - ILEGIVEL");

} // namespace servidor
