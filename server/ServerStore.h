#pragma once

#include <QString>

#include <mutex>

struct sqlite3;

namespace servidor {

// The server's state: one SQLite file in its data folder, shared by the request threads.
//
//   empresas(ie, cnpj, razao, chave, simples)      ie as digits only, cnpj as its digits and
//                                                  upper-case letters (fiscora::cnpjCharacters)
//   contadores(doc, crc, nome, endereco, numero, complemento, bairro, cidade, estado,
//              telefone, cep, email, recebido_em)
//   transmissoes(id, ie, referencia, data, protocolo, status, adicionado, recibo)
//      ie digits only; referencia "MM/yyyy"; data "yyyy-MM-dd HH:mm:ss"; status 1 = verified
//      without messages, 2 = processed with messages; recibo the receipt XML (Transferencia.ver),
//      made up from the row when empty
//   parametros(nome, valor)   answers fixed by a seed: "anos" (accepted years), "dataServidor",
//                             "versao" (otherwise the years around today, the clock, versao.txt)
//
// Every use takes the lock: Access access(store); then access.db().
class ServerStore {
public:
    explicit ServerStore(const QString& dataFolder);
    ~ServerStore();
    ServerStore(const ServerStore&) = delete;
    ServerStore& operator=(const ServerStore&) = delete;

    bool isOpen() const { return m_db != nullptr; }
    QString dataFolder() const { return m_folder; }

    class Access {
    public:
        explicit Access(ServerStore& store)
            : m_lock(store.m_mutex)
            , m_store(store) {}
        sqlite3* db() const { return m_store.m_db; }

    private:
        std::lock_guard<std::mutex> m_lock;
        ServerStore& m_store;
    };

private:
    QString m_folder;
    sqlite3* m_db = nullptr;
    std::mutex m_mutex;
};

// How transmissoes.data is written and read back.
inline const QString kStoredDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// An IE is stored and compared by its ASCII digits only.
QString digitsOf(const QString& text);

} // namespace servidor
