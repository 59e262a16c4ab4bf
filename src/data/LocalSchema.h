#pragma once

// The versions of the local database's layout (PRAGMA user_version). Version 0 is the file every
// earlier release shipped, resources/fiscora-schema.sql: tblContador and tblContribuinte. Step i
// brings a file of version i to version i + 1. The program upgrades users' files with these steps,
// and the build lays out the empty file by running the same steps over the version-0 schema, so
// both end with the same tables. A step that has shipped is never changed: a new layout is a new
// step. Plain C++ (no Qt), for the build's tool.

#include <iterator>

namespace fiscora::schema {

inline constexpr const char* kSteps[] = {
    // 1: the journal of transmissions, one row per upload attempt, and the protocols each
    // taxpayer's last list showed (a new protocol tells which upload reached the server).
    // Lists are kept as text joined by ", "; dates as "yyyy-MM-dd HH:mm:ss", local time.
    R"sql(
CREATE TABLE tblEnvios (
    IdEnvio INTEGER PRIMARY KEY AUTOINCREMENT,
    DataHoraLocal TEXT NOT NULL,
    DataServidor TEXT,
    IE TEXT NOT NULL,
    RazaoSocial TEXT,
    Chave TEXT,
    Tipo TEXT NOT NULL CHECK (Tipo IN ('GIA', 'PGDAS')),
    NumerosGia TEXT,
    Referencias TEXT,
    NomeArquivo TEXT,
    TamanhoConteudo INTEGER,
    Sha256Conteudo TEXT,
    DocumentoContador TEXT,
    TitularCertificado TEXT,
    SerieCertificado TEXT,
    ProtocolosAnteriores TEXT,
    Situacao TEXT NOT NULL DEFAULT 'enviando'
        CHECK (Situacao IN ('enviando', 'respondido', 'recusado', 'falha', 'desconhecido')),
    Detalhe TEXT,
    DataHoraConclusao TEXT,
    Protocolos TEXT,
    DataHoraConfirmacao TEXT
);
CREATE INDEX idxEnviosIE ON tblEnvios (IE, IdEnvio);
CREATE TABLE tblUltimaLista (
    IE TEXT PRIMARY KEY,
    Protocolos TEXT NOT NULL,
    DataHora TEXT NOT NULL
);
)sql",
    // 2: each confirmed protocol with the reference the list gave it, "mm/yyyy=protocol" joined by
    // ", " in the order of the row's GIAs (Protocolos keeps the bare protocols).
    R"sql(
ALTER TABLE tblEnvios ADD COLUMN ProtocolosPorReferencia TEXT;
)sql",
    // 3: the receipts kept as PDF files for the row's protocols, one line per protocol:
    // "protocol=path" in ArquivosRecibo, "protocol=sha256" in Sha256Recibos (a path may hold ", ").
    R"sql(
ALTER TABLE tblEnvios ADD COLUMN ArquivosRecibo TEXT;
ALTER TABLE tblEnvios ADD COLUMN Sha256Recibos TEXT;
)sql",
};

// The version this program writes and reads.
inline constexpr int kVersion = int(std::size(kSteps));

} // namespace fiscora::schema
