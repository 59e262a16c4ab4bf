#pragma once

#include "core/Result.h"
#include "data/TaxpayerTable.h"
#include "support/SeedData.h"

#include <QList>
#include <QString>

namespace fiscora::test {

// The tests' accountant, saved in the current program folder's database.
Status saveTestAccountant(const QString& document = QStringLiteral("111.444.777-35"));

// The local taxpayer table; empty, with a warning, when it cannot be read.
QList<Taxpayer> storedTaxpayers();

// The server's seeded companies, also registered locally; a failure is only warned about.
void insertSeededTaxpayers(const QList<SeedCompany>& companies);

} // namespace fiscora::test
