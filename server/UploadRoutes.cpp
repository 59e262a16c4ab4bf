// The upload routes on the web-service port: GIA declarations (the database, the marker and the
// file the accountant chose, for the GIAs named in "gias") and PGDAS documents (one PDF). Both
// take one multipart file part, read strictly (MultipartBody), and a company's access key.
// Every upload is logged; a refused one records nothing.
#include "BlockingRead.h"
#include "MultipartBody.h"
#include "Operations.h"
#include "PgdasDocument.h"
#include "RequestLog.h"
#include "ServerStore.h"
#include "SqlStatement.h"

#include "data/AccessReader.h"
#include "data/AccessValue.h"
#include "data/GiaDatabaseReader.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QLocale>
#include <QMap>
#include <QSemaphore>
#include <QTemporaryFile>

#include <httplib.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace servidor {

namespace {

using fiscora::AccessReader;
using fiscora::AccessValue;
using fiscora::GiaDatabaseReader;

constexpr qint64 kDigestedBytes = 16LL * 1024 * 1024;
// Each reading of a database is a reader helper that may hold up to its memory cap: only this
// many run at once, and the other uploads wait their turn.
constexpr int kConcurrentReaders = 3;
// The contract's marker between the two copies of a GIA database, kept here apart from the
// client's own constant so that a fault in either shows in the end-to-end tests.
const QByteArrayView kGiaMarker("###$$$***PRF***$$$###");

struct Answer {
    int status = 200;
    QString code; // short, ASCII: what a program looks for
    QString text; // the explanation
};

// `text` is "CODE\nexplanation".
Answer refuse(int status, const QString& text) {
    return Answer{status, text.section(QLatin1Char('\n'), 0, 0), text.section(QLatin1Char('\n'), 1)};
}

// The answer also goes in a header: the library writes the headers and the body apart, and a
// client that reads only the first piece it gets must still find the code.
void reply(httplib::Response& response, const Answer& answer) {
    response.status = answer.status;
    response.set_header("Resultado", answer.code.toStdString());
    const QByteArray body = answer.code.toUtf8() + '\n' + answer.text.toUtf8() + '\n';
    response.set_content(body.constData(), static_cast<size_t>(body.size()), "text/plain; charset=utf-8");
}

struct Company {
    QString ie; // digits
    QString razao;
};

bool companyByKey(ServerStore& store, const QString& key, Company* company) {
    if (key.isEmpty())
        return false;
    ServerStore::Access access(store);
    SqlStatement query(access.db(), "SELECT ie, razao FROM empresas WHERE chave = ?");
    query.bind(1, key);
    if (!query.next())
        return false;
    *company = Company{query.text(0), query.text(1)};
    return true;
}

struct NewTransmission {
    QString referencia;
    QString adicionado;
    QString protocolo; // filled in when recorded
};

// Records every transmission or none; the protocols are the year and a sequence number.
bool record(ServerStore& store, const QString& ie, QList<NewTransmission>* items) {
    ServerStore::Access access(store);
    sqlite3* db = access.db();
    const QDateTime now = QDateTime::currentDateTime();
    const QString year = QString::number(now.date().year());
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    SqlStatement last(db, "SELECT MAX(CAST(protocolo AS INTEGER)) FROM transmissoes "
                          "WHERE length(protocolo) = 10 AND substr(protocolo, 1, 4) = ?");
    last.bind(1, year);
    qint64 sequence = last.next() ? last.integer(0) % 1000000 : 0;
    for (NewTransmission& item : *items) {
        item.protocolo = year + QString::number(++sequence).rightJustified(6, QLatin1Char('0'));
        SqlStatement insert(db,
                            "INSERT INTO transmissoes(ie, referencia, data, protocolo, status, adicionado) "
                            "VALUES (?, ?, ?, ?, 1, ?)");
        insert.bind(1, ie)
            .bind(2, item.referencia)
            .bind(3, now.toString(kStoredDateFormat))
            .bind(4, item.protocolo)
            .bind(5, item.adicionado);
        if (!insert.run()) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
    }
    return sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString protocolList(const QList<NewTransmission>& items) {
    QStringList parts;
    for (const NewTransmission& item : items)
        parts.append(item.protocolo + QStringLiteral(" (") + item.referencia + QLatin1Char(')'));
    return parts.join(QStringLiteral(", "));
}

QString brazilianAmount(double value) {
    QLocale locale(QLocale::Portuguese, QLocale::Brazil);
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale.toString(value, 'f', 2);
}

// Value added per GIA: outgoing operations (CFOP 5 to 7) less incoming ones (1 to 3); nothing
// when the CFOP table cannot be read (a NovaGIA database always has it, if maybe empty).
std::optional<QHash<qint64, double>> valueAdded(const QString& path) {
    const AccessReader::Reading read = readAccess(path, {QStringLiteral("tblDetalhesCFOPs")});
    const fiscora::AccessTable* table =
        read.ok() ? read.database.table(QStringLiteral("tblDetalhesCFOPs")) : nullptr;
    if (!table || !table->rowsRead)
        return std::nullopt;
    const int gia = table->column(QStringLiteral("NroGIA"));
    const int cfop = table->column(QStringLiteral("CFOP"));
    const int value = table->column(QStringLiteral("ValorContábil"));
    if (gia < 0 || cfop < 0 || value < 0)
        return std::nullopt;
    QHash<qint64, double> added;
    for (const fiscora::jet::Row& row : table->rows) {
        const std::optional<qint64> number = AccessValue::toInteger(row.value(gia));
        const QString code = AccessValue::toText(row.value(cfop));
        const double amount = AccessValue::toText(row.value(value)).toDouble();
        if (!number || code.isEmpty())
            continue;
        if (code.front() >= QLatin1Char('5'))
            added[*number] += amount;
        else
            added[*number] -= amount;
    }
    return added;
}

// What an upload's database holds for the server.
struct DatabaseContent {
    GiaDatabaseReader::Records records;
    std::optional<QHash<qint64, double>> added; // read only after the GIAs were
};

// Reads it with at most kConcurrentReaders helpers running at once.
DatabaseContent readDatabase(const QString& path) {
    static QSemaphore readers(kConcurrentReaders);
    readers.acquire();
    const QSemaphoreReleaser release(readers);
    DatabaseContent content{readGias(path), std::nullopt};
    if (content.records.outcome == GiaDatabaseReader::Outcome::Ok)
        content.added = valueAdded(path);
    return content;
}

// The GIA numbers of the query ("1,2,3"); false when one is not a number.
bool giaNumbers(const QString& text, QList<qint64>* numbers) {
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const qint64 number = part.trimmed().toLongLong(&ok);
        if (!ok || number <= 0)
            return false;
        if (!numbers->contains(number))
            numbers->append(number);
    }
    return true;
}

// Where the database ends in a GIA upload's content. An export is sent twice around the
// marker: the exact middle is tried first, so a marker inside the file cannot mislead.
qsizetype markerPosition(QByteArrayView content) {
    const qsizetype half = (content.size() - kGiaMarker.size()) / 2;
    if (half >= 0 && half * 2 + kGiaMarker.size() == content.size() &&
        content.sliced(half, kGiaMarker.size()) == kGiaMarker &&
        content.first(half) == content.sliced(half + kGiaMarker.size()))
        return half;
    return content.indexOf(kGiaMarker);
}

Answer receiveGia(ServerStore& store, const Company& company, const QString& giasText,
                  QByteArrayView content) {
    QList<qint64> wanted;
    if (!giaNumbers(giasText, &wanted))
        return refuse(400,
                      QStringLiteral("GIAS_INVALIDAS\nA lista de GIAs \"%1\" não é válida.").arg(giasText));
    if (wanted.isEmpty())
        return refuse(400, QStringLiteral("SEM_GIAS\nNenhuma GIA foi indicada para entrega."));
    const qsizetype marker = markerPosition(content);
    if (marker < 0)
        return refuse(400,
                      QStringLiteral("CONTEUDO_INVALIDO\nO conteúdo enviado não traz o separador entre o "
                                     "banco de dados e o arquivo da GIA."));

    QTemporaryFile database(QDir(QDir::tempPath()).filePath(QStringLiteral("fiscora-gia-XXXXXX.mdb")));
    if (!database.open() || database.write(content.data(), marker) != marker || !database.flush())
        return refuse(500, QStringLiteral("ERRO_SERVIDOR\nNão foi possível guardar o arquivo recebido."));
    database.close();
    const DatabaseContent read = readDatabase(database.fileName());
    if (read.records.outcome == GiaDatabaseReader::Outcome::ReaderUnavailable)
        return refuse(500, QStringLiteral("ERRO_SERVIDOR\nO leitor de arquivos Access não está disponível."));
    if (!read.added)
        return refuse(422, QStringLiteral("BANCO_ILEGIVEL\nO banco de dados enviado não pôde ser lido como "
                                          "um arquivo do NovaGIA (%1).")
                               .arg(read.records.outcome == GiaDatabaseReader::Outcome::Ok
                                        ? QStringLiteral("tabela tblDetalhesCFOPs ilegível")
                                        : read.records.detail));
    const GiaDatabaseReader::Records& records = read.records;

    QMap<qint64, fiscora::GiaRecord> byNumber;
    for (const fiscora::GiaRecord& row : records.rows) {
        if (const std::optional<qint64> number = AccessValue::toInteger(row.number))
            byNumber.insert(*number, row);
    }
    QList<NewTransmission> items;
    for (const qint64 number : wanted) {
        const auto found = byNumber.constFind(number);
        if (found == byNumber.cend())
            return refuse(
                422, QStringLiteral("GIA_INEXISTENTE\nA GIA %1 não está no arquivo enviado.").arg(number));
        const QString ie = AccessValue::toText(found->ie);
        if (digitsOf(ie) != company.ie)
            return refuse(403,
                          QStringLiteral("GIA_DE_OUTRA_EMPRESA\nA GIA %1 é da inscrição estadual %2, não da "
                                         "empresa desta chave.")
                              .arg(number)
                              .arg(ie));
        const QDate month = AccessValue::toDate(found->reference);
        if (!month.isValid())
            return refuse(422,
                          QStringLiteral("BANCO_ILEGIVEL\nA GIA %1 não tem referência válida.").arg(number));
        items.append(NewTransmission{month.toString(QStringLiteral("MM/yyyy")),
                                     brazilianAmount(read.added->value(number)), QString()});
    }
    if (!record(store, company.ie, &items))
        return refuse(500, QStringLiteral("ERRO_SERVIDOR\nNão foi possível registrar a entrega."));
    return Answer{200, QStringLiteral("OK"),
                  QStringLiteral("GIA recebida. Protocolos: ") + protocolList(items)};
}

Answer receivePgdas(ServerStore& store, const Company& company, QByteArrayView content) {
    const PgdasVerdict verdict = inspectPgdasDocument(content);
    if (!verdict.refusals.isEmpty())
        return Answer{
            422, verdict.refusals.join(QStringLiteral("; ")),
            verdict.refusals == QStringList{kMarkerIlegivel}
                ? QStringLiteral("O texto do documento não pôde ser lido até o fim para ser conferido.")
                : QStringLiteral("O documento não é a declaração original do PGDAS.")};
    QString reference = verdict.reference;
    if (reference.isEmpty())
        reference = QDate::currentDate().addMonths(-1).toString(QStringLiteral("MM/yyyy"));
    QList<NewTransmission> items{NewTransmission{reference, QString(), QString()}};
    if (!record(store, company.ie, &items))
        return refuse(500, QStringLiteral("ERRO_SERVIDOR\nNão foi possível registrar a entrega."));
    return Answer{200, QStringLiteral("OK"),
                  QStringLiteral("Declaração recebida. Protocolo ") + protocolList(items)};
}

enum class Route { Gia, Pgdas };

// Reads the body as it is. The library would parse a multipart body itself (and refuse the
// program's, which has no line end after the closing delimiter), so the request is shown to it
// as plain bytes while they are read; the request object is the library's own, not const.
bool readBody(const httplib::Request& request, const httplib::ContentReader& reader, qint64 length,
              QByteArray* body) {
    auto& headers = const_cast<httplib::Request&>(request).headers;
    const std::string contentType = request.get_header_value("Content-Type");
    headers.erase("Content-Type");
    headers.emplace("Content-Type", "application/octet-stream");
    body->reserve(length);
    const bool read = reader([body, length](const char* data, size_t size) {
        if (body->size() + static_cast<qint64>(size) > length)
            return false;
        body->append(data, static_cast<qsizetype>(size));
        return true;
    });
    headers.erase("Content-Type");
    headers.emplace("Content-Type", contentType);
    return read && body->size() == length;
}

Answer receive(Route route, ServerStore& store, const httplib::Request& request,
               const httplib::ContentReader& reader, QString* logDetail) {
    // GuardedServer admitted the request only with a numeric Content-Length within the limit.
    const qint64 length = std::stoll(request.get_header_value("Content-Length"));
    QByteArray body;
    if (!readBody(request, reader, length, &body))
        return refuse(
            400,
            QStringLiteral("CORPO_INCOMPLETO\nO corpo recebido não tem os %1 bytes informados.").arg(length));
    MultipartFile file;
    QString error;
    if (!parseSingleFileUpload(QByteArray::fromStdString(request.get_header_value("Content-Type")), body,
                               &file, &error))
        return refuse(400, QStringLiteral("MULTIPART_INVALIDO\n") + error);
    *logDetail = QStringLiteral("campo=%1 arquivo=%2 %3 bytes")
                     .arg(QString::fromLatin1(file.fieldName), QString::fromLatin1(file.fileName))
                     .arg(file.content.size());
    // A digest of small files, so a test can tell the bytes arrived as sent.
    if (file.content.size() <= kDigestedBytes)
        *logDetail +=
            QStringLiteral(" md5=") +
            QString::fromLatin1(QCryptographicHash::hash(file.content, QCryptographicHash::Md5).toHex());

    Company company;
    if (!companyByKey(store, QString::fromStdString(request.get_param_value("chave")), &company))
        return refuse(403,
                      QStringLiteral("CHAVE_INVALIDA\nA chave de acesso não pertence a nenhuma empresa."));
    if (route == Route::Gia)
        return receiveGia(store, company, QString::fromStdString(request.get_param_value("gias")),
                          file.content);
    return receivePgdas(store, company, file.content);
}

// How many uploads the server has at once, and the most it has had.
class UploadGauge {
public:
    UploadGauge(const QString& folder, std::chrono::milliseconds hold)
        : m_path(QDir(folder).filePath(QStringLiteral("envios-simultaneos")))
        , m_hold(hold) {}

