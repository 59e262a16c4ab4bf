#include "transmission/PgdasAnswer.h"

namespace fiscora {

const QList<PgdasRefusal>& pgdasRefusals() {
    static const QList<PgdasRefusal> list{
        {QStringLiteral("ARQUIVO INVALIDO - EXTRATO"),
         QStringLiteral("O arquivo que você enviou (Extrato) não é correto para esta operação, por favor, "
                        "verifique o manual que está disponível no site.")},
        {QStringLiteral("ARQUIVO INVALIDO - RECIBO"),
         QStringLiteral("O arquivo que você enviou (Recibo) não é correto para esta operação, por favor, "
                        "verifique o manual que está disponível no site.")},
        {QStringLiteral("ARQUIVO INVALIDO - MODIFICADO"),
         QStringLiteral("O arquivo que você enviou foi modificado, você deverá fazer o download do arquivo "
                        "original no site PGDAS. Se você decidir imprimir e salvar o resultado da impressão "
                        "em PDF continuará dando erro, a maneira correta para isto é Salvar o arquivo.")},
        // The stand-in server refuses so what it could not read to the end.
        {QStringLiteral("ARQUIVO INVALIDO - ILEGIVEL"),
         QStringLiteral("O servidor não conseguiu ler o arquivo que você enviou. Verifique se é o arquivo "
                        "original baixado do site PGDAS e envie de novo.")},
    };
    return list;
}

QList<PgdasRefusal> pgdasRefusalsIn(const QString& answer) {
    QList<PgdasRefusal> found;
    for (const PgdasRefusal& refusal : pgdasRefusals()) {
        if (answer.contains(refusal.marker, Qt::CaseSensitive))
            found.append(refusal);
    }
    return found;
}

} // namespace fiscora
