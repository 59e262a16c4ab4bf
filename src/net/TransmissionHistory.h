#pragma once

#include "core/Result.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace fiscora {

// Columns of the transmissions grid and the list element each is filled from.
enum TransmissionColumn {
    ColReferencia = 0, // "referencia"
    ColData = 1,       // "data"
    ColProtocolo = 2,  // "protocolo"
    ColStatus = 3,     // "status"
    ColAdicionado = 4, // "adicionado"
    TransmissionColumnCount = 5
};

// The cells of every element /listaTransferencias/transferencia selects, in document order,
// one text per column (a later child of the same name wins; missing ones stay empty).
// Fails when the text has no document element (empty, not XML).
Result<QList<QStringList>> transmissionRows(const QString& list);

// What the list answer carries at fixed 1-based positions.
struct ListHeader {
    QDateTime serverDate; // 32-50
    QString anoTrabalho;  // 59-67, unchanged
    QString version;      // 78-97
};
// Fails when the date cannot be converted.
Result<ListHeader> readListHeader(const QString& result);

// The receipt of one transmission as the tree shows it: the document element's name and one
// entry per child element.
struct ReceiptEntry {
    QString text; // "name: DETALHE", or "DIPAM : DETALHE" for a short detail
    QString tag;  // the PROTOCOLO attribute, when the element has attributes
    bool hasTag = false;
    QStringList children; // the texts of the element's child elements
};
struct Receipt {
    QString root;
    QList<ReceiptEntry> entries;
};
// Fails with the parser's reason when the text does not parse.
Result<Receipt> readReceipt(const QString& xml);

} // namespace fiscora
