#include "data/NovaGiaLayout.h"

#include <iterator>

namespace fiscora {

const QString NovaGiaLayout::password = QStringLiteral("lanterna7");
const QString NovaGiaLayout::taxpayerNameColumn = QStringLiteral("RazaoSocial");

namespace {

using jet::ColumnType;

enum Key : int { None = 0, PrimaryKey = 1, AutoNumber = 2 };

struct Definition {
    const char16_t* table;
    const char16_t* column;
    ColumnType type;
    int size; // characters, for text
    int key;
};

constexpr ColumnType Long = ColumnType::Long;
constexpr ColumnType Currency = ColumnType::Currency;
constexpr ColumnType Date = ColumnType::DateTime;
constexpr ColumnType Text = ColumnType::Text;
constexpr ColumnType Memo = ColumnType::Memo;

// The whole layout, table by table, columns in their order. Whole numbers are Long, amounts
// Currency, dates Date/Time; texts hold exactly what the conversion writes into them.
constexpr Definition kLayout[] = {
    {u"tblContribuinte", u"IE", Text, 15, PrimaryKey},
    {u"tblContribuinte", u"RazaoSocial", Text, 150, None},
    {u"tblContribuinte", u"CNPJ", Text, 18, None},
    {u"tblContribuinte", u"CNAE", Text, 9, None},

    {u"tblGIA", u"NroGIA", Long, 0, PrimaryKey},
    {u"tblGIA", u"IE", Text, 15, None},
    {u"tblGIA", u"Tipo", Long, 0, None},
    {u"tblGIA", u"RegTrib", Text, 2, None},
    {u"tblGIA", u"Ref1", Date, 0, None},
    {u"tblGIA", u"Movimento", Long, 0, None},

    {u"tblDetalhesCFOPs", u"NroGIA", Long, 0, None},
    {u"tblDetalhesCFOPs", u"CFOP", Text, 5, None},
    {u"tblDetalhesCFOPs", u"ValorContábil", Currency, 0, None},
    {u"tblDetalhesCFOPs", u"BaseCálculo", Currency, 0, None},
    {u"tblDetalhesCFOPs", u"Imposto", Currency, 0, None},
    {u"tblDetalhesCFOPs", u"IsentasNãoTrib", Currency, 0, None},
    {u"tblDetalhesCFOPs", u"Outras", Currency, 0, None},
    {u"tblDetalhesCFOPs", u"ImpostoRetidoST", Currency, 0, None},
    {u"tblDetalhesCFOPs", u"ImpRetSubstitutoST", Currency, 0, None},
    {u"tblDetalhesCFOPs", u"ImpRetSubstituido", Currency, 0, None},
    {u"tblDetalhesCFOPs", u"OutrosImpostos", Currency, 0, None},

    {u"tblDetalhesInterUFs", u"NroGIA", Long, 0, None},
    {u"tblDetalhesInterUFs", u"CFOP", Text, 5, None},
    {u"tblDetalhesInterUFs", u"UF", Text, 2, None},
    {u"tblDetalhesInterUFs", u"ValorContábil_1", Currency, 0, None},
    {u"tblDetalhesInterUFs", u"BaseCálculo_1", Currency, 0, None},
    {u"tblDetalhesInterUFs", u"ValorContábil_2", Currency, 0, None},
    {u"tblDetalhesInterUFs", u"BaseCálculo_2", Currency, 0, None},
    {u"tblDetalhesInterUFs", u"Imposto", Currency, 0, None},
    {u"tblDetalhesInterUFs", u"Outras", Currency, 0, None},
    {u"tblDetalhesInterUFs", u"ICMSCobradoST", Currency, 0, None},
    {u"tblDetalhesInterUFs", u"PetróleoEnergia", Currency, 0, None},
    {u"tblDetalhesInterUFs", u"OutrosProdutos", Currency, 0, None},

    {u"tblZFM_ALC", u"NroGIA", Long, 0, None},
    {u"tblZFM_ALC", u"CFOP", Text, 5, None},
    {u"tblZFM_ALC", u"UF", Text, 2, None},
    {u"tblZFM_ALC", u"NF", Text, 9, None},
    {u"tblZFM_ALC", u"Data", Date, 0, None},
    {u"tblZFM_ALC", u"Valor", Currency, 0, None},
    {u"tblZFM_ALC", u"CNPJDest", Text, 18, None},
    {u"tblZFM_ALC", u"MunicípioDest", Text, 5, None},

    // Ocorrência holds up to 300 characters, more than a text column takes.
    {u"tblOcorrências", u"Código", Long, 0, PrimaryKey | AutoNumber},
    {u"tblOcorrências", u"NroGIA", Long, 0, None},
    {u"tblOcorrências", u"CódSubItem", Text, 6, None},
    {u"tblOcorrências", u"Valor", Currency, 0, None},
    {u"tblOcorrências", u"FLegal", Text, 100, None},
    {u"tblOcorrências", u"Ocorrência", Memo, 0, None},
    {u"tblOcorrências", u"OpPróprias", Long, 0, None},

    {u"tblIEsRemetente", u"Código", Long, 0, None},
    {u"tblIEsRemetente", u"IERemetente", Text, 15, None},
    {u"tblIEsRemetente", u"Valor", Currency, 0, None},

    {u"tblIESubstituto", u"Código", Long, 0, None},
    {u"tblIESubstituto", u"IESubstituto", Text, 15, None},
    {u"tblIESubstituto", u"DataInicio", Date, 0, None},
    {u"tblIESubstituto", u"DataFim", Date, 0, None},
    {u"tblIESubstituto", u"Valor", Currency, 0, None},
    {u"tblIESubstituto", u"NF", Text, 9, None},

    {u"tblIRSubstituido", u"Código", Long, 0, None},
    {u"tblIRSubstituido", u"IESubstituido", Text, 15, None},
    {u"tblIRSubstituido", u"Valor", Currency, 0, None},
    {u"tblIRSubstituido", u"NF", Text, 9, None},

    {u"tblRecibosCredito", u"Código", Long, 0, None},
    {u"tblRecibosCredito", u"CodAutorização", Text, 12, None},
    {u"tblRecibosCredito", u"Valor", Currency, 0, None},

    {u"tblDIPAM", u"NroGIA", Long, 0, None},
    {u"tblDIPAM", u"CódDIPAM", Text, 3, None},
    {u"tblDIPAM", u"Município", Text, 5, None},
    {u"tblDIPAM", u"Valor", Currency, 0, None},

    {u"tblRegistroExportação", u"NroGIA", Long, 0, None},
    {u"tblRegistroExportação", u"RE", Text, 15, None},
};

QList<jet::Table> build() {
    QList<jet::Table> tables;
    for (const Definition& d : kLayout) {
        const QString tableName = QString::fromUtf16(d.table);
        if (tables.isEmpty() || tables.last().name != tableName)
            tables.append(jet::Table{tableName, {}, {}});
        jet::Table& table = tables.last();
        jet::Column column;
        column.name = QString::fromUtf16(d.column);
        column.type = d.type;
        column.size = d.type == Text ? d.size : 0;
        column.autoNumber = d.key & AutoNumber;
        if (d.key & PrimaryKey) {
            jet::Index index;
            index.name = QStringLiteral("PrimaryKey");
            index.columns = {int(table.columns.size())};
            index.primaryKey = true;
            index.unique = true;
            table.indexes.append(index);
        }
        table.columns.append(column);
    }
    return tables;
}

} // namespace

const QList<jet::Table>& NovaGiaLayout::tables() {
    static const QList<jet::Table> layout = build();
    return layout;
}

jet::Database NovaGiaLayout::emptyDatabase() {
    jet::Database database;
    for (const jet::Table& table : tables())
        database.tables.append(jet::TableData{table, {}});
    database.password = password;
    return database;
}

} // namespace fiscora
