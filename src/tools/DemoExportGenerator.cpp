// gerar-exportacao-demo SAIDA.mdb: writes the demo's NovaGIA export (resources/demo) with our Jet
// writer: the export layout and password, and a few companies in tblContribuinte. The first is in
// the stand-in server's demo seed (semente.json) and not in the demo's local database; the second
// is in both (the import reports it as already registered); the third is unknown to the server.

#include "data/NovaGiaLayout.h"
#include "jet/JetDatabase.h"

#include <QString>

#include <cstdio>

namespace {

struct DemoCompany {
    const char16_t* ie;
    const char16_t* name;
    const char16_t* cnpj;
    const char16_t* cnae;
};

constexpr DemoCompany kCompanies[] = {
    {u"648.097.729.184", u"Distribuidora Campo Alto Ltda", u"45.678.901/0001-75", u"4639-7/01"},
    {u"110.042.490.114", u"Comercial Ribeirão Verde Ltda", u"12.345.678/0001-95", u"4711-3/02"},
    {u"648.166.118.420", u"Transportadora Rio Claro Ltda", u"78.901.234/0001-05", u"4930-2/02"},
};
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("uso: gerar-exportacao-demo SAIDA.mdb\n", stderr);
        return 2;
    }
    fiscora::jet::Database database = fiscora::NovaGiaLayout::emptyDatabase();
    for (fiscora::jet::TableData& table : database.tables) {
        if (table.table.name != QLatin1String("tblContribuinte"))
            continue;
        for (const DemoCompany& company : kCompanies) {
            table.rows.append({QString::fromUtf16(company.ie), QString::fromUtf16(company.name),
                               QString::fromUtf16(company.cnpj), QString::fromUtf16(company.cnae)});
        }
    }
    const fiscora::Status written = fiscora::jet::writeDatabase(QString::fromLocal8Bit(argv[1]), database);
    if (!written) {
        std::fprintf(stderr, "gerar-exportacao-demo: %s\n",
                     written.error().description.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
