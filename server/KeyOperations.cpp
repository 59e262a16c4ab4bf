// The access key by digital certificate (Transferencia.ecnpj): the client proves the certificate
// itself; the server answers the key of a company it knows by its IE and CNPJ.
#include "Operations.h"
#include "ServerStore.h"
#include "SoapService.h"
#include "validation/Documents.h"

#include <QDateTime>

#include <sqlite3.h>

namespace servidor {

namespace {

const QString kRefused = QStringLiteral("NAO_AUTORIZADO");
// The fixed text every client sends as "key".
const QString kClientKey = QStringLiteral("!QOLTRAVEM!");

QString columnText(sqlite3_stmt* statement, int column) {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(statement, column)) : QString();
}

bool bindText(sqlite3_stmt* statement, int index, const QString& value) {
    const QByteArray bytes = value.toUtf8();
    return sqlite3_bind_text(statement, index, bytes.constData(), static_cast<int>(bytes.size()),
                             SQLITE_TRANSIENT) == SQLITE_OK;
}

struct KeyRow {
    QString chave;
    bool simples = false;
};

bool findKey(sqlite3* db, const QString& ie, const QString& cnpj, KeyRow* row) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT chave, simples FROM empresas WHERE ie = ? AND cnpj = ?", -1,
                           &statement, nullptr) != SQLITE_OK)
        return false;
    bool found = false;
    if (bindText(statement, 1, ie) && bindText(statement, 2, cnpj) && sqlite3_step(statement) == SQLITE_ROW) {
        row->chave = columnText(statement, 0);
        row->simples = sqlite3_column_int(statement, 1) != 0;
        found = true;
    }
    sqlite3_finalize(statement);
    return found;
}

// The date a seed fixes ("dataServidor", shared with the transmission list), else the clock.
QString serverDate(sqlite3* db) {
    QString date;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT valor FROM parametros WHERE nome = 'dataServidor'", -1, &statement,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        date = columnText(statement, 0);
    sqlite3_finalize(statement);
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
