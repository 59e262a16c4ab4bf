#include "net/TransmissionHistory.h"

#include "core/ServerDate.h"
#include "net/SafeXml.h"

#include <QDomDocument>
#include <QDomElement>

namespace fiscora {

bool parseXmlSafely(const QString& text, QDomDocument* document, QString* reason) {
    return SafeXml::parse(text, document, reason);
}

bool transmissionRows(const QString& list, QList<QStringList>* rows) {
    rows->clear();
    QDomDocument document;
    QString reason;
    if (!parseXmlSafely(list, &document, &reason))
        return false;
    const QDomElement root = document.documentElement();
    if (root.tagName() != QStringLiteral("listaTransferencias"))
        return true;
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
        rows->append(cells);
    }
    return true;
}

bool readListHeader(const QString& result, ListHeader* header) {
    QDateTime when;
    if (!parseServerDateTime(result.mid(31, 19), &when))
        return false;
    header->serverDate = when;
    header->anoTrabalho = result.mid(58, 9);
    header->version = result.mid(77, 20);
    return true;
}

bool readReceipt(const QString& xml, Receipt* receipt, QString* reason) {
    QDomDocument document;
    if (!parseXmlSafely(xml, &document, reason))
        return false;
    const QDomElement root = document.documentElement();
    receipt->root = root.tagName().section(QLatin1Char(':'), -1);
    receipt->entries.clear();
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
        receipt->entries.append(entry);
    }
    return true;
}

} // namespace fiscora
