#include "data/AccessReader.h"

#include "data/AccessReaderProtocol.h"

#include "core/ModalGate.h"
#include "core/ProgramFolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <unistd.h>

#include <cstring>

namespace fiscora {

namespace proto = mdbprotocol;

namespace {

// How often a running helper's memory is looked at: a runaway allocation gets little past the cap.
constexpr int kMemoryPollMs = 5;

// Reads the helper's stream with bounds checks: a short or malformed stream is an invalid file.
class StreamReader {
public:
    explicit StreamReader(const QByteArray& bytes)
        : m_data(reinterpret_cast<const unsigned char*>(bytes.constData()))
        , m_size(bytes.size()) {}

    bool failed() const { return m_failed; }
    bool atEnd() const { return m_pos >= m_size; }

    bool expect(const char* bytes, qsizetype length) {
        if (!has(length) || std::memcmp(m_data + m_pos, bytes, size_t(length)) != 0)
            return fail();
        m_pos += length;
        return true;
    }

    quint8 u8() {
        if (!has(1))
            return fail(), 0;
        return m_data[m_pos++];
    }

    quint64 little(int bytes) {
        if (!has(bytes))
            return fail(), 0;
        quint64 value = 0;
        for (int i = bytes - 1; i >= 0; --i)
            value = (value << 8) | m_data[m_pos + i];
        m_pos += bytes;
        return value;
    }

    quint16 u16() { return quint16(little(2)); }
    qint64 i64() { return qint64(little(8)); }

