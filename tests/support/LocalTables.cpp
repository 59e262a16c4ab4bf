#include "support/LocalTables.h"
#include "support/TestSeams.h"

#include "data/AccountantTable.h"

namespace fiscora::test {

Status saveTestAccountant(const QString& document) {
    Accountant contador;
    contador.cont_cpf_cnpj = document;
    contador.cont_razao_nome = QStringLiteral("José Contador da Silva");
    return saveAccountant(fiscora::test::sharedSeams().folder, contador);
}

QList<Taxpayer> storedTaxpayers() {
    const Result<QList<Taxpayer>> list = listTaxpayers(fiscora::test::sharedSeams().folder);
    if (!list)
        qWarning("listTaxpayers: %s", qUtf8Printable(list.error().description));
    return list.valueOr({});
}

void insertSeededTaxpayers(const QList<SeedCompany>& companies) {
    for (const SeedCompany& c : companies) {
        const Status saved = insertTaxpayer(
            fiscora::test::sharedSeams().folder,
            Taxpayer{c.ie, c.razao, c.cnpj, QStringLiteral("4711-3/02"), c.chave, {}, c.simples});
        if (!saved)
            qWarning("taxpayer not saved: %s", qPrintable(saved.error().description));
    }
}

} // namespace fiscora::test
