#include "data/TaxpayerTable.h"

namespace fiscora {

namespace {

Result<bool> countByIe(LocalDatabase& db, const QString& ie) {
    const Result<qint64> total =
        db.count(QStringLiteral("select count(0) as total from tblContribuinte where IE = ?"), {ie});
    if (!total)
        return total.error();
    return *total > 0;
}

// Columns found without regard to case; OptanteSimples as a boolean.
Taxpayer taxpayerFromRow(const DbRow& row) {
    Taxpayer c;
    c.IE = row.text(QStringLiteral("IE"));
    c.RazaoSocial = row.text(QStringLiteral("RazaoSocial"));
    c.Cnpj = row.text(QStringLiteral("Cnpj"));
    c.Cnae = row.text(QStringLiteral("Cnae"));
    c.Chave = row.text(QStringLiteral("Chave"));
    c.CCM = row.text(QStringLiteral("CCM"));
    c.OptanteSimples = row.boolean(QStringLiteral("OptanteSimples"));
    return c;
}

} // namespace

Result<bool> taxpayerExists(const ProgramFolder& folder, const QString& ie) {
    LocalDatabase db;
    if (Status opened = db.open(folder); !opened)
        return opened.error();
    return countByIe(db, ie);
}

Status insertTaxpayer(const ProgramFolder& folder, const Taxpayer& c) {
    LocalDatabase db;
    if (Status opened = db.open(folder); !opened)
        return opened;
    return db.exec(
        QStringLiteral("Insert into tblContribuinte (IE,RazaoSocial,Cnpj,Cnae,Chave,CCM,OptanteSimples) "
                       "values (?,?,?,?,?,?,?)"),
        {c.IE, c.RazaoSocial, c.Cnpj, c.Cnae, c.Chave, c.CCM, c.OptanteSimples ? 1 : 0});
}

Status updateTaxpayer(const ProgramFolder& folder, const Taxpayer& c) {
    LocalDatabase db;
    if (Status opened = db.open(folder); !opened)
        return opened;
    return db.exec(QStringLiteral("Update tblContribuinte set RazaoSocial = ?,Cnae = ?,CCM = ?,"
                                  "OptanteSimples = ? where IE = ?"),
                   {c.RazaoSocial, c.Cnae, c.CCM, c.OptanteSimples ? 1 : 0, c.IE});
}

Status deleteTaxpayer(const ProgramFolder& folder, const QString& ie) {
    LocalDatabase db;
    if (Status opened = db.open(folder); !opened)
        return opened;
    return db.exec(QStringLiteral("Delete From tblContribuinte where ie = ?"), {ie});
}

Result<std::optional<Taxpayer>> findTaxpayer(const ProgramFolder& folder, const QString& ie) {
    LocalDatabase db;
    if (Status opened = db.open(folder); !opened)
        return opened.error();
    const auto row = db.first(QStringLiteral("Select * from tblContribuinte where ie = ?"), {ie});
    if (!row)
        return row.error();
    if (!*row)
        return std::optional<Taxpayer>();
    return std::optional<Taxpayer>(taxpayerFromRow(**row));
}

Result<QList<Taxpayer>> listTaxpayers(const ProgramFolder& folder) {
    LocalDatabase db;
    if (Status opened = db.open(folder); !opened)
        return opened.error();
    const auto rows = db.query(QStringLiteral("Select * From tblContribuinte"));
    if (!rows)
        return rows.error();
    QList<Taxpayer> contribuintes;
    for (const DbRow& row : *rows)
        contribuintes.append(taxpayerFromRow(row));
    return contribuintes;
}

Result<bool> importTaxpayer(const ProgramFolder& folder, const Taxpayer& c) {
    LocalDatabase db;
    if (Status opened = db.open(folder); !opened)
        return opened.error();
    if (Status begun = db.begin(); !begun)
        return begun.error();
    const Result<bool> exists = countByIe(db, c.IE);
    Status done = exists ? Status() : Status(exists.error());
    if (done && !*exists)
        done = db.exec(QStringLiteral("insert into tblContribuinte (IE, RazaoSocial, Cnpj, Cnae, Chave) "
                                      "values (?,?,?,?,?)"),
                       {c.IE, c.RazaoSocial, c.Cnpj, c.Cnae, c.Chave});
    // On failure the transaction is rolled back when db closes.
    if (done)
        done = db.commit();
    if (!done)
        return done.error();
    return !*exists;
}

QString taxpayerLabel(const QString& ie, const QString& name) {
    return name.isEmpty() ? ie : ie + QStringLiteral(" - ") + name.trimmed();
}

} // namespace fiscora
