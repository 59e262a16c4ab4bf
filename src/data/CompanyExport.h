#pragma once

#include "data/TaxpayerTable.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace fiscora {

class AccessReader;

// A company of a NovaGIA export's tblContribuinte, its columns taken by position.
struct ExportCompany {
    QString ie;   // column 0
    QString name; // column 1, as stored
    QString cnpj; // column 2
    QString cnae; // column 3
    bool operator==(const ExportCompany&) const = default;

    // False for a CNPJ whose check digits fail (as the export holds it) or a name of blanks.
    bool consistent() const;
    // The row the import stores: the name followed by one blank, with the key the server gave.
    Taxpayer taxpayer(const QString& chave) const;
};

// The companies of a NovaGIA export, in file order, for the company import.
class CompanyExport final {
public:
    enum class Outcome {
        Ok,
        Empty,             // a valid export without companies
        InvalidFile,       // not an export, damaged, wrongly protected, or without the table
        ReaderUnavailable, // the Access reader is not installed beside the program
    };

    Outcome outcome = Outcome::InvalidFile;
    QList<ExportCompany> companies;
    QString detail; // technical, for tests

    // Reads the export as a job of `context` (data/AccessReader): `done` runs once, later.
    static void read(const AccessReader& reader, const QString& path, QObject* context,
                     std::function<void(CompanyExport)> done);

    bool consistent() const;
    // The message the user sees for a failed outcome.
    QString message() const;

    static const QString emptyMessage;
};

} // namespace fiscora
