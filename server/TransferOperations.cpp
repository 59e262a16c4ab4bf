// The transmission history: the list of a company's transmissions (Transferencia.ver2), one
// transmission's receipt (Transferencia.ver), the accountant registration (Transferencia.contador),
// the receipt page on the portal, and the seed file that fills the store for the demo and tests.
#include "Operations.h"
#include "RequestLog.h"
#include "ServerStore.h"
#include "SoapService.h"
#include "SqlStatement.h"
#include "validation/Documents.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>

#include <httplib.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

namespace servidor {

namespace {

const QString kInvalidKey = QStringLiteral("CHAVE_INVALIDA");
const QString kDateFormat = QStringLiteral("dd/MM/yyyy HH:mm:ss");

using Statement = SqlStatement;

QString escaped(const QString& text) {
    return text.toHtmlEscaped();
}

// Exactly width characters: cut, or filled with blanks on the right.
QString fixedWidth(const QString& text, int width) {
    return text.left(width).leftJustified(width, QLatin1Char(' '));
}

QString parameter(sqlite3* db, const QString& name) {
    Statement query(db, "SELECT valor FROM parametros WHERE nome = ?");
    query.bind(1, name);
    return query.next() ? query.text(0) : QString();
}

struct Company {
    QString ie;
    QString cnpj;
    QString razao;
    QString chave;
    bool simples = false;
};

// The company of this IE (any punctuation) when the key is its key.
bool findCompany(sqlite3* db, const QString& ie, const QString& key, Company* company) {
    Statement query(db, "SELECT ie, cnpj, razao, chave, simples FROM empresas WHERE ie = ? AND chave = ?");
    query.bind(1, digitsOf(ie)).bind(2, key);
    if (!query.next())
        return false;
    *company = Company{query.text(0), query.text(1), query.text(2), query.text(3), query.integer(4) != 0};
    return true;
}

// Dates are kept sortable and shown the Brazilian way; anything else is shown as stored.
QString shownDate(const QString& stored) {
    const QDateTime when = QDateTime::fromString(stored, kStoredDateFormat);
    return when.isValid() ? when.toString(kDateFormat) : stored;
}

QString newestVersion(const ServerStore& store, sqlite3* db) {
    const QString fixed = parameter(db, QStringLiteral("versao"));
    if (!fixed.isEmpty())
        return fixed;
    QFile file(QDir(store.dataFolder()).filePath(QStringLiteral("versao.txt")));
    if (file.open(QIODevice::ReadOnly)) {
        const QString text = QString::fromLatin1(file.readAll()).trimmed();
        if (!text.isEmpty())
            return text;
    }
    return QStringLiteral(FISCORA_VERSION);
}

// The list is at once XML and a text read by position (1-based): the server's date and time at
// 32-50, the accepted years at 59-67 and the newest version at 78-97. The attribute names are
// chosen so that the values land there.
QString transmissionList(ServerStore& store, const SoapCall& call) {
    ServerStore::Access access(store);
    sqlite3* db = access.db();
    Company company;
    if (!findCompany(db, call.value(QStringLiteral("strNome")), call.value(QStringLiteral("Chave")),
                     &company))
        return kInvalidKey;

    QString now = parameter(db, QStringLiteral("dataServidor"));
    if (now.isEmpty())
        now = QDateTime::currentDateTime().toString(kDateFormat);
    QString years = parameter(db, QStringLiteral("anos"));
    if (years.isEmpty()) {
        const int year = QDate::currentDate().year();
        years = QStringLiteral("%1,%2").arg(year - 1).arg(year);
    }

    QString list = QStringLiteral("<listaTransferencias horaServ=\"") + escaped(fixedWidth(now, 19)) +
                   QStringLiteral("\" anos=\"") + escaped(fixedWidth(years, 9)) +
                   QStringLiteral("\" versao=\"") + escaped(fixedWidth(newestVersion(store, db), 20)) +
                   QStringLiteral("\">");
    Statement rows(db, "SELECT referencia, data, protocolo, status, adicionado FROM transmissoes "
                       "WHERE ie = ? ORDER BY data DESC, id DESC");
    rows.bind(1, company.ie);
    while (rows.next()) {
        list += QStringLiteral("<transferencia><referencia>") + escaped(rows.text(0)) +
                QStringLiteral("</referencia><data>") + escaped(shownDate(rows.text(1))) +
                QStringLiteral("</data><protocolo>") + escaped(rows.text(2)) +
                QStringLiteral("</protocolo><status>") + QString::number(rows.integer(3)) +
                QStringLiteral("</status><adicionado>") + escaped(rows.text(4)) +
                QStringLiteral("</adicionado></transferencia>");
    }
    return list + QStringLiteral("</listaTransferencias>");
}

// A receipt for a transmission stored without one.
QString standardReceipt(const QString& reference, const QString& protocol, int status) {
    const QString detail = status == 1 ? QStringLiteral("Verificação concluída, sem mensagens.")
                                       : QStringLiteral("Declaração da referência ") + reference +
                                             QStringLiteral(" processada com mensagens");
    QString receipt = QStringLiteral("<apuracao><GIA PROTOCOLO=\"") + escaped(protocol) +
                      QStringLiteral("\"><DETALHE>") + escaped(detail) + QStringLiteral("</DETALHE>");
    if (status != 1)
        receipt += QStringLiteral("<MENSAGEM>Confira os registros de DIPAM da declaração.</MENSAGEM>");
    return receipt + QStringLiteral("</GIA></apuracao>");
}

struct Transmission {
    QString referencia;
    QString data;
    QString protocolo;
    int status = 0;
    QString adicionado;
    QString recibo;
};

Transmission readTransmission(const Statement& row) {
    Transmission t{row.text(0), row.text(1), row.text(2), static_cast<int>(row.integer(3)),
                   row.text(4), row.text(5)};
    if (t.recibo.trimmed().isEmpty())
        t.recibo = standardReceipt(t.referencia, t.protocolo, t.status);
    return t;
}

QString receipt(ServerStore& store, const SoapCall& call) {
    ServerStore::Access access(store);
    sqlite3* db = access.db();
    const QString protocol = call.value(QStringLiteral("strNome")).trimmed();
    Statement company(db, "SELECT ie FROM empresas WHERE chave = ?");
    company.bind(1, call.value(QStringLiteral("Chave")));
    if (!company.next())
        return kInvalidKey;
    Statement row(db, "SELECT referencia, data, protocolo, status, adicionado, recibo FROM transmissoes "
                      "WHERE protocolo = ? AND ie = ?");
    row.bind(1, protocol).bind(2, company.text(0));
    if (!row.next()) {
        return QStringLiteral("<apuracao><ERRO><DETALHE>Protocolo não encontrado: ") + escaped(protocol) +
               QStringLiteral("</DETALHE></ERRO></apuracao>");
    }
    return readTransmission(row).recibo;
}

QString registerAccountant(ServerStore& store, const SoapCall& call) {
    static const char* const kNames[] = {
        "thisCont_cpf_cnpj",     "thisCont_num_crc",      "thisCont_razao_nome", "thisCont_nom_endereco",
        "thisCont_num_endereco", "thisCont_complemento",  "thisCont_nom_bairro", "thisCont_nom_cidade",
        "thisCont_nom_estado",   "thisCont_num_telefone", "thisCont_num_cep",    "thisCont_email"};
    ServerStore::Access access(store);
    Statement insert(access.db(),
                     "INSERT INTO contadores(doc, crc, nome, endereco, numero, complemento, bairro, "
                     "cidade, estado, telefone, cep, email) VALUES (?,?,?,?,?,?,?,?,?,?,?,?)");
    int index = 1;
    for (const char* name : kNames)
        insert.bind(index++, call.value(QString::fromLatin1(name)));
    return insert.run() ? QStringLiteral("OK") : QStringLiteral("ERRO");
}

// The receipt's entries, one line each: the element's name and its children's texts. Read
// without loading anything the document names.
QStringList receiptEntries(const QString& receipt) {
    QStringList entries;
    QXmlStreamReader reader(receipt);
    int depth = 0;
    QString name;
    QStringList texts;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (depth == 2) {
                // Read through its end tag: the depth stays.
                texts.append(reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed());
                continue;
            }
            if (++depth == 2) {
                name = reader.name().toString();
                texts.clear();
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth-- == 2)
                entries.append(name + QStringLiteral(": ") + texts.join(QStringLiteral(" — ")));
        }
    }
    return entries;
}

