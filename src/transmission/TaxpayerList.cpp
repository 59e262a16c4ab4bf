#include "transmission/TaxpayerList.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "net/HttpClient.h"
#include "net/Soap.h"

#include <algorithm>

namespace fiscora {

namespace {

const QString kListOperation = QStringLiteral("Transferencia.ver2");

AppError unavailable(const QString& ie, const QString& why) {
    return AppError{
        0, kListOperation,
        QStringLiteral("A lista de transmissões do contribuinte %1 não pôde ser obtida: %2").arg(ie, why)};
}

} // namespace

namespace {

QList<SoapParameter> listParameters(const QString& ie, const QString& key) {
    return {{QStringLiteral("strNome"), ie},
            {QStringLiteral("strDiretorioDestino"), QStringLiteral("vbs")},
            {QStringLiteral("Chave"), key}};
}

} // namespace

QList<ListedTransmission> TaxpayerList::listed() const {
    QList<ListedTransmission> out;
    for (const QStringList& row : rows)
        out.append({row.value(ColReferencia), row.value(ColProtocolo)});
    return out;
}

QList<ListedReference> listedReferences(const QList<ListedTransmission>& listed,
                                        const QStringList& references) {
    QList<ListedReference> out;
    for (const QString& given : references) {
        const QString reference = given.trimmed();
        if (reference.isEmpty() || std::any_of(out.cbegin(), out.cend(), [&](const ListedReference& r) {
                return r.reference == reference;
            }))
            continue;
        ListedReference found{reference, {}};
        for (const ListedTransmission& row : listed) {
            if (row.reference.trimmed() == reference)
                found.protocols.append(row.protocol.trimmed());
        }
        if (!found.protocols.isEmpty())
            out.append(found);
    }
    return out;
}

bool confirmResend(MessageBox& messages, const QList<ListedReference>& listed, TransmissionKind kind) {
    if (listed.isEmpty())
        return true;
    QStringList lines;
    for (const ListedReference& item : listed)
        lines.append(QStringLiteral("%1: protocolo %2")
                         .arg(item.reference, item.protocols.join(QStringLiteral(", "))));
    MessageRequest request;
    request.title = AppTexts::productTitle;
    request.text =
        QStringLiteral("O servidor já lista %1:\n%2\n\n%3 pode ser enviada de novo (o servidor lhe dá um "
                       "novo protocolo); fora isso, o envio seria repetido. Enviar mesmo assim?")
            .arg(listed.size() == 1 ? QStringLiteral("esta referência como transmitida")
                                    : QStringLiteral("estas referências como transmitidas"),
                 lines.join(u'\n'),
                 kind == TransmissionKind::Pgdas ? QStringLiteral("Uma declaração retificadora do PGDAS")
                                                 : QStringLiteral("Uma GIA substitutiva"));
    request.icon = MessageIcon::Question;
    request.buttons = MessageButtons::YesNo;
    request.defaultAnswer = MessageAnswer::No;
    return messages.show(request) == MessageAnswer::Yes;
}

void fetchTaxpayerList(const HttpClient& http, TransmissionJournal& journal, const QString& ie,
                       const QString& key, QObject* context, std::function<void(Result<TaxpayerList>)> done) {
    callSoapOperation(http, kListOperation, listParameters(ie, key), context,
                      [ie, &journal, done = std::move(done)](Result<QString> answer) {
                          done(readTaxpayerList(ie, answer, journal));
                      });
}

KeyRefusal keyRefusal(const QString& answer, const QString& listText) {
    if (!answer.contains(QStringLiteral("CHAVE_I")))
        return KeyRefusal::None;
    return listText.trimmed().toUpper() == QStringLiteral("CHAVE_INVALIDA") ? KeyRefusal::InvalidKey
                                                                            : KeyRefusal::Unauthorized;
}

bool isListFailure(const AppError& error) {
    return error.source == kListOperation;
}

void fetchReceipt(const HttpClient& http, const QString& protocol, const QString& key, QObject* context,
                  std::function<void(Result<QString>)> done) {
    callSoapOperation(http, QStringLiteral("Transferencia.ver"),
                      {{QStringLiteral("strNome"), protocol},
                       {QStringLiteral("strDiretorioDestino"), QStringLiteral("vbs")},
                       {QStringLiteral("Chave"), key}},
                      context, [done = std::move(done)](Result<QString> answer) {
                          if (!answer)
                              done(answer.error());
                          else
                              done(GetResult(*answer, QStringLiteral("return")));
                      });
}

Result<TaxpayerList> readTaxpayerList(const QString& ie, const Result<QString>& answer,
                                      TransmissionJournal& journal) {
    if (!answer)
        return unavailable(ie, answer.error().description);
    TaxpayerList list;
    list.answer = *answer;
    list.listText = GetResult(*answer, QStringLiteral("return"));
    list.refusal = keyRefusal(list.answer, list.listText);
    if (list.refusal != KeyRefusal::None) {
        list.keyRefused = true;
        return list;
    }
    const QString& result = list.listText;
    Result<QList<QStringList>> rows = transmissionRows(result);
    if (!rows)
        return unavailable(ie, QStringLiteral("a resposta do servidor não é uma lista."));
    list.rows = std::move(*rows);
    const Result<ListHeader> header = readListHeader(result);
    if (!header)
        return unavailable(ie, header.error().description);
    list.header = *header;
    const Result<QList<qint64>> recorded =
        journal.recordListedTransmissions(ie, list.listed(), &list.confirmed);
    if (!recorded)
        return recorded.error();
    list.confirmedRows = *recorded;
    return list;
}

} // namespace fiscora
