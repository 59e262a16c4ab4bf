#include "data/AccountantTable.h"

namespace fiscora {

Status saveAccountant(const Accountant& contador) {
    LocalDatabase db;
    if (Status opened = db.open(); !opened)
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

Status removeAccountant() {
    LocalDatabase db;
    if (Status opened = db.open(); !opened)
        return opened;
    return db.exec(QStringLiteral("delete from tblContador"));
}

Result<qint64> countAccountants() {
    LocalDatabase db;
    if (Status opened = db.open(); !opened)
        return opened.error();
    return db.count(QStringLiteral("select count(0) as total from tblContador"));
}

} // namespace fiscora
