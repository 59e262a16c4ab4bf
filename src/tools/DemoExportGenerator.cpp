// gerar-exportacao-demo SAIDA.mdb: writes the demo's NovaGIA export (resources/demo) with our Jet
// writer: the export layout and password, and a few companies in tblContribuinte. Two of them are
// in the stand-in server's demo seed (semente.json) and not in the demo's local database; the
// third is unknown to the server.

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
    {u"648.142.032.719", u"Auto Peças Vila Nova Ltda", u"56.789.012/0001-00", u"4530-7/03"},
    {u"648.155.774.306", u"Mercearia Bom Jesus d'Oeste Ltda ME", u"67.890.123/0001-16", u"4712-1/00"},
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
    QString error;
    if (!fiscora::jet::writeDatabase(QString::fromLocal8Bit(argv[1]), database, &error)) {
        std::fprintf(stderr, "gerar-exportacao-demo: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
