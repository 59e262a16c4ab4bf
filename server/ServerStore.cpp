#include "ServerStore.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <cstdio>

namespace servidor {

namespace {

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS empresas(
    ie TEXT PRIMARY KEY, cnpj TEXT NOT NULL, razao TEXT NOT NULL DEFAULT '',
    chave TEXT NOT NULL UNIQUE, simples INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS contadores(
    id INTEGER PRIMARY KEY, doc TEXT, crc TEXT, nome TEXT, endereco TEXT, numero TEXT,
    complemento TEXT, bairro TEXT, cidade TEXT, estado TEXT, telefone TEXT, cep TEXT, email TEXT,
    recebido_em TEXT NOT NULL DEFAULT (datetime('now')));
CREATE TABLE IF NOT EXISTS transmissoes(
    id INTEGER PRIMARY KEY, ie TEXT NOT NULL, referencia TEXT NOT NULL, data TEXT NOT NULL,
    protocolo TEXT NOT NULL UNIQUE, status INTEGER NOT NULL, adicionado TEXT NOT NULL DEFAULT '',
    recibo TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS parametros(nome TEXT PRIMARY KEY, valor TEXT NOT NULL);
)sql";

} // namespace

ServerStore::ServerStore(const QString& dataFolder)
    : m_folder(dataFolder) {
    QDir().mkpath(dataFolder);
    const QByteArray path = QFile::encodeName(QDir(dataFolder).filePath(QStringLiteral("servidor.db")));
    if (sqlite3_open_v2(path.constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "fiscora-servidor: não foi possível abrir %s: %s\n", path.constData(),
                     m_db ? sqlite3_errmsg(m_db) : "sem memória");
        sqlite3_close(m_db);
        m_db = nullptr;
        return;
    }
    sqlite3_busy_timeout(m_db, 5000);
    char* error = nullptr;
    if (sqlite3_exec(m_db, kSchema, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "fiscora-servidor: esquema: %s\n", error ? error : "?");
        sqlite3_free(error);
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

ServerStore::~ServerStore() {
    sqlite3_close(m_db);
}

QString digitsOf(const QString& text) {
    QString digits;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits.append(c);
    }
    return digits;
}

} // namespace servidor
