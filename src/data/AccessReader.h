#pragma once

#include "core/ProgramFolder.h"
#include "core/Result.h"
#include "jet/JetDatabase.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace fiscora {

class ModalGate;

// A user table of an Access file as read: its columns, indexes and, when asked for, its rows.
struct AccessTable {
    // The columns keep their Access types; a column of a type the writer has no name for
    // (binary, OLE, replication id, decimal) is marked unsupported, and its values come as
    // text or null.
    jet::Table definition;
    QList<bool> unsupported;
    bool rowsRead = false;
    QList<jet::Row> rows;

    QString name() const { return definition.name; }
    // Position of the column of that name (Access names ignore case), or -1.
    int column(const QString& name) const;
};

struct AccessDatabase {
    int jetVersion = 0; // 3 or 4
    QList<AccessTable> tables;

    // The table of that name (Access names ignore case), or null.
    const AccessTable* table(const QString& name) const;
    AccessTable* table(const QString& name);
};

// Reads Access (Jet 3 and Jet 4) files with libmdb. libmdb can crash, loop or take memory without
// end on a damaged file, so the reading runs in the child process fiscora-leitor-mdb under a time
// limit and a memory cap; whatever goes wrong there is an invalid file here, never a crash, a
// hang or an exhausted machine.
class AccessReader final {
public:
    enum class Status {
        Ok,
        Invalid,     // missing, unreadable, not an Access file, damaged, or read too slowly
        Unavailable, // the helper program is missing or did not start
    };

    // Why a read failed, for tests and measurements; the caller only needs the status.
    enum class Cause { None, NoFile, HelperMissing, TimedOut, TooMuchMemory, Crashed, Refused, Malformed };

    struct Reading {
        Status status = Status::Invalid;
        Cause cause = Cause::None;
        AccessDatabase database;
        QString detail; // what went wrong, for logs and tests (not a user message)
        bool ok() const { return status == Status::Ok; }
    };

    using Handler = std::function<void(Reading)>;

    // Reads through the helper program `helper`, each read under `timeLimitMs`, or, when 0, under
    // the limit for the file's size; the outcomes go through `gate`, which outlives the reader.
    AccessReader(QString helper, ModalGate& gate, int timeLimitMs = 0)
        : m_helper(std::move(helper))
        , m_gate(&gate)
        , m_timeLimitMs(timeLimitMs) {}

    // fiscora-leitor-mdb beside the folder's executable, or in the installed helpers' folder.
    static QString defaultHelper(const ProgramFolder& folder);

    // Reads the schema of every user table, and the rows of the tables named in rowsOf
    // (a table that the file lacks is no error: its rowsRead stays false). A job of `context`:
    // `done` runs once, later (never inside the call), when no box of the gate is up; nothing is
    // reported when `context` goes first, and the helper is ended then.
    void read(const QString& path, const QStringList& rowsOf, QObject* context, Handler done) const;
    // The rows of every user table as well.
    void readAll(const QString& path, QObject* context, Handler done) const;

    const QString& helperPath() const { return m_helper; }
    ModalGate& gate() const { return *m_gate; }
    // Longest a read may take for a file of that size before it counts as a damaged file.
    int timeLimitMs(qint64 fileSize) const;
    // Most memory the helper may hold (resident) for a file of that size.
    static qint64 memoryLimitBytes(qint64 fileSize);

    // The file as a jet::Database (schema and rows), for rewriting it; fails when a table holds
    // a column of a type the writer cannot store.
    static Result<jet::Database> toJetDatabase(const AccessDatabase& database);

    // Decodes the helper's output stream; fails when it is incomplete or malformed.
    static Result<AccessDatabase> decode(const QByteArray& stream);

private:
    QString m_helper;
    ModalGate* m_gate;
    int m_timeLimitMs;
};

} // namespace fiscora
