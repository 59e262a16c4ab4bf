-- Taxpayers already registered in the demo's local database: three of the companies of
-- semente.json, with the same IE, CNPJ and key (the fourth is left for the key request).
INSERT INTO tblContribuinte (IE, RazaoSocial, Cnpj, Cnae, Chave, CCM, OptanteSimples) VALUES
    ('110.042.490.114', 'Comercial Ribeirão Verde Ltda', '12.345.678/0001-95', '4711-3/02', 'RV7K2M9Q', '10.245-7', 0),
    ('648.120.377.258', 'Padaria Estrela do Vale Ltda ME', '23.456.789/0001-95', '1091-1/02', 'EV3P8T1L', '', 1),
    ('648.135.514.406', 'Metalúrgica Serra d''Água Ltda', '34.567.890/0001-30', '2599-3/99', 'SA5N4W6X', '31.870-2', 0);