// "###.###.###.###" and "##.###.###/####-##" from the stored digits.
QString punctuated(const QString& digits, const QString& mask) {
    QString text;
    qsizetype next = 0;
    for (const QChar c : mask) {
        if (c != QLatin1Char('#'))
            text.append(c);
        else if (next < digits.size())
            text.append(digits.at(next++));
        else
            return digits;
    }
    return next == digits.size() ? text : digits;
}

std::string page(const QString& title, const QString& body) {
    const QString html =
        QStringLiteral("<!DOCTYPE html><html lang=\"pt-BR\"><head><meta charset=\"utf-8\"><title>") +
        escaped(title) +
        QStringLiteral("</title><style>body{font-family:sans-serif;margin:2em;color:#222}"
                       "table{border-collapse:collapse}td,th{border:1px solid #999;padding:4px 10px;"
                       "text-align:left}th{background:#eee}</style></head><body><h1>Prefeitura "
                       "Municipal de Valdorra</h1><h2>") +
        escaped(title) + QStringLiteral("</h2>") + body + QStringLiteral("</body></html>");
    return html.toStdString();
}

void receiptPage(ServerStore& store, const httplib::Request& request, httplib::Response& response) {
    const auto param = [&request](const char* name) {
        return QString::fromStdString(request.get_param_value(name));
    };
    const QString ref = param("ref");
    ServerStore::Access access(store);
    sqlite3* db = access.db();
    Company company;
    if (!findCompany(db, param("IE"), param("key"), &company)) {
        response.status = 403;
        response.set_content(
            page(QStringLiteral("Acesso não autorizado"),
                 QStringLiteral("<p>Inscrição estadual ou chave de acesso não conferem.</p>")),
            "text/html; charset=utf-8");
        return;
    }
    Statement row(db, "SELECT referencia, data, protocolo, status, adicionado, recibo FROM transmissoes "
                      "WHERE ie = ? AND referencia = ? ORDER BY data DESC, id DESC");
    row.bind(1, company.ie).bind(2, ref);
    if (!row.next()) {
        response.status = 404;
        response.set_content(page(QStringLiteral("Protocolo não encontrado"),
                                  QStringLiteral("<p>Não há entrega da referência ") + escaped(ref) +
                                      QStringLiteral(" para este contribuinte.</p>")),
                             "text/html; charset=utf-8");
        return;
    }
    const Transmission t = readTransmission(row);
    const auto line = [](const QString& label, const QString& value) -> QString {
        return QStringLiteral("<tr><th>") + label + QStringLiteral("</th><td>") + escaped(value) +
               QStringLiteral("</td></tr>");
    };
    QString body =
        QStringLiteral("<table>") + line(QStringLiteral("Contribuinte"), company.razao) +
        line(QStringLiteral("Inscrição Estadual"),
             punctuated(company.ie, QStringLiteral("###.###.###.###"))) +
        line(QStringLiteral("CNPJ"), punctuated(company.cnpj, QStringLiteral("##.###.###/####-##"))) +
        line(QStringLiteral("Referência"), t.referencia) + line(QStringLiteral("Protocolo"), t.protocolo) +
        line(QStringLiteral("Data de Processamento"), shownDate(t.data)) +
        line(QStringLiteral("Situação"), t.status == 1
                                             ? QStringLiteral("Verificação concluída, sem mensagens.")
                                             : QStringLiteral("Processada com mensagens")) +
        line(QStringLiteral("Valor Adicionado"), t.adicionado) + QStringLiteral("</table>");
    const QStringList entries = receiptEntries(t.recibo);
    if (!entries.isEmpty()) {
        body += QStringLiteral("<h3>Detalhes da apuração</h3><ul>");
        for (const QString& entry : entries)
            body += QStringLiteral("<li>") + escaped(entry) + QStringLiteral("</li>");
        body += QStringLiteral("</ul>");
    }
    response.set_content(page(QStringLiteral("Protocolo de entrega"), body), "text/html; charset=utf-8");
}

