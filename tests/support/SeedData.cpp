#include "support/SeedData.h"

#include "support/ServerLauncher.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace fiscora::test {

QStringList writeSeed(const ServerLauncher& server, const QList<SeedCompany>& companies,
                      const QMap<QString, QString>& parametros) {
    QJsonArray empresas;
    for (const SeedCompany& company : companies) {
        QJsonArray transmissoes;
        for (const SeedTransmission& t : company.transmissoes) {
            transmissoes.append(QJsonObject{{QStringLiteral("referencia"), t.referencia},
                                            {QStringLiteral("data"), t.data},
                                            {QStringLiteral("protocolo"), t.protocolo},
                                            {QStringLiteral("status"), t.status},
                                            {QStringLiteral("adicionado"), t.adicionado},
                                            {QStringLiteral("recibo"), t.recibo}});
        }
        empresas.append(QJsonObject{{QStringLiteral("ie"), company.ie},
                                    {QStringLiteral("cnpj"), company.cnpj},
                                    {QStringLiteral("razao"), company.razao},
                                    {QStringLiteral("chave"), company.chave},
                                    {QStringLiteral("simples"), company.simples},
                                    {QStringLiteral("transmissoes"), transmissoes}});
    }
    QJsonObject parameters;
    for (auto it = parametros.begin(); it != parametros.end(); ++it)
        parameters.insert(it.key(), it.value());
    const QJsonObject seed{{QStringLiteral("empresas"), empresas},
                           {QStringLiteral("parametros"), parameters}};
    server.writeDataFile(QStringLiteral("semente.json"), QJsonDocument(seed).toJson());
    return {QStringLiteral("--semente"), server.dataFile(QStringLiteral("semente.json"))};
}

} // namespace fiscora::test
