#include "data/LocalDatabase.h"

#include "core/AppTexts.h"
#include "core/ProgramFolder.h"
#include "data/LocalSchema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sqlite3.h>

namespace fiscora {

namespace {

const QString kSqlite = QStringLiteral("SQLite");

// Another copy of the program may hold the file for a moment; the tables wait for it rather
// than fail.
constexpr int kTableBusyTimeoutMs = 5000;

QVariant columnValue(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(statement, column));
    case SQLITE_BLOB: {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(statement, column));
        return QVariant(QByteArray(data, sqlite3_column_bytes(statement, column)));
    }
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<std::nullptr_t>());
    default: {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        return QVariant(QString::fromUtf8(data, sqlite3_column_bytes(statement, column)));
    }
    }
}

int bindValue(sqlite3_stmt* statement, int index, const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return sqlite3_bind_null(statement, index);
    switch (value.typeId()) {
    case QMetaType::Bool:
        return sqlite3_bind_int(statement, index, value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return sqlite3_bind_int64(statement, index, value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return sqlite3_bind_double(statement, index, value.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return sqlite3_bind_blob64(statement, index, bytes.constData(),
                                   static_cast<sqlite3_uint64>(bytes.size()), SQLITE_TRANSIENT);
    }
    default: {
        const QByteArray text = value.toString().toUtf8();
        return sqlite3_bind_text64(statement, index, text.constData(),
                                   static_cast<sqlite3_uint64>(text.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    }
}

// Whether the open file holds the same bytes as the file at `path`, read in pieces.
bool sameBytes(QFile& source, const QString& path) {
    QFile other(path);
    if (!source.seek(0) || !other.open(QIODevice::ReadOnly) || source.size() != other.size())
        return false;
    constexpr qint64 kPiece = 1 << 20;
    while (!source.atEnd()) {
        if (source.read(kPiece) != other.read(kPiece))
            return false;
    }
    return true;
}

// The copy of the open database file before its upgrade from `version`: "<file>.bak-<version>",
// or, when that name holds other bytes (a copy of another file), the first free
// "<file>.bak-<version>-N". An existing copy with the same bytes is kept as it is. The copy is
// written under a temporary name and renamed, so a name never holds half a copy.
Result<QString> writeBackup(QFile& source, int version) {
    const QString base = source.fileName() + QStringLiteral(".bak-") + QString::number(version);
    const auto failure = [](const QString& reason) {
        return AppError{75, AppTexts::programTitle, reason};
    };
    QString target = base;
    for (int n = 2; QFileInfo::exists(target); ++n) {
        if (sameBytes(source, target))
            return target;
        if (n > 99)
            return failure(QStringLiteral("há cópias demais com o nome ") + QFileInfo(base).fileName());
        target = base + QLatin1Char('-') + QString::number(n);
    }
    QSaveFile copy(target);
    if (!source.seek(0) || !copy.open(QIODevice::WriteOnly))
        return failure(copy.errorString());
    while (!source.atEnd()) {
        const QByteArray piece = source.read(1 << 20);
        if (piece.isEmpty() && source.error() != QFileDevice::NoError)
            return failure(source.errorString());
        if (copy.write(piece) != piece.size())
            return failure(copy.errorString());
    }
    // The accountant's data: the copy is no more readable than the file.
    copy.setPermissions(source.permissions());
    if (!copy.commit())
        return failure(copy.errorString());
    return target;
}

// What SQLite reports, said in Portuguese with the file and the cause; SQLite's own words only
// where the cause is the program's (a statement it got wrong).
QString failureText(const QString& path, int code, const QString& message, int busyTimeoutMs) {
    QString cause;
    switch (code & 0xff) {
    case SQLITE_READONLY:
        cause = QStringLiteral("o arquivo não pode ser gravado (está protegido contra gravação, ou a sua "
                               "pasta está)");
        break;
    case SQLITE_FULL:
        cause = QStringLiteral("o disco está cheio");
        break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        cause = busyTimeoutMs >= 2000
                    ? QStringLiteral("o arquivo continuou em uso por outro programa (ou outra cópia do "
                                     "Fiscora) por mais de %1 segundos")
                          .arg(busyTimeoutMs / 1000)
                    : QStringLiteral("o arquivo continuou em uso por outro programa (ou outra cópia do "
                                     "Fiscora)");
        break;
    case SQLITE_CANTOPEN:
        cause = QStringLiteral("o arquivo não existe ou não pode ser aberto");
        break;
    case SQLITE_PERM:
    case SQLITE_AUTH:
        cause = QStringLiteral("o sistema não permite o acesso ao arquivo");
        break;
    case SQLITE_IOERR:
        cause = QStringLiteral("erro de leitura ou gravação no disco");
        break;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        cause = QStringLiteral("o arquivo está danificado ou não é um banco de dados do Fiscora");
        break;
    case SQLITE_NOMEM:
        cause = QStringLiteral("falta memória");
        break;
    default:
        cause = message;
        break;
    }
    return QStringLiteral("Falha no banco de dados %1: %2").arg(QDir::toNativeSeparators(path), cause);
}

// A VB Long: the report shows numbers as signed 32-bit values.
qint32 asLong(qint64 number) {
    return static_cast<qint32>(static_cast<quint32>(static_cast<quint64>(number) & 0xFFFFFFFFu));
}

} // namespace

DbRow::DbRow(QStringList columns, QVariantList values)
    : m_columns(std::move(columns))
    , m_values(std::move(values)) {}

bool DbRow::has(const QString& column) const {
    return m_columns.contains(column, Qt::CaseInsensitive);
}

QVariant DbRow::value(const QString& column) const {
    for (qsizetype i = 0; i < m_columns.size() && i < m_values.size(); ++i) {
        if (m_columns.at(i).compare(column, Qt::CaseInsensitive) == 0)
            return m_values.at(i);
    }
    return {};
}

QString DbRow::text(const QString& column) const {
    const QVariant v = value(column);
    if (!v.isValid() || v.isNull())
        return QString();
    if (v.typeId() == QMetaType::QByteArray)
        return QString::fromUtf8(v.toByteArray());
    return v.toString();
}

bool DbRow::boolean(const QString& column) const {
    const QVariant v = value(column);
    if (!v.isValid() || v.isNull())
        return false;
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Bool:
        return v.toLongLong() != 0;
    case QMetaType::Double:
        return v.toDouble() != 0.0;
    default:
        break;
    }
    // Text written by hand or by another tool: a number, or the usual words for yes.
    const QString text = DbRow::text(column).trimmed();
    bool isNumber = false;
    const double number = text.toDouble(&isNumber);
    if (isNumber)
        return number != 0.0;
    for (const char* yes : {"true", "sim", "yes", "verdadeiro", "s", "y"}) {
        if (text.compare(QLatin1String(yes), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

LocalDatabase::LocalDatabase()
    : LocalDatabase(kTableBusyTimeoutMs) {}

LocalDatabase::LocalDatabase(int busyTimeoutMs)
    : m_busyTimeoutMs(busyTimeoutMs) {}

LocalDatabase::~LocalDatabase() {
    close();
}

Status LocalDatabase::open(const ProgramFolder& folder) {
    return openFile(folder.file(QStringLiteral("fiscora.mdb")));
}

Status LocalDatabase::openFile(const QString& path) {
    close();
    m_path = path;
    m_connectionErrors.clear();

    sqlite3* db = nullptr;
    // Read-write without create: a missing file is a failure the user sees, never a new empty
    // database that would hide the lost one.
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const int code = db ? sqlite3_extended_errcode(db) : rc;
        const QString message =
            db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        const AppError failure = fail(code, message);
        m_connectionErrors.append(failure);
        return failure;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, m_busyTimeoutMs);

    // SQLite reads the file lazily; touching the catalogue makes a foreign or locked file fail
    // here, where the open is reported, rather than at the first statement.
    // A committed journal is truncated and synced rather than unlinked: an unlink waits for the
    // directory's next sync, and a power cut before it (say, while the upload whose row was just
    // committed goes out) brings the journal back and rolls the commit back. Same cost per commit.
    char* message = nullptr;
    const int check = sqlite3_exec(db, "PRAGMA journal_mode = TRUNCATE; SELECT count(*) FROM sqlite_master",
                                   nullptr, nullptr, &message);
    if (check != SQLITE_OK) {
        const int code = sqlite3_extended_errcode(db);
        const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        sqlite3_close(db);
        const AppError failure = fail(code, text);
        m_connectionErrors.append(failure);
        return failure;
    }
    m_db = db;
    if (Status ready = upgrade(path); !ready) {
        close();
        m_connectionErrors.append(ready.error());
        return ready;
    }
    return {};
}

Result<int> LocalDatabase::schemaVersion() {
    const Result<std::optional<DbRow>> row = first(QStringLiteral("PRAGMA user_version"));
    if (!row)
        return row.error();
    return *row ? int((*row)->value(QStringLiteral("user_version")).toLongLong()) : 0;
}

Status LocalDatabase::upgrade(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const auto unknownLayout = [&](int version) {
        return AppError{
            3343, AppTexts::programTitle,
            QStringLiteral("O banco de dados %1 está na versão %2, que esta versão do Fiscora não "
                           "conhece (ela conhece até a versão %3): foi gravado por uma versão mais "
                           "nova do programa. Instale a versão mais nova do Fiscora; o arquivo não "
                           "foi alterado.")
                .arg(name)
                .arg(version)
                .arg(schema::kVersion)};
    };
    Result<int> version = schemaVersion();
    if (!version)
        return version.error();
    if (*version == schema::kVersion)
        return {};
    if (*version < 0 || *version > schema::kVersion)
        return unknownLayout(*version);

    // Closing any descriptor of the file drops every lock this process holds on it (POSIX
    // locks), so the copy is read through one descriptor kept open until the transaction is over.
    QFile source(path);
    const auto finish = [&](Status status) {
        if (!status && !sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return status;
    };
    const auto failed = [&](const AppError& cause, const QString& backup) {
        QString text =
            QStringLiteral(
                "Não foi possível atualizar o banco de dados %1 da versão %2 para a %3: %4. O arquivo "
                "ficou como estava.")
                .arg(name)
                .arg(*version)
                .arg(schema::kVersion)
                .arg(cause.description);
        if (!backup.isEmpty())
            text += QStringLiteral(" A cópia feita antes está em ") + QFileInfo(backup).fileName() +
                    QLatin1Char('.');
        return finish(AppError{cause.number, cause.source, text});
    };

    // Another copy of the program may be opening the same file: the write lock is taken first and
    // the version read again under it, so only one of them upgrades and none copies a file that
    // is changing.
    if (Status begun = begin(); !begun)
        return failed(begun.error(), {});
    version = schemaVersion();
    if (!version)
        return failed(version.error(), {});
    if (*version == schema::kVersion)
        return finish(commit());
    if (*version < 0 || *version > schema::kVersion)
        return finish(unknownLayout(*version));

    if (!source.open(QIODevice::ReadOnly))
        return failed(AppError{75, AppTexts::programTitle, source.errorString()}, {});
    const Result<QString> backup = writeBackup(source, *version);
    if (!backup) {
        return finish(AppError{backup.error().number, backup.error().source,
                               QStringLiteral("Não foi possível gravar a cópia de segurança de %1 antes de "
                                              "atualizá-lo: %2. O arquivo não foi alterado.")
                                   .arg(name, backup.error().description)});
    }
    for (int step = *version; step < schema::kVersion; ++step) {
        char* message = nullptr;
        if (sqlite3_exec(m_db, schema::kSteps[step], nullptr, nullptr, &message) != SQLITE_OK) {
            const AppError cause{sqlite3_extended_errcode(m_db), kSqlite,
                                 QString::fromUtf8(message ? message : sqlite3_errmsg(m_db))};
            sqlite3_free(message);
            return failed(cause, *backup);
        }
    }
    Status done = exec(QStringLiteral("PRAGMA user_version = ") + QString::number(schema::kVersion));
    if (done)
        done = commit();
    if (!done)
        return failed(done.error(), *backup);
    return {};
}

void LocalDatabase::close() {
    for (sqlite3_stmt* statement : std::as_const(m_statements))
        sqlite3_finalize(statement);
    m_statements.clear();
    if (m_db) {
        // A transaction left open by a failed command must not be committed by accident.
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

AppError LocalDatabase::fail(int code, const QString& message) const {
    return AppError{code, kSqlite, failureText(m_path, code, message, m_busyTimeoutMs)};
}

bool isDatabaseBusy(const AppError& error) {
    const int primary = int(error.number & 0xff);
    return error.source == kSqlite && (primary == SQLITE_BUSY || primary == SQLITE_LOCKED);
}

Status LocalDatabase::exec(const QString& sql, const QVariantList& parameters) {
    return run(sql, parameters, nullptr, -1);
}

Result<QList<DbRow>> LocalDatabase::query(const QString& sql, const QVariantList& parameters) {
    QList<DbRow> rows;
    if (Status done = run(sql, parameters, &rows, -1); !done)
        return done.error();
    return rows;
}

Result<sqlite3_stmt*> LocalDatabase::prepared(const QString& sql) {
    if (const auto kept = m_statements.constFind(sql); kept != m_statements.cend())
        return *kept;
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(m_db, text.constData(), static_cast<int>(text.size()), &statement, &tail) !=
        SQLITE_OK) {
        return fail(sqlite3_extended_errcode(m_db), QString::fromUtf8(sqlite3_errmsg(m_db)));
    }
    // One statement per call: text after it would silently go unexecuted.
    if (tail && !QByteArray(tail).trimmed().isEmpty()) {
        sqlite3_finalize(statement);
        return fail(SQLITE_ERROR, QStringLiteral("Mais de um comando SQL no mesmo texto"));
    }
    if (statement) // none for only blanks or a comment
        m_statements.insert(sql, statement);
    return statement;
}

Status LocalDatabase::run(const QString& sql, const QVariantList& parameters, QList<DbRow>* rows,
                          int maxRows) {
    if (rows)
        rows->clear();
    if (!m_db) {
        return fail(SQLITE_MISUSE, QStringLiteral("Banco de dados não aberto"));
    }
    const Result<sqlite3_stmt*> kept = prepared(sql);
    if (!kept)
        return kept.error();
    sqlite3_stmt* statement = *kept;
    if (!statement)
        return {};
    // The statement goes back to the cache ready for its next use, its locks released.
    const auto release = [statement] {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    };
    if (const int expected = sqlite3_bind_parameter_count(statement); expected != parameters.size()) {
        return fail(SQLITE_RANGE, QStringLiteral("Número de parâmetros incorreto: %1 esperados, %2 dados")
                                      .arg(expected)
                                      .arg(parameters.size()));
    }
    for (int i = 0; i < parameters.size(); ++i) {
        if (bindValue(statement, i + 1, parameters.at(i)) != SQLITE_OK) {
            const AppError failure =
                fail(sqlite3_extended_errcode(m_db), QString::fromUtf8(sqlite3_errmsg(m_db)));
            release();
            return failure;
        }
    }

    QStringList columns;
    const int columnCount = sqlite3_column_count(statement);
    for (int c = 0; c < columnCount; ++c)
        columns.append(QString::fromUtf8(sqlite3_column_name(statement, c)));

    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        if (!rows)
            continue;
        if (maxRows >= 0 && rows->size() >= maxRows) {
            rc = SQLITE_DONE;
            break;
        }
        QVariantList values;
        values.reserve(columnCount);
        for (int c = 0; c < columnCount; ++c)
            values.append(columnValue(statement, c));
        rows->append(DbRow(columns, std::move(values)));
    }
    if (rc != SQLITE_DONE) {
        const AppError failure =
            fail(sqlite3_extended_errcode(m_db), QString::fromUtf8(sqlite3_errmsg(m_db)));
        release();
        if (rows)
            rows->clear();
        return failure;
    }
    release();
    return {};
}

Result<std::optional<DbRow>> LocalDatabase::first(const QString& sql, const QVariantList& parameters) {
    QList<DbRow> rows;
    if (Status done = run(sql, parameters, &rows, 1); !done)
        return done.error();
    return rows.isEmpty() ? std::optional<DbRow>() : std::optional<DbRow>(rows.constFirst());
}

Result<qint64> LocalDatabase::count(const QString& sql, const QVariantList& parameters) {
    const Result<std::optional<DbRow>> row = first(sql, parameters);
    if (!row)
        return row.error();
    return *row ? (*row)->value(QStringLiteral("total")).toLongLong() : qint64(0);
}

Status LocalDatabase::begin() {
    return exec(QStringLiteral("BEGIN IMMEDIATE"));
}

Status LocalDatabase::commit() {
    return exec(QStringLiteral("COMMIT"));
}

QString databaseErrorReport(const AppError& failure, const QList<AppError>& providerErrors, bool fullForm) {
    const QString crlf = QStringLiteral("\r\n");
    QString report;
    if (fullForm) {
        int counter = 0;
        for (const AppError& provider : providerErrors) {
            report += crlf + QStringLiteral("ADO Error # ") + QString::number(++counter) + QLatin1Char(':');
            report += crlf + QStringLiteral("   ADO Error   # ") + QString::number(asLong(provider.number));
            report += crlf + QStringLiteral("   Description   ") + provider.description;
            report += crlf + QStringLiteral("   Source        ") + provider.source;
        }
    }
    // The number keeps a sign position: a blank for positive numbers, the minus sign otherwise.
    const qint32 number = asLong(failure.number);
    const QString signedNumber =
        number < 0 ? QString::number(number) : QLatin1Char(' ') + QString::number(number);
    report += crlf + QStringLiteral("VB Error # ") + signedNumber;
    report += crlf + QStringLiteral("   Generated by ") + failure.source;
    report += crlf + QStringLiteral("   Description  ") + failure.description;
    return report;
}

QString doubleQuotes(const QString& text) {
    QString out = text;
    return out.replace(QLatin1Char('\''), QLatin1String("''"));
}

} // namespace fiscora
