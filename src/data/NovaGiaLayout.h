#pragma once

#include "jet/JetDatabase.h"

#include <QList>
#include <QString>

namespace fiscora {

// NovaGIA's export layout: the tables and columns of a GIA database, with the Access types and
// sizes the package template is built with.
class NovaGiaLayout final {
public:
    // The tables in the order they are created, each with its columns and keys.
    static const QList<jet::Table>& tables();
    // The empty template: every table, no rows, the password.
    static jet::Database emptyDatabase();
    // Password of NovaGIA exports and of the package.
    static const QString password;
    // The name column of the export's tblContribuinte (second of IE, name, CNPJ, CNAE).
    static const QString taxpayerNameColumn;
};

} // namespace fiscora