    double f64() {
        const quint64 bits = little(8);
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    QString text() {
        const quint64 length = little(4);
        if (m_failed || !has(qsizetype(length)))
            return fail(), QString();
        const QString value =
            QString::fromUtf8(reinterpret_cast<const char*>(m_data + m_pos), qsizetype(length));
        m_pos += qsizetype(length);
        return value;
    }

private:
    bool has(qsizetype length) const { return length >= 0 && m_size - m_pos >= length; }
    bool fail() {
        m_failed = true;
        m_pos = m_size;
        return false;
    }

    const unsigned char* m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
    bool m_failed = false;
};

// A process's resident memory (its pages in RAM, so the same measure whatever address space a
// sanitizer reserves), or 0 when it cannot be read.
qint64 residentBytes(qint64 pid) {
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.read(256).split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

struct KindInfo {
    jet::ColumnType type;
    bool supported;
};

std::optional<KindInfo> kindInfo(quint8 kind) {
    switch (kind) {
    case proto::Boolean:
        return KindInfo{jet::ColumnType::Boolean, true};
    case proto::Byte:
        return KindInfo{jet::ColumnType::Byte, true};
    case proto::Integer:
        return KindInfo{jet::ColumnType::Integer, true};
    case proto::Long:
        return KindInfo{jet::ColumnType::Long, true};
    case proto::Currency:
        return KindInfo{jet::ColumnType::Currency, true};
    case proto::Single:
        return KindInfo{jet::ColumnType::Single, true};
    case proto::Double:
        return KindInfo{jet::ColumnType::Double, true};
    case proto::DateTime:
        return KindInfo{jet::ColumnType::DateTime, true};
    case proto::Text:
        return KindInfo{jet::ColumnType::Text, true};
    case proto::Memo:
        return KindInfo{jet::ColumnType::Memo, true};
    case proto::Other:
        return KindInfo{jet::ColumnType::Text, false};
    default:
        return std::nullopt;
    }
}

// A table's schema; a stream that ends inside it is an incomplete schema.
Result<AccessTable> readSchema(StreamReader& in) {
    AccessTable table;
    table.definition.name = in.text();
    const int columns = in.u16();
    for (int i = 0; i < columns && !in.failed(); ++i) {
        jet::Column column;
        column.name = in.text();
        const auto kind = kindInfo(in.u8());
        column.size = in.u16();
        const quint8 flags = in.u8();
        if (!kind)
            return AppError::message(
                QStringLiteral("tipo de coluna desconhecido em %1").arg(table.definition.name));
        column.type = kind->type;
        if (column.type != jet::ColumnType::Text)
            column.size = 0;
        column.autoNumber = flags & proto::AutoNumber;
        column.required = flags & proto::Required;
        table.definition.columns.append(column);
        table.unsupported.append(!kind->supported);
    }
    const int indexes = in.u16();
    for (int i = 0; i < indexes && !in.failed(); ++i) {
        jet::Index index;
        index.name = in.text();
        const quint8 flags = in.u8();
        index.primaryKey = flags & proto::PrimaryKey;
        index.unique = flags & proto::Unique;
        const int keys = in.u8();
        for (int k = 0; k < keys && !in.failed(); ++k) {
            const int key = in.u16();
            if (key >= columns)
                return AppError::message(QStringLiteral("índice %1 com coluna inexistente").arg(index.name));
            index.columns.append(key);
        }
        table.definition.indexes.append(index);
    }
    if (in.failed())
        return AppError::message(QStringLiteral("esquema incompleto"));
    return table;
}

std::optional<jet::Value> readValue(StreamReader& in) {
    switch (in.u8()) {
    case proto::Null:
        return jet::Value(std::monostate());
    case proto::BoolValue:
        return jet::Value(in.u8() != 0);
    case proto::IntegerValue:
        return jet::Value(in.i64());
    case proto::CurrencyValue:
        return jet::Value(jet::Currency{in.i64()});
    case proto::DoubleValue:
        return jet::Value(in.f64());
    case proto::DateTimeValue:
        return jet::Value(jet::DateTime{in.f64()});
    case proto::TextValue:
        return jet::Value(in.text());
    default:
        return std::nullopt;
    }
}

// The rows of a table with that many columns, up to their end mark; nothing when they are
// malformed.
std::optional<QList<jet::Row>> readRows(StreamReader& in, qsizetype width) {
    QList<jet::Row> rows;
    for (;;) {
        const quint8 record = in.u8();
        if (in.failed())
            return std::nullopt;
        if (record == proto::RowsEnd)
            return rows;
        if (record != proto::Row)
            return std::nullopt;
        jet::Row row(width);
        for (qsizetype i = 0; i < width; ++i) {
            std::optional<jet::Value> value = readValue(in);
            if (!value || in.failed())
                return std::nullopt;
            row[i] = std::move(*value);
        }
        rows.append(std::move(row));
    }
}

} // namespace

int AccessTable::column(const QString& name) const {
    for (qsizetype i = 0; i < definition.columns.size(); ++i) {
        if (definition.columns.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

const AccessTable* AccessDatabase::table(const QString& name) const {
    for (const AccessTable& t : tables) {
        if (t.name().compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    }
    return nullptr;
}

AccessTable* AccessDatabase::table(const QString& name) {
    return const_cast<AccessTable*>(std::as_const(*this).table(name));
}

Result<AccessDatabase> AccessReader::decode(const QByteArray& stream) {
    StreamReader in(stream);
    AccessDatabase database;
    if (!in.expect(proto::kMagic, proto::kMagicLength))
        return AppError::message(QStringLiteral("saída do leitor sem cabeçalho"));
    database.jetVersion = in.u8();
    for (;;) {
        const quint8 record = in.u8();
        if (in.failed())
            return AppError::message(QStringLiteral("saída do leitor incompleta"));
        if (record == proto::SchemaEnd)
            break;
        if (record != proto::TableSchema)
            return AppError::message(QStringLiteral("registro inesperado no esquema"));
        Result<AccessTable> table = readSchema(in);
        if (!table)
            return table.error();
        database.tables.append(std::move(*table));
    }
    for (;;) {
        const quint8 record = in.u8();
        if (in.failed())
            return AppError::message(QStringLiteral("saída do leitor incompleta"));
        if (record == proto::End)
            break;
        if (record == proto::NoSuchTable) {
            in.text();
            continue;
        }
        AccessTable* table = record == proto::TableRows ? database.table(in.text()) : nullptr;
        std::optional<QList<jet::Row>> rows;
        if (table && !table->rowsRead)
            rows = readRows(in, table->definition.columns.size());
        if (!rows)
            return AppError::message(QStringLiteral("linhas ilegíveis na saída do leitor"));
        table->rows = std::move(*rows);
        table->rowsRead = true;
    }
    if (!in.atEnd())
        return AppError::message(QStringLiteral("dados após o fim da saída do leitor"));
    return database;
}

QString AccessReader::defaultHelper(const ProgramFolder& folder) {
    return folder.helperProgram(QStringLiteral("fiscora-leitor-mdb"));
}

int AccessReader::timeLimitMs(qint64 fileSize) const {
    if (m_timeLimitMs > 0)
        return m_timeLimitMs;
    // A NovaGIA export reads in well under a second; the limit only has to end a loop.
    constexpr qint64 base = 5000;
    constexpr qint64 perChunk = 1000;
    constexpr qint64 chunk = qint64(8) << 20;
    constexpr qint64 ceiling = 120000;
    return int(qMin(ceiling, base + perChunk * (qMax<qint64>(fileSize, 0) / chunk)));
}

qint64 AccessReader::memoryLimitBytes(qint64 fileSize) {
    // An export reads in a few times its size; a damaged one can make libmdb allocate until the
    // machine runs out.
    constexpr qint64 floor = qint64(256) << 20;
    return qMax(floor, 4 * qMax<qint64>(fileSize, 0));
}

namespace {

AccessReader::Reading noFile(const QString& path) {
    AccessReader::Reading result;
    result.cause = AccessReader::Cause::NoFile;
    result.detail = QStringLiteral("arquivo inexistente: %1").arg(path);
    return result;
}

AccessReader::Reading notStarted(const QProcess& process) {
    AccessReader::Reading result;
    result.status = AccessReader::Status::Unavailable;
    result.cause = AccessReader::Cause::HelperMissing;
    result.detail = QStringLiteral("leitor %1 não iniciou: %2").arg(process.program(), process.errorString());
    return result;
}

AccessReader::Reading stoppedEarly(AccessReader::Cause cause, const QString& path) {
    AccessReader::Reading result;
    result.cause = cause;
    result.detail = cause == AccessReader::Cause::TimedOut
                        ? QStringLiteral("tempo esgotado lendo %1").arg(path)
                        : QStringLiteral("memória esgotada lendo %1").arg(path);
    return result;
}

// What a helper that ended on its own left.
AccessReader::Reading ended(QProcess& process, const QString& path) {
    AccessReader::Reading result;
    if (process.exitStatus() != QProcess::NormalExit) {
        result.cause = AccessReader::Cause::Crashed;
        result.detail = QStringLiteral("o leitor terminou de forma anormal lendo %1").arg(path);
        return result;
    }
    if (process.exitCode() != proto::Done) {
        result.cause = AccessReader::Cause::Refused;
        if (process.exitCode() == proto::Usage) {
            result.status = AccessReader::Status::Unavailable;
            result.cause = AccessReader::Cause::HelperMissing;
        }
        result.detail = QStringLiteral("o leitor recusou %1 (código %2)").arg(path).arg(process.exitCode());
        return result;
    }
    Result<AccessDatabase> decoded = AccessReader::decode(process.readAllStandardOutput());
    if (!decoded) {
        result.cause = AccessReader::Cause::Malformed;
        result.detail = decoded.error().description;
        return result;
    }
    result.database = std::move(*decoded);
    result.status = AccessReader::Status::Ok;
    return result;
}

void prepare(QProcess& process) {
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
}

// One read by the helper: its memory looked at on a timer, its time bounded by another. A helper
// stopped early, or whose caller went, is killed and left to end on its own: nothing waits.
class ReadJob final : public QObject {
public:
    ReadJob(const AccessReader& reader, const QString& path, const QStringList& arguments, qint64 size,
            QObject* context, AccessReader::Handler done)
        : m_path(path)
        , m_gate(reader.gate())
        , m_context(context)
        , m_done(std::move(done)) {
        // The application keeps a job whose helper was killed but has not ended yet: quitting
        // meanwhile reaps it then, instead of leaving it behind.
        if (QCoreApplication* app = QCoreApplication::instance(); app && app->thread() == thread())
            setParent(app);
        connect(context, &QObject::destroyed, this, [this] { stop(); });
        m_process = new QProcess(this);
        prepare(*m_process);
        connect(m_process, &QProcess::finished, this, [this] {
            if (!m_reported)
                report(m_stopped ? std::move(*m_stopped) : ended(*m_process, m_path));
            deleteLater();
        });
        connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return;
            if (!m_reported)
                report(notStarted(*m_process));
            deleteLater();
        });
        auto* poll = new QTimer(this);
        poll->setInterval(kMemoryPollMs);
        connect(poll, &QTimer::timeout, this, [this, limit = AccessReader::memoryLimitBytes(size)] {
            if (m_process->state() == QProcess::Running && residentBytes(m_process->processId()) > limit)
                stopEarly(AccessReader::Cause::TooMuchMemory);
        });
        auto* deadline = new QTimer(this);
        deadline->setSingleShot(true);
        deadline->setInterval(reader.timeLimitMs(size));
        connect(deadline, &QTimer::timeout, this, [this] { stopEarly(AccessReader::Cause::TimedOut); });
        // Started from the event loop, so that even a helper that cannot start reports later.
        QTimer::singleShot(0, this, [this, helper = reader.helperPath(), arguments, poll, deadline] {
            if (m_reported)
                return;
            poll->start();
            deadline->start();
            m_process->start(helper, arguments, QIODevice::ReadOnly);
        });
    }

private:
    // Told once the helper has ended: a caller that limits how many helpers run at once (the
    // stand-in server) counts it until then.
    void stopEarly(AccessReader::Cause cause) {
        if (m_reported || m_stopped)
            return;
        m_stopped = stoppedEarly(cause, m_path);
        for (QTimer* timer : findChildren<QTimer*>())
            timer->stop();
        m_process->kill(); // finished() follows, reports and deletes the job
    }

    void stop() {
        m_reported = true;
        for (QTimer* timer : findChildren<QTimer*>())
            timer->stop();
        if (m_process->state() == QProcess::NotRunning)
            deleteLater();
        else
            m_process->kill(); // finished() follows and deletes the job
    }

    void report(AccessReader::Reading result) {
        m_reported = true;
        for (QTimer* timer : findChildren<QTimer*>())
            timer->stop();
        m_gate.deliver(m_context, [done = std::move(m_done), result = std::move(result)] { done(result); });
    }

    QString m_path;
    ModalGate& m_gate;
    QObject* m_context; // its end stops the job first
    AccessReader::Handler m_done;
    QProcess* m_process = nullptr;
    bool m_reported = false;
    std::optional<AccessReader::Reading> m_stopped; // why it was stopped early, till it has ended
};

} // namespace

void AccessReader::readAll(const QString& path, QObject* context, Handler done) const {
    read(path, {QStringLiteral("*")}, context, std::move(done));
}

void AccessReader::read(const QString& path, const QStringList& rowsOf, QObject* context,
                        Handler done) const {
    const QFileInfo info(path);
    if (!info.isFile()) {
        gate().deliverLater(context, [done = std::move(done), result = noFile(path)] { done(result); });
        return;
    }
    new ReadJob(*this, path, QStringList{info.absoluteFilePath()} + rowsOf, info.size(), context,
                std::move(done));
}

Result<jet::Database> AccessReader::toJetDatabase(const AccessDatabase& database) {
    jet::Database out;
    for (const AccessTable& table : database.tables) {
        for (qsizetype i = 0; i < table.unsupported.size(); ++i) {
            if (table.unsupported.at(i))
                return AppError::message(
                    QStringLiteral("a coluna %1 da tabela %2 é de um tipo que não pode ser gravado")
                        .arg(table.definition.columns.at(i).name, table.name()));
        }
        out.tables.append(jet::TableData{table.definition, table.rows});
    }
    return out;
}

} // namespace fiscora
