#include "data/CompanyExport.h"

#include "data/GiaDatabaseReader.h"
#include "validation/Documents.h"

#include <algorithm>
#include <utility>

namespace fiscora {

const QString CompanyExport::emptyMessage = QStringLiteral("Erro: Arquivo está vazio");

bool ExportCompany::consistent() const {
    return CNPJValida(cnpj) && !name.trimmed().isEmpty();
}

Taxpayer ExportCompany::taxpayer(const QString& chave) const {
    // CCM and OptanteSimples are not the export's to give: empty and no.
    return Taxpayer{ie, name + QLatin1Char(' '), cnpj, cnae, chave, QString(), false};
}

namespace {

CompanyExport companiesOf(const GiaDatabaseReader::Taxpayers& read) {
    CompanyExport result;
    result.detail = read.detail;
    switch (read.outcome) {
    case GiaDatabaseReader::Outcome::Ok:
        break;
    case GiaDatabaseReader::Outcome::ReaderUnavailable:
        result.outcome = CompanyExport::Outcome::ReaderUnavailable;
        return result;
    case GiaDatabaseReader::Outcome::InvalidFile:
    case GiaDatabaseReader::Outcome::NoGia:
        result.outcome = CompanyExport::Outcome::InvalidFile;
        return result;
    }
    result.companies.reserve(read.rows.size());
    // A CNPJ typed in lower case in NovaGIA is the same CNPJ: shown, sent and stored upper-cased.
    for (const QStringList& row : read.rows)
        result.companies.append(
            ExportCompany{row.value(0), row.value(1), normalizedCnpj(row.value(2)), row.value(3)});
    result.outcome = result.companies.isEmpty() ? CompanyExport::Outcome::Empty : CompanyExport::Outcome::Ok;
    return result;
}

} // namespace

void CompanyExport::read(const AccessReader& reader, const QString& path, QObject* context,
                         std::function<void(CompanyExport)> done) {
    GiaDatabaseReader::readTaxpayers(
        reader, path, context,
        [done = std::move(done)](const GiaDatabaseReader::Taxpayers& read) { done(companiesOf(read)); });
}

bool CompanyExport::consistent() const {
    return std::all_of(companies.begin(), companies.end(),
                       [](const ExportCompany& company) { return company.consistent(); });
}

QString CompanyExport::message() const {
    switch (outcome) {
    case Outcome::Ok:
        return QString();
    case Outcome::Empty:
        return emptyMessage;
    case Outcome::InvalidFile:
        return GiaDatabaseReader::invalidFileMessage;
    case Outcome::ReaderUnavailable:
        return GiaDatabaseReader::readerUnavailableMessage;
    }
    return GiaDatabaseReader::invalidFileMessage;
}

} // namespace fiscora
