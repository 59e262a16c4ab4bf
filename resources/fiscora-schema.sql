-- The local database fiscora.mdb as every release before the journal shipped it: version 0
-- (PRAGMA user_version). The build lays out the empty file from it and the upgrade steps of
-- src/data/LocalSchema.h; never change it, add a step there.
-- tblContador holds at most one row: the accountant.
CREATE TABLE tblContador (
    cont_cpf_cnpj TEXT,
    cont_num_crc TEXT,
    cont_razao_nome TEXT,
    cont_nom_endereco TEXT,
    cont_num_predial TEXT,
    cont_dsc_complemento TEXT,
    cont_nom_bairro TEXT,
    cont_nom_cidade TEXT,
    cont_nom_estado TEXT,
    cont_num_telefone TEXT,
    cont_num_cep TEXT,
    cont_email TEXT
);

-- One row per company, identified by its state registration. OptanteSimples is written as 0 or 1;
-- rows that do not write it (the company import) read back as no.
CREATE TABLE tblContribuinte (
    IE TEXT PRIMARY KEY,
    RazaoSocial TEXT,
    Cnpj TEXT,
    Cnae TEXT,
    Chave TEXT,
    CCM TEXT,
    OptanteSimples BOOLEAN NOT NULL DEFAULT 0 CHECK (OptanteSimples IN (0, 1))
);
