#include "net/KeyRequest.h"

#include "core/ServerDate.h"
#include "net/HttpClient.h"
#include "net/Soap.h"

namespace fiscora {

const QString KeyRequest::clientKey = QStringLiteral("!QOLTRAVEM!");

namespace {

QList<SoapParameter> keyParameters(const QString& ie, const QString& cnpj) {
    return {{QStringLiteral("ie"), ie},
            {QStringLiteral("cnpj"), cnpj},
            {QStringLiteral("key"), KeyRequest::clientKey}};
}

} // namespace

void KeyRequest::request(const HttpClient& http, const QString& ie, const QString& cnpj, QObject* context,
                         std::function<void(KeyAnswer)> done) {
    callSoapOperation(
        http, QStringLiteral("Transferencia.ecnpj"), keyParameters(ie, cnpj), context,
        [done = std::move(done)](Result<QString> answer) { done(answer ? read(*answer) : KeyAnswer{}); });
}

KeyAnswer KeyRequest::read(const QString& responseText) {
    KeyAnswer answer;
    if (responseText.contains(QStringLiteral("NAO_AUTORIZADO"))) {
        answer.status = KeyAnswer::Status::Refused;
        return answer;
    }
    const QString result = GetResult(responseText, QStringLiteral("return"));
    const std::optional<QDateTime> serverDate =
        result.size() < 68 ? std::nullopt : parseServerDateTime(result.mid(20, 19));
    if (!serverDate)
        return answer;
    answer.serverDate = *serverDate;
    answer.simples = result.at(50) == QLatin1Char('S');
    answer.chave = result.mid(60, 8);
    answer.status = KeyAnswer::Status::Granted;
    return answer;
}

} // namespace fiscora
