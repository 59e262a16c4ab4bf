#include "data/PgdasMatching.h"

#include "core/WorkerJob.h"
#include "data/PgdasDocument.h"
#include "validation/Documents.h"

#include <QDir>
#include <QFileInfo>
#include <atomic>

namespace fiscora {

namespace {

QString cnpjList(const QStringList& cnpjs) {
    QStringList formatted;
    for (const QString& cnpj : cnpjs)
        formatted.append(PgdasDocument::formatCnpj(cnpj));
    return formatted.join(QStringLiteral(", "));
}

Result<QList<PgdasMatch>> matchAll(const QString& folder, const QList<Taxpayer>& taxpayers,
                                   const std::atomic<bool>& cancelled) {
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists() || !dir.isReadable())
        return AppError::message(QStringLiteral("A pasta %1 não existe ou não pode ser lida.").arg(folder));
    QList<PgdasMatch> matches;
    const QFileInfoList files =
        // Unreadable ones too: they are listed apart with why.
        dir.entryInfoList({QStringLiteral("*.pdf")}, QDir::Files | QDir::Hidden,
                          QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& file : files) {
        if (cancelled)
            break;
        // The name filter ignores case; the suffix must be the last one.
        if (file.suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0)
            matches.append(PgdasMatching::match(file.absoluteFilePath(), taxpayers));
    }
    return matches;
}

} // namespace

PgdasMatch PgdasMatching::match(const QString& path, const QList<Taxpayer>& taxpayers) {
    PgdasMatch match;
    match.path = path;
    const Result<PgdasDocument> document = PgdasDocument::read(path);
    if (!document) {
        match.outcome = PgdasMatch::Outcome::Unreadable;
        match.why = document.error().description;
        return match;
    }
    match.reference = document->reference;
    QStringList cnpjs = PgdasDocument::cnpjsIn(QFileInfo(path).completeBaseName());
    if (cnpjs.isEmpty())
        cnpjs = document->cnpjs;
    if (cnpjs.isEmpty()) {
        match.outcome = PgdasMatch::Outcome::NoCnpj;
        match.why = QStringLiteral("Nenhum CNPJ válido no nome nem no texto do arquivo.");
        return match;
    }
    QList<Taxpayer> found;
    for (const Taxpayer& taxpayer : taxpayers) {
        if (cnpjs.contains(cnpjCharacters(taxpayer.Cnpj)))
            found.append(taxpayer);
    }
    if (found.isEmpty()) {
        match.outcome = PgdasMatch::Outcome::NoTaxpayer;
        match.why =
            cnpjs.size() == 1
                ? QStringLiteral("Nenhum contribuinte cadastrado com o CNPJ %1.").arg(cnpjList(cnpjs))
                : QStringLiteral("Nenhum contribuinte cadastrado com os CNPJs %1.").arg(cnpjList(cnpjs));
        return match;
    }
    if (found.size() > 1) {
        QStringList labels;
        for (const Taxpayer& taxpayer : found)
            labels.append(taxpayerLabel(taxpayer.IE, taxpayer.RazaoSocial));
        match.outcome = PgdasMatch::Outcome::Ambiguous;
        match.why = QStringLiteral("O arquivo corresponde a mais de um contribuinte cadastrado: %1.")
                        .arg(labels.join(QStringLiteral("; ")));
        return match;
    }
    match.taxpayer = found.front();
    if (!match.taxpayer.OptanteSimples) {
        match.outcome = PgdasMatch::Outcome::NotSimples;
        match.why = QStringLiteral("O contribuinte %1 não é optante do Simples Nacional.")
                        .arg(taxpayerLabel(match.taxpayer.IE, match.taxpayer.RazaoSocial));
        return match;
    }
    match.outcome = PgdasMatch::Outcome::Matched;
    return match;
}

void PgdasMatching::matchFolder(const QString& folder, const QList<Taxpayer>& taxpayers, ModalGate& gate,
                                QObject* context, std::function<void(Result<QList<PgdasMatch>>)> done) {
    runWorkerJob<Result<QList<PgdasMatch>>>(
        gate, context,
        [folder, taxpayers](const std::atomic<bool>& cancelled) {
            return matchAll(folder, taxpayers, cancelled);
        },
        std::move(done));
}

} // namespace fiscora
