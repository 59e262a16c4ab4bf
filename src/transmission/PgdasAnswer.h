#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace fiscora {

// What the server's answer to a PGDAS upload says: the refusal markers it may carry, each
// compared as exact text anywhere in the answer, in the order they are looked for, and the
// message the user reads for each.
struct PgdasRefusal {
    QString marker;
    QString message;
};

const QList<PgdasRefusal>& pgdasRefusals();
// The refusals the answer carries, in the table's order.
QList<PgdasRefusal> pgdasRefusalsIn(const QString& answer);

} // namespace fiscora