    // One upload, from its headers to its answer.
    class Held {
    public:
        explicit Held(UploadGauge& gauge)
            : m_gauge(gauge) {
            m_gauge.enter();
        }
        ~Held() { --m_gauge.m_active; }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;

    private:
        UploadGauge& m_gauge;
    };

private:
    void enter() {
        const int now = ++m_active;
        {
            const std::lock_guard lock(m_mutex);
            if (now > m_peak) {
                m_peak = now;
                QFile file(m_path);
                if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                    file.write(QByteArray::number(m_peak));
            }
        }
        if (m_hold.count() > 0)
            std::this_thread::sleep_for(m_hold);
    }

    const QString m_path;
    const std::chrono::milliseconds m_hold;
    std::atomic<int> m_active{0};
    std::mutex m_mutex;
    int m_peak = 0;
};

void handle(Route route, ServerStore& store, RequestLog& log, const httplib::Request& request,
            httplib::Response& response, const httplib::ContentReader& reader) {
    QString detail;
    const Answer answer = receive(route, store, request, reader, &detail);
    reply(response, answer);
    log.write(QStringLiteral("UPLOAD %1 contador=%2 %3 -> %4 %5")
                  .arg(QString::fromStdString(request.path),
                       QString::fromStdString(request.get_param_value("contador")), detail)
                  .arg(answer.status)
                  .arg(answer.code));
}

} // namespace

void registerUploadRoutes(httplib::Server& server, ServerStore& store, RequestLog& log,
                          std::chrono::milliseconds hold) {
    auto gauge = std::make_shared<UploadGauge>(store.dataFolder(), hold);
    server.Post("/client/xt_upload_1_15_01.php",
                [&store, &log, gauge](const httplib::Request& request, httplib::Response& response,
                                      const httplib::ContentReader& reader) {
                    const UploadGauge::Held held(*gauge);
                    handle(Route::Gia, store, log, request, response, reader);
                });
    server.Post("/client/xt_upload_simples.php",
                [&store, &log, gauge](const httplib::Request& request, httplib::Response& response,
                                      const httplib::ContentReader& reader) {
                    const UploadGauge::Held held(*gauge);
                    handle(Route::Pgdas, store, log, request, response, reader);
                });
}

} // namespace servidor
