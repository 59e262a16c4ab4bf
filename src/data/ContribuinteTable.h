#pragma once

#include "core/AppError.h"
#include "data/LocalDatabase.h"

#include <QList>
#include <QString>

namespace fiscora {

// A row of tblContribuinte. IE identifies it ("###.###.###.###" as the mask delivers it).
struct Contribuinte {
    QString IE;
    QString RazaoSocial;
    QString Cnpj;
    QString Cnae;
    QString Chave;
    QString CCM;
    bool OptanteSimples = false;
};

// Columns found without regard to case; OptanteSimples as a boolean.
Contribuinte contribuinteFromRow(const DbRow& row);

// The statements on tblContribuinte, each one command on its own connection. Every value is
// bound as the user typed it (apostrophes single); nothing is pasted into SQL text.

// "select count(0) as total from tblContribuinte where IE = ?"
bool contribuinteExists(const QString& ie, bool* exists, AppError* error);
// Insert of the seven columns (taxpayer creation).
bool insertContribuinte(const Contribuinte& contribuinte, AppError* error);
// RazaoSocial, Cnae, CCM and OptanteSimples of the row with the IE (taxpayer edit).
bool updateContribuinte(const Contribuinte& contribuinte, AppError* error);
// "Delete From tblContribuinte where ie = ?"
bool deleteContribuinte(const QString& ie, AppError* error);
// The row with the IE; *found false (and an empty row) when none.
bool findContribuinte(const QString& ie, Contribuinte* contribuinte, bool* found, AppError* error);
// "Select * From tblContribuinte", in the table's order.
bool listContribuintes(QList<Contribuinte>* contribuintes, AppError* error);
// The company import: when no row has the IE, inserts IE, RazaoSocial, Cnpj, Cnae and Chave
// (CCM and OptanteSimples are left out: they read back empty and no) and sets *inserted; look-up and insert
// run as one transaction.
bool importContribuinte(const Contribuinte& contribuinte, bool* inserted, AppError* error);

} // namespace fiscora
