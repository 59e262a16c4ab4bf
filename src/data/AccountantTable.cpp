#include "data/AccountantTable.h"

#include "validation/Documents.h"

namespace fiscora {

Status saveAccountant(const ProgramFolder& folder, const Accountant& contador) {
    LocalDatabase db;
    if (Status opened = db.open(folder); !opened)
        return opened;
    const QVariantList values{
        contador.cont_cpf_cnpj,     contador.cont_num_crc,     contador.cont_razao_nome,
        contador.cont_nom_endereco, contador.cont_num_predial, contador.cont_dsc_complemento,
        contador.cont_nom_bairro,   contador.cont_nom_cidade,  contador.cont_nom_estado,
        contador.cont_num_telefone, contador.cont_num_cep,     contador.cont_email};
    Status done = db.begin();
    if (done)
        done = db.exec(QStringLiteral("delete from tblContador"));
    if (done)
        done = db.exec(
            QStringLiteral("Insert into tblContador (cont_cpf_cnpj, cont_num_crc, cont_razao_nome, "
                           "cont_nom_endereco, cont_num_predial, cont_dsc_complemento, cont_nom_bairro, "
                           "cont_nom_cidade, cont_nom_estado, cont_num_telefone, cont_num_cep, cont_email) "
                           "values (?,?,?,?,?,?,?,?,?,?,?,?)"),
            values);
    // On failure the transaction is rolled back when db closes.
    if (done)
        done = db.commit();
    return done;
}

Status removeAccountant(const ProgramFolder& folder) {
    LocalDatabase db;
    if (Status opened = db.open(folder); !opened)
        return opened;
    return db.exec(QStringLiteral("delete from tblContador"));
}

Result<qint64> countAccountants(const ProgramFolder& folder) {
    LocalDatabase db;
    if (Status opened = db.open(folder); !opened)
        return opened.error();
    return db.count(QStringLiteral("select count(0) as total from tblContador"));
}

QString Accountant::document() const {
    return documentDigits(cont_cpf_cnpj);
}

namespace {

// The twelve columns of a tblContador row, found without regard to case.
Accountant accountantFromRow(const DbRow& row) {
    Accountant c;
    c.cont_cpf_cnpj = row.text(QStringLiteral("cont_cpf_cnpj"));
    c.cont_num_crc = row.text(QStringLiteral("cont_num_crc"));
    c.cont_razao_nome = row.text(QStringLiteral("cont_razao_nome"));
    c.cont_nom_endereco = row.text(QStringLiteral("cont_nom_endereco"));
    c.cont_num_predial = row.text(QStringLiteral("cont_num_predial"));
    c.cont_dsc_complemento = row.text(QStringLiteral("cont_dsc_complemento"));
    c.cont_nom_bairro = row.text(QStringLiteral("cont_nom_bairro"));
    c.cont_nom_cidade = row.text(QStringLiteral("cont_nom_cidade"));
    c.cont_nom_estado = row.text(QStringLiteral("cont_nom_estado"));
    c.cont_num_telefone = row.text(QStringLiteral("cont_num_telefone"));
    c.cont_num_cep = row.text(QStringLiteral("cont_num_cep"));
    c.cont_email = row.text(QStringLiteral("cont_email"));
    return c;
}

} // namespace

Result<std::optional<Accountant>> DadosContador(const ProgramFolder& folder) {
    LocalDatabase db;
    if (Status opened = db.open(folder); !opened)
        return opened.error();
    const Result<std::optional<DbRow>> row = db.first(QStringLiteral("SELECT * FROM tblContador"));
    if (!row)
        return row.error();
    if (!*row)
        return std::optional<Accountant>();
    return std::optional<Accountant>(accountantFromRow(**row));
}

} // namespace fiscora
