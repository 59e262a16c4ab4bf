#pragma once

#include "core/Result.h"
#include "jet/JetDatabase.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace fiscora {

class AccessReader;

// One GIA of a GIA database as the upload grid shows it.
struct GiaListRow {
    QString number;    // NroGIA
    QString reference; // Ref1 as mm/yyyy (the day 20 dropped)
    QString regime;    // RegTrib as its name
    QString type;      // Tipo as its name
    bool operator==(const GiaListRow&) const = default;
};

// A row of tblGIA as stored.
struct GiaRecord {
    jet::Value number;
    jet::Value ie;
    jet::Value type;
    jet::Value regime;
    jet::Value reference;
    jet::Value movement;
};

// Reads GIA databases (NovaGIA exports and the packages the program builds).
class GiaDatabaseReader final {
public:
    enum class Outcome {
        Ok,
        InvalidFile,       // not a GIA database, damaged, or without the expected table/columns
        NoGia,             // a GIA database without GIAs of the taxpayer
        ReaderUnavailable, // the Access reader is not installed beside the program
    };

    struct Listing {
        Outcome outcome = Outcome::InvalidFile;
        QList<GiaListRow> rows;
        QString detail; // technical, for logs and tests
    };

    struct Taxpayers {
        Outcome outcome = Outcome::InvalidFile;
        // Per row of tblContribuinte, its first four columns as text: IE, name, CNPJ, CNAE.
        QList<QStringList> rows;
        QString detail;
    };

    struct Records {
        Outcome outcome = Outcome::InvalidFile;
        QList<GiaRecord> rows; // in file order
        QString detail;
    };

    // Whether the file can be opened as a GIA database at all: an Access file whose password is
    // the export's (or none). Fails with invalidFileMessage. The readers below check it once the
    // Access reader has read the file, before looking for their table.
    static Status checkExport(const QString& path);

    // Jobs of `context` (data/AccessReader): `done` runs once, later.

    // The GIAs of the taxpayer with that IE ("###.###.###.###"), ordered by reference month.
    static void listGias(const AccessReader& reader, const QString& path, const QString& ie, QObject* context,
                         std::function<void(Listing)> done);
    // The export's tblContribuinte read by column position; an empty table is Ok with no rows.
    static void readTaxpayers(const AccessReader& reader, const QString& path, QObject* context,
                              std::function<void(Taxpayers)> done);
    // Every row of tblGIA and the taxpayers, with one read.
    static void readExport(const AccessReader& reader, const QString& path, QObject* context,
                           std::function<void(Records, Taxpayers)> done);

    // The grid texts of one row.
    static GiaListRow listRow(const GiaRecord& record);
    static QString referenceText(const jet::Value& ref1);
    static QString regimeText(const jet::Value& regTrib);
    static QString typeText(const jet::Value& tipo);

    // The message the user sees for a failed outcome.
    static QString message(Outcome outcome);
    static const QString invalidFileMessage;
    static const QString noGiaMessage;
    static const QString readerUnavailableMessage;
};

} // namespace fiscora