bool failSeed(const char* path, const QString& message) {
    std::fprintf(stderr, "fiscora-servidor: semente %s: %s\n", path, qUtf8Printable(message));
    return false;
}

} // namespace

void registerTransferOperations(SoapService& service, ServerStore& store,
                                std::chrono::milliseconds listHold) {
    service.add(QStringLiteral("Transferencia.ver2"), [&store, listHold](const SoapCall& call) {
        // Held outside the store's lock, so that lists asked at once are held side by side.
        std::this_thread::sleep_for(listHold);
        return transmissionList(store, call);
    });
    service.add(QStringLiteral("Transferencia.ver"),
                [&store](const SoapCall& call) { return receipt(store, call); });
    service.add(QStringLiteral("Transferencia.contador"),
                [&store](const SoapCall& call) { return registerAccountant(store, call); });
}

void registerPortalRoutes(httplib::Server& server, ServerStore& store, RequestLog&, int refusedReceipts) {
    auto refusals = std::make_shared<std::atomic<int>>(refusedReceipts);
    server.Get("/protocoloDown.php",
               [&store, refusals](const httplib::Request& request, httplib::Response& response) {
                   if (refusals->fetch_sub(1) > 0) {
                       response.status = 503;
                       response.set_content(page(QStringLiteral("Serviço indisponível"),
                                                 QStringLiteral("<p>Tente novamente mais tarde.</p>")),
                                            "text/html; charset=utf-8");
                       return;
                   }
                   receiptPage(store, request, response);
               });
}

