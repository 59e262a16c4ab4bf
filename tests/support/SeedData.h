#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace fiscora::test {

class ServerLauncher;

// Companies and transmissions for fiscora-servidor's seed file (--semente).
struct SeedTransmission {
    QString referencia;
    QString data; // yyyy-MM-dd HH:mm:ss
    QString protocolo;
    int status = 1;
    QString adicionado;
    QString recibo; // receipt XML; the server makes one up when empty
};

struct SeedCompany {
    QString ie;
    QString cnpj;
    QString razao;
    QString chave;
    bool simples = false;
    QList<SeedTransmission> transmissoes;
};

// Writes the seed into the server's data folder and returns the arguments that load it.
// parametros: "anos", "dataServidor", "versao".
QStringList writeSeed(const ServerLauncher& server, const QList<SeedCompany>& companies,
                      const QMap<QString, QString>& parametros = {});

} // namespace fiscora::test
