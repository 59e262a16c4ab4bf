#include "data/PgdasDocument.h"

#include "data/DocumentLibrary.h"
#include "validation/Documents.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace fiscora {

namespace {

// A reader may find the header anywhere in the first kilobyte, as Poppler does.
bool looksLikePdf(const QByteArray& bytes) {
    return bytes.left(1024).contains("%PDF-");
}

QString reference(const QString& text) {
    // "Período de Apuração (PA): 11/2026" or "Período de Apuração: 01/11/2026 a 30/11/2026".
    static const QRegularExpression named(
        QStringLiteral("per[ií]odo\\s+de\\s+apura[çc][ãa]o[^0-9]{0,80}(?:[0-9]{2}/)?"
                       "((?:0[1-9]|1[0-2])/[0-9]{4})(?![0-9])"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression alone(
        QStringLiteral("(?<![0-9A-Za-z_])(?:0[1-9]|1[0-2])/[0-9]{4}(?![0-9A-Za-z_])"));
    if (const QRegularExpressionMatch match = named.match(text); match.hasMatch())
        return match.captured(1);
    return alone.match(text).captured(0);
}

Result<PgdasDocument> fromBytes(const QByteArray& pdf, const QString& name) {
    if (!looksLikePdf(pdf))
        return AppError::message(QStringLiteral("O arquivo %1 não é um PDF.").arg(name));
    const Result<const DocumentLibrary*>& library = documentLibrary();
    if (!library)
        return library.error();
    PdfText read = (*library)->pdfText(pdf, PgdasDocument::kMaxPages, PgdasDocument::kMaxTextChars);
    if (read.outcome == PdfText::Outcome::Locked)
        return AppError::message(QStringLiteral("O arquivo %1 está protegido por senha.").arg(name));
    if (read.outcome != PdfText::Outcome::Read)
        return AppError::message(
            QStringLiteral("O arquivo %1 está danificado e não pôde ser lido.").arg(name));
    read.text.truncate(PgdasDocument::kMaxTextChars);
    PgdasDocument document;
    document.cnpjs = PgdasDocument::cnpjsIn(read.text);
    document.reference = reference(read.text);
    return document;
}

} // namespace

Result<PgdasDocument> PgdasDocument::read(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    // Only a regular file: opening a pipe waits for a writer, a device never ends.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return AppError::message(QStringLiteral("O arquivo %1 não pôde ser aberto.").arg(name));
    if (file.size() > kMaxFileBytes)
        return AppError::message(
            QStringLiteral("O arquivo %1 tem mais de %2 MB: não é um documento do PGDAS.")
                .arg(name)
                .arg(kMaxFileBytes / (1024 * 1024)));
    // Read with a bound too: the size of a special file says nothing.
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes)
        return AppError::message(
            QStringLiteral("O arquivo %1 tem mais de %2 MB: não é um documento do PGDAS.")
                .arg(name)
                .arg(kMaxFileBytes / (1024 * 1024)));
    return fromBytes(bytes, name);
}

QStringList PgdasDocument::cnpjsIn(const QString& text) {
    // With its punctuation (letters allowed in the base), or fourteen digits in a row.
    static const QRegularExpression candidate(
        QStringLiteral("(?<![0-9A-Za-z])(?:[0-9A-Za-z]{2}[._ ][0-9A-Za-z]{3}[._ ][0-9A-Za-z]{3}[/._ -]"
                       "[0-9A-Za-z]{4}[-._ ][0-9]{2}|[0-9]{14})(?![0-9A-Za-z])"));
    QStringList found;
    for (QRegularExpressionMatchIterator it = candidate.globalMatch(text); it.hasNext();) {
        const QString bare = cnpjCharacters(it.next().captured(0));
        // Fourteen equal digits pass the check digits but name no company.
        const bool repeated = bare.count(bare.front()) == bare.size();
        if (bare.size() == 14 && !repeated && CNPJValida(bare) && !found.contains(bare))
            found.append(bare);
    }
    return found;
}

QString PgdasDocument::formatCnpj(const QString& bare) {
    return QStringLiteral("%1.%2.%3/%4-%5")
        .arg(bare.mid(0, 2), bare.mid(2, 3), bare.mid(5, 3), bare.mid(8, 4), bare.mid(12, 2));
}

} // namespace fiscora
