#include "transmission/AccountantNotice.h"

#include "data/LocalDatabase.h"
#include "net/HttpClient.h"
#include "net/Soap.h"

namespace fiscora {

namespace {

// The web-service parameters, in the order of the fields.
const char* const kParameters[] = {"thisCont_cpf_cnpj",     "thisCont_num_crc",      "thisCont_razao_nome",
                                   "thisCont_nom_endereco", "thisCont_num_endereco", "thisCont_complemento",
                                   "thisCont_nom_bairro",   "thisCont_nom_cidade",   "thisCont_nom_estado",
                                   "thisCont_num_telefone", "thisCont_num_cep",      "thisCont_email"};

} // namespace

void notifyAccountant(const HttpClient& http, const QStringList& typed, QObject* context,
                      std::function<void(Status)> done) {
    QList<SoapParameter> parameters;
    for (qsizetype i = 0; i < qsizetype(std::size(kParameters)); ++i)
        parameters.append({QString::fromLatin1(kParameters[i]), doubleQuotes(typed.value(i))});
    callSoapOperation(http, QStringLiteral("Transferencia.contador"), parameters, context,
                      [done = std::move(done)](Result<QString> answer) {
                          done(answer ? Status() : Status(answer.error()));
                      });
}

} // namespace fiscora
