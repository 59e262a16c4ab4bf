#include "app/CommandLine.h"

#include "core/ProgramFolder.h"
#include "data/GiaConversion.h"
#include "data/GiaDatabaseReader.h"

#include <QFileInfo>
#include <QTextStream>

#include <cstring>

namespace fiscora {

namespace {

const QString kConvert = QStringLiteral("--converter");
const QString kList = QStringLiteral("--listar");

int usage(QTextStream& err) {
    err << "uso: fiscora --converter ARQUIVO.prf SAIDA.mdb\n"
        << "     fiscora --listar ARQUIVO.mdb IE\n";
    err.flush();
    return 2;
}

} // namespace

bool CommandLine::requested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--converter") == 0 || std::strcmp(argv[i], "--listar") == 0)
            return true;
    }
    return false;
}

int CommandLine::run(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const qsizetype convertAt = arguments.indexOf(kConvert);
    const qsizetype listAt = arguments.indexOf(kList);
    if ((convertAt >= 0) == (listAt >= 0))
        return usage(err);
    const qsizetype at = convertAt >= 0 ? convertAt : listAt;
    if (at + 2 >= arguments.size())
        return usage(err);
    const QString first = arguments.at(at + 1);
    const QString second = arguments.at(at + 2);

    if (convertAt >= 0) {
        const GiaConversion::Result result = GiaConversion::convertReplacing(
            first, second, ProgramFolder::file(QStringLiteral("gia_limpa.mdb")));
        if (!result.ok) {
            err << result.message << '\n';
            err.flush();
            return 1;
        }
        out << QStringLiteral("Pacote %1 gravado com %2 GIA(s).")
                   .arg(QFileInfo(second).absoluteFilePath())
                   .arg(result.gias)
            << '\n';
        out.flush();
        return 0;
    }

    const GiaDatabaseReader::Listing listing = GiaDatabaseReader::listGias(first, second);
    if (listing.outcome != GiaDatabaseReader::Outcome::Ok) {
        err << GiaDatabaseReader::message(listing.outcome) << '\n';
        err.flush();
        return 1;
    }
    for (const GiaListRow& row : listing.rows)
        out << row.number << '\t' << row.reference << '\t' << row.regime << '\t' << row.type << '\n';
    out.flush();
    return 0;
}

} // namespace fiscora
