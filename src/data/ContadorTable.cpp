#include "data/ContadorTable.h"

namespace fiscora {

namespace {

bool failWith(const LocalDatabase& db, AppError* error) {
    if (error)
        *error = db.lastError();
    return false;
}

} // namespace

bool saveContador(const Contador& contador, AppError* error) {
    LocalDatabase db;
    if (!db.open() || !db.begin())
        return failWith(db, error);
    const QVariantList values{
        contador.cont_cpf_cnpj,     contador.cont_num_crc,     contador.cont_razao_nome,
        contador.cont_nom_endereco, contador.cont_num_predial, contador.cont_dsc_complemento,
        contador.cont_nom_bairro,   contador.cont_nom_cidade,  contador.cont_nom_estado,
        contador.cont_num_telefone, contador.cont_num_cep,     contador.cont_email};
    const bool ok =
        db.exec(QStringLiteral("delete from tblContador")) &&
        db.exec(
            QStringLiteral("Insert into tblContador (cont_cpf_cnpj, cont_num_crc, cont_razao_nome, "
                           "cont_nom_endereco, cont_num_predial, cont_dsc_complemento, cont_nom_bairro, "
                           "cont_nom_cidade, cont_nom_estado, cont_num_telefone, cont_num_cep, cont_email) "
                           "values (?,?,?,?,?,?,?,?,?,?,?,?)"),
            values) &&
        db.commit();
    if (!ok)
        return db.rollbackAfterFailure(error);
    return true;
}

bool removeContador(AppError* error) {
    LocalDatabase db;
    if (!db.open() || !db.exec(QStringLiteral("delete from tblContador")))
        return failWith(db, error);
    return true;
}

bool countContador(qint64* total, AppError* error) {
    LocalDatabase db;
    DbRow row;
    if (!db.open() ||
        !db.first(QStringLiteral("select count(0) as total from tblContador"), {}, &row, nullptr))
        return failWith(db, error);
    *total = row.value(QStringLiteral("total")).toLongLong();
    return true;
}

} // namespace fiscora
