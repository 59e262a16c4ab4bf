#pragma once

#include "core/Result.h"
#include "data/LocalDatabase.h"

namespace fiscora {

// The accountant row. DadosContador reads it; document() is cont_cpf_cnpj without ".", "/", "-".
struct Accountant {
    QString cont_cpf_cnpj, cont_num_crc, cont_razao_nome, cont_nom_endereco, cont_num_predial,
        cont_dsc_complemento, cont_nom_bairro, cont_nom_cidade, cont_nom_estado, cont_num_telefone,
        cont_num_cep, cont_email;
    QString document() const;
};

// Reads the accountant row ("SELECT * FROM tblContador"); none when the table is empty. A database
// failure is returned, not reported here.
Result<std::optional<Accountant>> DadosContador(const ProgramFolder& folder);

// The statements on tblContador of the folder's database, each one command on its own connection. Values go
// in as the user typed them (apostrophes single): they are bound, so nothing is doubled here.

// Replaces the accountant row ("delete from tblContador" then the insert of the twelve
// columns) in one transaction: when the insert fails the previous row is still there.
Status saveAccountant(const ProgramFolder& folder, const Accountant& contador);
// "delete from tblContador"
Status removeAccountant(const ProgramFolder& folder);
// "select count(0) as total from tblContador"
Result<qint64> countAccountants(const ProgramFolder& folder);

} // namespace fiscora