// The seed, a JSON document:
//   { "parametros": { "anos": "2025,2026", "dataServidor": "...", "versao": "..." },
//     "empresas": [ { "ie", "cnpj", "razao", "chave", "simples",
//                     "transmissoes": [ { "referencia", "data" (yyyy-MM-dd HH:mm:ss), "protocolo",
//                                         "status", "adicionado", "recibo" (XML, optional) } ] } ] }
bool loadSeed(ServerStore& store, const char* path) {
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        return failSeed(path, file.errorString());
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!document.isObject())
        return failSeed(path, parseError.errorString());
    const QJsonObject seed = document.object();

    ServerStore::Access access(store);
    sqlite3* db = access.db();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    const auto fail = [db, path](const QString& message) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return failSeed(path, message);
    };

    const QJsonObject parameters = seed.value(QStringLiteral("parametros")).toObject();
    for (auto it = parameters.begin(); it != parameters.end(); ++it) {
        Statement insert(db, "INSERT OR REPLACE INTO parametros(nome, valor) VALUES (?, ?)");
        if (!insert.bind(1, it.key()).bind(2, it.value().toString()).run())
            return fail(QStringLiteral("parâmetro ") + it.key());
    }

    for (const QJsonValue& value : seed.value(QStringLiteral("empresas")).toArray()) {
        const QJsonObject company = value.toObject();
        const QString ie = digitsOf(company.value(QStringLiteral("ie")).toString());
        const QString key = company.value(QStringLiteral("chave")).toString();
        if (ie.isEmpty() || key.isEmpty())
            return fail(QStringLiteral("empresa sem IE ou chave"));
        Statement insert(
            db, "INSERT OR REPLACE INTO empresas(ie, cnpj, razao, chave, simples) VALUES (?,?,?,?,?)");
        insert.bind(1, ie)
            .bind(2, fiscora::cnpjCharacters(company.value(QStringLiteral("cnpj")).toString()))
            .bind(3, company.value(QStringLiteral("razao")).toString())
            .bind(4, key)
            .bind(5, company.value(QStringLiteral("simples")).toBool() ? 1 : 0);
        if (!insert.run())
            return fail(QStringLiteral("empresa ") + ie + QStringLiteral(": ") +
                        QString::fromUtf8(sqlite3_errmsg(db)));

        for (const QJsonValue& item : company.value(QStringLiteral("transmissoes")).toArray()) {
            const QJsonObject t = item.toObject();
            const QString protocol = t.value(QStringLiteral("protocolo")).toString();
            Statement add(db, "INSERT OR REPLACE INTO transmissoes(ie, referencia, data, protocolo, status, "
                              "adicionado, recibo) VALUES (?,?,?,?,?,?,?)");
            add.bind(1, ie)
                .bind(2, t.value(QStringLiteral("referencia")).toString())
                .bind(3, t.value(QStringLiteral("data")).toString())
                .bind(4, protocol)
                .bind(5, t.value(QStringLiteral("status")).toInt())
                .bind(6, t.value(QStringLiteral("adicionado")).toString())
                .bind(7, t.value(QStringLiteral("recibo")).toString());
            if (protocol.isEmpty() || !add.run())
                return fail(QStringLiteral("transmissão ") + protocol + QStringLiteral(" da empresa ") + ie);
        }
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(QString::fromUtf8(sqlite3_errmsg(db)));
    return true;
}

} // namespace servidor
