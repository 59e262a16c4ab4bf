#include "transmission/TaxpayerList.h"

#include "net/Soap.h"

namespace fiscora {

namespace {

AppError unavailable(const QString& ie, const QString& why) {
    return AppError{
        0, QStringLiteral("Transferencia.ver2"),
        QStringLiteral("A lista de transmissões do contribuinte %1 não pôde ser obtida: %2").arg(ie, why)};
}

} // namespace

Result<QString> requestTransmissionList(const QString& ie, const QString& key) {
    return CallSoapOperation(QStringLiteral("Transferencia.ver2"),
                             {{QStringLiteral("strNome"), ie},
                              {QStringLiteral("strDiretorioDestino"), QStringLiteral("vbs")},
                              {QStringLiteral("Chave"), key}});
}

QList<ListedTransmission> TaxpayerList::listed() const {
    QList<ListedTransmission> out;
    for (const QStringList& row : rows)
        out.append({row.value(ColReferencia), row.value(ColProtocolo)});
    return out;
}

QStringList TaxpayerList::references() const {
    QStringList out;
    for (const QStringList& row : rows)
        out.append(row.value(ColReferencia).trimmed());
    return out;
}

Result<TaxpayerList> fetchTaxpayerList(const QString& ie, const QString& key) {
    const Result<QString> answer = requestTransmissionList(ie, key);
    if (!answer)
        return unavailable(ie, answer.error().description);
    TaxpayerList list;
    if (answer->contains(QStringLiteral("CHAVE_I"))) {
        list.keyRefused = true;
        return list;
    }
    const QString result = GetResult(*answer, QStringLiteral("return"));
    if (!transmissionRows(result, &list.rows))
        return unavailable(ie, QStringLiteral("a resposta do servidor não é uma lista."));
    if (!readListHeader(result, &list.header))
        return unavailable(ie, QStringLiteral("a data do servidor não pôde ser lida."));
    if (const Result<QList<qint64>> recorded = recordListedTransmissions(ie, list.listed(), &list.confirmed);
        !recorded)
        return recorded.error();
    return list;
}

} // namespace fiscora
