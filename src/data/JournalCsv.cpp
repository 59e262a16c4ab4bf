#include "data/JournalCsv.h"

#include <QSaveFile>

namespace fiscora {

namespace {

QString quoted(const QString& field) {
    if (!field.contains(QLatin1Char(';')) && !field.contains(QLatin1Char('"')) &&
        !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
        return field;
    QString inner = field;
    inner.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

QStringList fields(const JournalEntry& e) {
    return {journalDateText(e.localTime),
            journalDateText(e.serverDate),
            e.ie,
            textField(e.companyName),
            textField(e.chave),
            kindText(e.kind),
            e.giaNumbers(),
            e.references(),
            textField(e.fileName),
            QString::number(e.contentSize),
            e.contentSha256,
            textField(e.accountantDocument),
            textField(e.certificateHolder),
            textField(e.certificateSerial),
            outcomeText(e.outcome),
            textField(e.detail),
            journalDateText(e.completedTime),
            textField(protocolsText(e.protocols)),
            journalDateText(e.confirmedTime),
            e.unconfirmed() ? QStringLiteral("Sim") : QStringLiteral("Não")};
}

} // namespace

Status writeJournalCsv(const QString& path, const QList<JournalEntry>& entries) {
    static const QStringList header = {QStringLiteral("Data e hora"),
                                       QStringLiteral("Data do servidor"),
                                       QStringLiteral("IE"),
                                       QStringLiteral("Razão social"),
                                       QStringLiteral("Chave"),
                                       QStringLiteral("Tipo"),
                                       QStringLiteral("GIAs"),
                                       QStringLiteral("Referências"),
                                       QStringLiteral("Arquivo"),
                                       QStringLiteral("Tamanho (bytes)"),
                                       QStringLiteral("SHA-256"),
                                       QStringLiteral("Documento do contador"),
                                       QStringLiteral("Titular do certificado"),
                                       QStringLiteral("Série do certificado"),
                                       QStringLiteral("Situação"),
                                       QStringLiteral("Detalhe"),
                                       QStringLiteral("Concluído em"),
                                       QStringLiteral("Protocolos"),
                                       QStringLiteral("Confirmado em"),
                                       QStringLiteral("Sem confirmação do servidor")};
    QList<QStringList> rows;
    for (const JournalEntry& e : entries)
        rows.append(fields(e));
    return writeCsv(path, header, rows);
}

QString textField(const QString& text) {
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && formulaStarts.contains(text.front()))
        return QLatin1Char('\'') + text;
    return text;
}

Status writeCsv(const QString& path, const QStringList& header, const QList<QStringList>& rows) {
    const auto line = [](const QStringList& values) {
        QStringList out;
        for (const QString& value : values)
            out.append(quoted(value));
        return (out.join(QLatin1Char(';')) + QStringLiteral("\r\n")).toUtf8();
    };

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return AppError{file.error(), QStringLiteral("JournalCsv"), file.errorString()};
    QByteArray text = "\xEF\xBB\xBF" + line(header);
    for (const QStringList& row : rows)
        text += line(row);
    if (file.write(text) != text.size() || !file.commit())
        return AppError{file.error(), QStringLiteral("JournalCsv"), file.errorString()};
    return {};
}

} // namespace fiscora
