#pragma once

#include "core/Result.h"
#include "data/LocalDatabase.h"

#include <QList>
#include <QString>

#include <optional>

namespace fiscora {

// A row of tblContribuinte. IE identifies it ("###.###.###.###" as the mask delivers it).
struct Taxpayer {
    QString IE;
    QString RazaoSocial;
    QString Cnpj;
    QString Cnae;
    QString Chave;
    QString CCM;
    bool OptanteSimples = false;
};

// The statements on tblContribuinte of the folder's database, each one command on its own connection. Every
// value is bound as the user typed it (apostrophes single); nothing is pasted into SQL text.

// "select count(0) as total from tblContribuinte where IE = ?"
Result<bool> taxpayerExists(const ProgramFolder& folder, const QString& ie);
// Insert of the seven columns (taxpayer creation).
Status insertTaxpayer(const ProgramFolder& folder, const Taxpayer& contribuinte);
// RazaoSocial, Cnae, CCM and OptanteSimples of the row with the IE (taxpayer edit).
Status updateTaxpayer(const ProgramFolder& folder, const Taxpayer& contribuinte);
// "Delete From tblContribuinte where ie = ?"
Status deleteTaxpayer(const ProgramFolder& folder, const QString& ie);
// The row with the IE; none when no row has it.
Result<std::optional<Taxpayer>> findTaxpayer(const ProgramFolder& folder, const QString& ie);
// "Select * From tblContribuinte", in the table's order.
Result<QList<Taxpayer>> listTaxpayers(const ProgramFolder& folder);
// The company import: when no row has the IE, inserts IE, RazaoSocial, Cnpj, Cnae and Chave
// (CCM and OptanteSimples are left out: they read back empty and no); true when it inserted. Look-up
// and insert run as one transaction.
Result<bool> importTaxpayer(const ProgramFolder& folder, const Taxpayer& contribuinte);

// A taxpayer as lists name it: "IE - name", the IE alone when there is no name.
QString taxpayerLabel(const QString& ie, const QString& name);

} // namespace fiscora
