// The access key by digital certificate (Transferencia.ecnpj): the client proves the certificate
// itself; the server answers the key of a company it knows by its IE and CNPJ.
#include "Operations.h"
#include "ServerStore.h"
#include "SoapService.h"
#include "SqlStatement.h"
#include "validation/Documents.h"

#include <QDateTime>

namespace servidor {

namespace {

const QString kRefused = QStringLiteral("NAO_AUTORIZADO");
// The fixed text every client sends as "key".
const QString kClientKey = QStringLiteral("!QOLTRAVEM!");

struct KeyRow {
    QString chave;
    bool simples = false;
};

bool findKey(sqlite3* db, const QString& ie, const QString& cnpj, KeyRow* row) {
    SqlStatement query(db, "SELECT chave, simples FROM empresas WHERE ie = ? AND cnpj = ?");
    query.bind(1, ie).bind(2, cnpj);
    if (!query.next())
        return false;
    *row = KeyRow{query.text(0), query.integer(1) != 0};
    return true;
}

// The date a seed fixes ("dataServidor", shared with the transmission list), else the clock.
QString serverDate(sqlite3* db) {
    SqlStatement query(db, "SELECT valor FROM parametros WHERE nome = 'dataServidor'");
    const QString date = query.next() ? query.text(0) : QString();
    return date.isEmpty() ? QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"))
                          : date;
}

QString fixedWidth(const QString& text, int width) {
    return text.left(width).leftJustified(width, QLatin1Char(' '));
}

// The answer is read by position (1-based): the server's date and time at 21-39, "S" or "N" for
// the Simples Nacional at 51, the key at 61-68. The labels in between only make it legible:
//   "ECNPJ AUTORIZADO    dd/MM/yyyy HH:mm:ss SIMPLES = S CHAVE = ABCD1234"
QString keyAnswer(const QString& date, bool simples, const QString& key) {
    return fixedWidth(QStringLiteral("ECNPJ AUTORIZADO"), 20) + fixedWidth(date, 19) +
           QStringLiteral(" SIMPLES = ") + (simples ? QLatin1Char('S') : QLatin1Char('N')) +
           QStringLiteral(" CHAVE = ") + fixedWidth(key, 8);
}

} // namespace

void registerKeyOperations(SoapService& service, ServerStore& store) {
    service.add(QStringLiteral("Transferencia.ecnpj"), [&store](const SoapCall& call) {
        if (call.value(QStringLiteral("key")) != kClientKey)
            return kRefused;
        const QString ie = digitsOf(call.value(QStringLiteral("ie")));
        const QString cnpj = fiscora::cnpjCharacters(call.value(QStringLiteral("cnpj")));
        if (ie.isEmpty() || cnpj.isEmpty())
            return kRefused;
        ServerStore::Access access(store);
        KeyRow row;
        if (!findKey(access.db(), ie, cnpj, &row))
            return kRefused;
        return keyAnswer(serverDate(access.db()), row.simples, row.chave);
    });
}

} // namespace servidor
