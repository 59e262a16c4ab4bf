#include "data/ContribuinteTable.h"

namespace fiscora {

namespace {

bool failWith(const LocalDatabase& db, AppError* error) {
    if (error)
        *error = db.lastError();
    return false;
}

bool countByIe(LocalDatabase& db, const QString& ie, bool* exists) {
    DbRow row;
    if (!db.first(QStringLiteral("select count(0) as total from tblContribuinte where IE = ?"), {ie}, &row,
                  nullptr))
        return false;
    *exists = row.value(QStringLiteral("total")).toLongLong() > 0;
    return true;
}

} // namespace

Contribuinte contribuinteFromRow(const DbRow& row) {
    Contribuinte c;
    c.IE = row.text(QStringLiteral("IE"));
    c.RazaoSocial = row.text(QStringLiteral("RazaoSocial"));
    c.Cnpj = row.text(QStringLiteral("Cnpj"));
    c.Cnae = row.text(QStringLiteral("Cnae"));
    c.Chave = row.text(QStringLiteral("Chave"));
    c.CCM = row.text(QStringLiteral("CCM"));
    c.OptanteSimples = row.boolean(QStringLiteral("OptanteSimples"));
    return c;
}

bool contribuinteExists(const QString& ie, bool* exists, AppError* error) {
    LocalDatabase db;
    if (!db.open() || !countByIe(db, ie, exists))
        return failWith(db, error);
    return true;
}

bool insertContribuinte(const Contribuinte& c, AppError* error) {
    LocalDatabase db;
    if (!db.open() ||
        !db.exec(
            QStringLiteral("Insert into tblContribuinte (IE,RazaoSocial,Cnpj,Cnae,Chave,CCM,OptanteSimples) "
                           "values (?,?,?,?,?,?,?)"),
            {c.IE, c.RazaoSocial, c.Cnpj, c.Cnae, c.Chave, c.CCM, c.OptanteSimples ? 1 : 0}))
        return failWith(db, error);
    return true;
}

bool updateContribuinte(const Contribuinte& c, AppError* error) {
    LocalDatabase db;
    if (!db.open() || !db.exec(QStringLiteral("Update tblContribuinte set RazaoSocial = ?,Cnae = ?,CCM = ?,"
                                              "OptanteSimples = ? where IE = ?"),
                               {c.RazaoSocial, c.Cnae, c.CCM, c.OptanteSimples ? 1 : 0, c.IE}))
        return failWith(db, error);
    return true;
}

bool deleteContribuinte(const QString& ie, AppError* error) {
    LocalDatabase db;
    if (!db.open() || !db.exec(QStringLiteral("Delete From tblContribuinte where ie = ?"), {ie}))
        return failWith(db, error);
    return true;
}

bool findContribuinte(const QString& ie, Contribuinte* contribuinte, bool* found, AppError* error) {
    LocalDatabase db;
    DbRow row;
    bool exists = false;
    if (!db.open() ||
        !db.first(QStringLiteral("Select * from tblContribuinte where ie = ?"), {ie}, &row, &exists))
        return failWith(db, error);
    if (found)
        *found = exists;
    if (contribuinte)
        *contribuinte = exists ? contribuinteFromRow(row) : Contribuinte{};
    return true;
}

bool listContribuintes(QList<Contribuinte>* contribuintes, AppError* error) {
    LocalDatabase db;
    QList<DbRow> rows;
    if (!db.open() || !db.exec(QStringLiteral("Select * From tblContribuinte"), {}, &rows))
        return failWith(db, error);
    contribuintes->clear();
    for (const DbRow& row : rows)
        contribuintes->append(contribuinteFromRow(row));
    return true;
}

bool importContribuinte(const Contribuinte& c, bool* inserted, AppError* error) {
    *inserted = false;
    LocalDatabase db;
    if (!db.open() || !db.begin())
        return failWith(db, error);
    bool exists = false;
    bool ok = countByIe(db, c.IE, &exists);
    if (ok && !exists)
        ok = db.exec(QStringLiteral("insert into tblContribuinte (IE, RazaoSocial, Cnpj, Cnae, Chave) "
                                    "values (?,?,?,?,?)"),
                     {c.IE, c.RazaoSocial, c.Cnpj, c.Cnae, c.Chave});
    ok = ok && db.commit();
    if (!ok)
        return db.rollbackAfterFailure(error);
    *inserted = !exists;
    return true;
}

} // namespace fiscora
