#include "net/TransmissionHistory.h"

#include "core/ServerDate.h"
#include "net/SafeXml.h"

#include <QDomElement>

namespace fiscora {

Result<QList<QStringList>> transmissionRows(const QString& list) {
    const Result<QDomDocument> document = SafeXml::parse(list);
    if (!document)
        return document.error();
    QList<QStringList> rows;
    const QDomElement root = document->documentElement();
    if (root.tagName() != QStringLiteral("listaTransferencias"))
        return rows;
    static const QStringList names = {QStringLiteral("referencia"), QStringLiteral("data"),
                                      QStringLiteral("protocolo"), QStringLiteral("status"),
                                      QStringLiteral("adicionado")};
    for (QDomElement item = root.firstChildElement(QStringLiteral("transferencia")); !item.isNull();
         item = item.nextSiblingElement(QStringLiteral("transferencia"))) {
        QStringList cells(TransmissionColumnCount);
        for (QDomElement child = item.firstChildElement(); !child.isNull();
             child = child.nextSiblingElement()) {
            const qsizetype column = names.indexOf(child.tagName());
            if (column >= 0)
                cells[column] = child.text();
        }
        rows.append(cells);
    }
    return rows;
}

Result<ListHeader> readListHeader(const QString& result) {
    const std::optional<QDateTime> when = parseServerDateTime(result.mid(31, 19));
    if (!when)
        return AppError::message(QStringLiteral("a data do servidor não pôde ser lida."));
    return ListHeader{*when, result.mid(58, 9), result.mid(77, 20)};
}

Result<Receipt> readReceipt(const QString& xml) {
    const Result<QDomDocument> document = SafeXml::parse(xml);
    if (!document)
        return document.error();
    const QDomElement root = document->documentElement();
    Receipt receipt;
    receipt.root = root.tagName().section(QLatin1Char(':'), -1);
    for (QDomElement element = root.firstChildElement(); !element.isNull();
         element = element.nextSiblingElement()) {
        ReceiptEntry entry;
        const QString detail = element.firstChildElement(QStringLiteral("DETALHE")).text();
        entry.text = detail.size() > 3 ? QString(element.tagName() + QStringLiteral(": ") + detail)
                                       : QString(QStringLiteral("DIPAM : ") + detail);
        entry.hasTag = element.hasAttributes();
        if (entry.hasTag)
            entry.tag = element.attribute(QStringLiteral("PROTOCOLO"));
        for (QDomElement child = element.firstChildElement(); !child.isNull();
             child = child.nextSiblingElement())
            entry.children.append(child.text());
        receipt.entries.append(entry);
    }
    return receipt;
}

} // namespace fiscora
