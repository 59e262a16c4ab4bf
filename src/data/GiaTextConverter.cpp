#include "data/GiaTextConverter.h"

#include "core/Cp1252.h"
#include "core/EscapedText.h"
#include "data/AccessReader.h"
#include "data/AccessValue.h"
#include "data/NovaGiaLayout.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cmath>
#include <limits>

namespace fiscora {

namespace {

QString decode(QByteArrayView bytes) {
    return Cp1252::decode(QByteArray::fromRawData(bytes.data(), bytes.size()));
}

// A field as the message shows it: control bytes (a NUL, a line break) escaped, so the text
// stays one readable line whatever the file held.
QString quoted(QByteArrayView bytes) {
    return QLatin1Char('"') + escapeControls(decode(bytes)) + QLatin1Char('"');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(QByteArrayView bytes) {
    for (const char c : bytes) {
        if (!isDigit(c))
            return false;
    }
    return !bytes.isEmpty();
}

qint64 digitsValue(QByteArrayView bytes) {
    qint64 value = 0;
    for (const char c : bytes)
        value = value * 10 + (c - '0');
    return value;
}

// Leading blanks, then digits: what a database takes as a whole number written bare.
std::optional<qint64> parseInteger(QByteArrayView bytes) {
    qsizetype at = 0;
    while (at < bytes.size() && bytes[at] == ' ')
        ++at;
    qsizetype end = bytes.size();
    while (end > at && bytes[end - 1] == ' ')
        --end;
    bool negative = false;
    if (at < end && (bytes[at] == '-' || bytes[at] == '+')) {
        negative = bytes[at] == '-';
        ++at;
    }
    const QByteArrayView digits = bytes.sliced(at, end - at);
    if (!allDigits(digits) || digits.size() > 15)
        return std::nullopt;
    return negative ? -digitsValue(digits) : digitsValue(digits);
}

// Fifteen characters: 13 integer digits (leading blanks allowed) and two decimals.
std::optional<qint64> parseAmount(QByteArrayView bytes) {
    if (bytes.size() != 15 || !allDigits(bytes.sliced(13, 2)))
        return std::nullopt;
    qsizetype at = 0;
    while (at < 13 && bytes[at] == ' ')
        ++at;
    const QByteArrayView whole = bytes.sliced(at, 13 - at);
    if (!whole.isEmpty() && !allDigits(whole))
        return std::nullopt;
    return digitsValue(whole) * 100 + digitsValue(bytes.sliced(13, 2));
}

// Access keeps dates from the year 100 to 9999: an invalid date outside them.
QDate validDay(int year, int month, int day) {
    return year < 100 ? QDate() : QDate(year, month, day);
}

qint64 roundHalfEven(qint64 cents) {
    const qint64 whole = cents / 100;
    const qint64 rest = cents % 100;
    if (rest > 50 || (rest == 50 && (whole % 2) != 0))
        return whole + 1;
    if (rest < -50 || (rest == -50 && (whole % 2) != 0))
        return whole - 1;
    return whole;
}

QString centsText(qint64 cents) {
    return AccessValue::toText(jet::Currency{cents * 100});
}

} // namespace

GiaTextConverter::GiaTextConverter(jet::Database* package)
    : m_package(package) {}

QString GiaTextConverter::tableName(const Target& target) const {
    return m_package->tables.at(target.table).table.name;
}

Result<GiaTextConverter::Target> GiaTextConverter::resolve(const char16_t* table,
                                                           std::initializer_list<FieldCut> fields) const {
    const QString name = QString::fromUtf16(table);
    Target target;
    for (qsizetype t = 0; t < m_package->tables.size(); ++t) {
        if (m_package->tables.at(t).table.name.compare(name, Qt::CaseInsensitive) == 0) {
            target.table = int(t);
            break;
        }
    }
    if (target.table < 0)
        return AppError::message(QStringLiteral("O modelo do pacote não tem a tabela %1.").arg(name));
    const jet::Table& definition = m_package->tables.at(target.table).table;
    for (const FieldCut& cut : fields) {
        Target::Field field{cut};
        const QString column = QString::fromUtf16(cut.column);
        for (qsizetype c = 0; c < definition.columns.size(); ++c) {
            if (definition.columns.at(c).name.compare(column, Qt::CaseInsensitive) == 0) {
                field.column = int(c);
                field.type = definition.columns.at(c).type;
                field.size = definition.columns.at(c).size;
                break;
            }
        }
        if (field.column < 0)
            return AppError::message(
                QStringLiteral("O modelo do pacote não tem a coluna %1 da tabela %2.").arg(column, name));
        if (cut.source == Source::Field)
            target.minLength = qMax(target.minLength, cut.position + cut.length - 1);
        target.fields.push_back(field);
    }
    return target;
}

Status GiaTextConverter::prepare() {
    using C = Conversion;
    constexpr Source F = Source::Field;
    // Field positions and lengths of each record type, and the column each one goes to.
    const auto amount = [](const char16_t* column, int position) {
        return FieldCut{column, Source::Field, position, 15, Conversion::Amount};
    };
    const FieldCut gia{u"NroGIA", Source::Gia, 0, 0, C::Number};
    const FieldCut key{u"Código", Source::OccurrenceKey, 0, 0, C::Number};

    // Stops at the first table or column the template lacks.
    Status status;
    const auto into = [&](Target& slot, const char16_t* table, std::initializer_list<FieldCut> fields) {
        if (!status)
            return;
        Result<Target> resolved = resolve(table, fields);
        if (resolved)
            slot = std::move(*resolved);
        else
            status = resolved.error();
    };
    into(m_taxpayer, u"tblContribuinte",
         {{u"IE", F, 3, 12, C::Ie}, {u"CNPJ", F, 15, 14, C::Cnpj}, {u"CNAE", F, 29, 7, C::Cnae}});
    into(m_gias, u"tblGIA",
         {gia,
          {u"IE", F, 3, 12, C::Ie},
          {u"Tipo", F, 50, 2, C::Number},
          {u"RegTrib", F, 36, 2, C::Text},
          {u"Ref1", F, 38, 6, C::Month},
          {u"Movimento", F, 52, 1, C::Number}});
    into(m_details[10], u"tblDetalhesCFOPs",
         {gia,
          {u"CFOP", F, 3, 6, C::Cfop},
          amount(u"ValorContábil", 9),
          amount(u"BaseCálculo", 24),
          amount(u"Imposto", 39),
          amount(u"IsentasNãoTrib", 54),
          amount(u"Outras", 69),
          amount(u"ImpostoRetidoST", 84),
          amount(u"ImpRetSubstitutoST", 99),
          amount(u"ImpRetSubstituido", 114),
          amount(u"OutrosImpostos", 129)});
    into(m_details[14], u"tblDetalhesInterUFs",
         {gia,
          {u"CFOP", Source::CurrentCfop, 0, 0, C::Text},
          {u"UF", F, 3, 2, C::Text},
          amount(u"ValorContábil_1", 5),
          amount(u"BaseCálculo_1", 20),
          amount(u"ValorContábil_2", 35),
          amount(u"BaseCálculo_2", 50),
          amount(u"Imposto", 65),
          amount(u"Outras", 80),
          amount(u"ICMSCobradoST", 95),
          amount(u"PetróleoEnergia", 110),
          amount(u"OutrosProdutos", 125)});
    into(m_details[18], u"tblZFM_ALC",
         {gia,
          {u"CFOP", Source::CurrentCfop, 0, 0, C::Text},
          {u"UF", Source::CurrentState, 0, 0, C::Text},
          {u"NF", F, 3, 9, C::Text},
          {u"Data", F, 12, 8, C::Day},
          amount(u"Valor", 20),
          {u"CNPJDest", F, 35, 14, C::Cnpj},
          {u"MunicípioDest", F, 49, 5, C::Text}});
    into(m_details[20], u"tblOcorrências",
         {{u"Código", Source::NewOccurrenceKey, 0, 0, C::Number},
          gia,
          {u"CódSubItem", F, 3, 5, C::SubItem},
          amount(u"Valor", 8),
          {u"FLegal", F, 24, 100, C::Text},
          {u"Ocorrência", F, 124, 300, C::Text},
          {u"OpPróprias", F, 23, 1, C::Number}});
    into(m_details[25], u"tblIEsRemetente", {key, {u"IERemetente", F, 3, 12, C::Ie}, amount(u"Valor", 15)});
    into(m_details[26], u"tblIESubstituto",
         {key,
          {u"IESubstituto", F, 3, 12, C::Ie},
          {u"DataInicio", F, 24, 6, C::Month},
          {u"DataFim", F, 30, 6, C::Month},
          amount(u"Valor", 36),
          {u"NF", F, 15, 9, C::Text}});
    into(m_details[27], u"tblIRSubstituido",
         {key, {u"IESubstituido", F, 3, 12, C::Ie}, amount(u"Valor", 24), {u"NF", F, 15, 9, C::Text}});
    into(m_details[28], u"tblRecibosCredito",
         {key, {u"CodAutorização", F, 3, 12, C::Text}, amount(u"Valor", 15)});
    into(m_details[30], u"tblDIPAM",
         {gia, {u"CódDIPAM", F, 3, 2, C::Dipam}, {u"Município", F, 5, 5, C::Text}, amount(u"Valor", 10)});
    into(m_details[31], u"tblRegistroExportação", {gia, {u"RE", F, 3, 15, C::Text}});
    if (!status)
        return status;

    // The template's own rows: taxpayers already present and the occurrence keys handed out.
    m_taxpayerIeColumn = m_taxpayer.fields.front().column;
    for (const jet::Row& row : m_package->tables.at(m_taxpayer.table).rows)
        m_knownTaxpayers.insert(AccessValue::toText(row.value(m_taxpayerIeColumn)));
    const Target& occurrences = m_details[20];
    const int codeColumn = occurrences.fields.front().column;
    for (const jet::Row& row : m_package->tables.at(occurrences.table).rows) {
        if (const auto code = AccessValue::toInteger(row.value(codeColumn));
            code && *code >= m_nextOccurrence)
            m_nextOccurrence = *code + 1;
    }
    m_prepared = true;
    return {};
}

Result<GiaTextConverter::Literal> GiaTextConverter::literal(const Target::Field& field, QByteArrayView line,
                                                            qint64 lineNumber) const {
    const FieldCut& cut = field.cut;
    switch (cut.source) {
    case Source::Gia:
        return Literal{Literal::Integer, m_gia, {}, {}};
    case Source::OccurrenceKey:
        return Literal{Literal::Integer, m_occurrence, {}, {}};
    case Source::NewOccurrenceKey:
        return Literal{Literal::Integer, m_nextOccurrence, {}, {}};
    case Source::CurrentCfop:
        return Literal{Literal::Text, 0, m_cfop, {}};
    case Source::CurrentState:
        return Literal{Literal::Text, 0, m_state, {}};
    case Source::Field:
        break;
    }
    const QByteArrayView bytes = line.sliced(cut.position - 1, cut.length);
    const auto fault = [&](const QString& what) {
        return AppError::message(QStringLiteral("Linha %1: o campo %2 (posição %3, %4 caracteres) %5: %6.")
                                     .arg(lineNumber)
                                     .arg(QString::fromUtf16(cut.column))
                                     .arg(cut.position)
                                     .arg(cut.length)
                                     .arg(what, quoted(bytes)));
    };
    const auto text = [&](std::initializer_list<std::pair<int, int>> pieces, char separator) {
        QByteArray joined;
        for (const auto& [from, count] : pieces) {
            if (!joined.isEmpty())
                joined += separator;
            joined += bytes.sliced(from, count);
        }
        return Literal{Literal::Text, 0, decode(joined), {}};
    };
    // A byte 0 ends a text for many readers of the package (libmdb among them): a damaged file.
    if (bytes.contains('\0'))
        return fault(QStringLiteral("contém o caractere nulo (byte 0)"));
    switch (cut.conversion) {
    case Conversion::Text:
        return Literal{Literal::Text, 0, decode(bytes), {}};
    case Conversion::Number: {
        const std::optional<qint64> value = parseInteger(bytes);
        if (!value)
            return fault(QStringLiteral("não contém um número"));
        return Literal{Literal::Integer, *value, {}, {}};
    }
    case Conversion::Amount: {
        const std::optional<qint64> cents = parseAmount(bytes);
        if (!cents)
            return fault(QStringLiteral("não contém um valor (15 dígitos, os dois últimos de centavos)"));
        return Literal{Literal::Amount, *cents, {}, {}};
    }
    case Conversion::Ie:
        return text({{0, 3}, {3, 3}, {6, 3}, {9, 3}}, '.');
    case Conversion::Cnpj: {
        const QByteArray cnpj = bytes.sliced(0, 2).toByteArray() + '.' + bytes.sliced(2, 3) + '.' +
                                bytes.sliced(5, 3) + '/' + bytes.sliced(8, 4) + '-' + bytes.sliced(12, 2);
        return Literal{Literal::Text, 0, decode(cnpj), {}};
    }
    case Conversion::Cnae: {
        const QByteArray cnae =
            bytes.sliced(0, 4).toByteArray() + '-' + bytes.sliced(4, 1) + '/' + bytes.sliced(5, 2);
        return Literal{Literal::Text, 0, decode(cnae), {}};
    }
    case Conversion::Cfop:
        // Characters 5 and 6 of the field are dropped.
        return text({{0, 1}, {1, 3}}, '.');
    case Conversion::SubItem:
        return text({{0, 3}, {3, 2}}, '.');
    case Conversion::Dipam:
        return text({{0, 1}, {1, 1}}, '.');
    case Conversion::Day: {
        const QDate date = allDigits(bytes) ? validDay(int(digitsValue(bytes.sliced(0, 4))),
                                                       int(digitsValue(bytes.sliced(4, 2))),
                                                       int(digitsValue(bytes.sliced(6, 2))))
                                            : QDate();
        if (!date.isValid())
            return fault(QStringLiteral("não contém uma data válida (aaaammdd)"));
        return Literal{Literal::Date, 0, {}, date};
    }
    case Conversion::Month: {
        // A month is stored as its 20th day.
        const QDate date = allDigits(bytes) ? validDay(int(digitsValue(bytes.sliced(0, 4))),
                                                       int(digitsValue(bytes.sliced(4, 2))), 20)
                                            : QDate();
        if (!date.isValid())
            return fault(QStringLiteral("não contém um mês válido (aaaamm)"));
        return Literal{Literal::Date, 0, {}, date};
    }
    }
    return fault(QStringLiteral("não tem conversão conhecida"));
}

// Stores a literal in a column as the database would on an insert: numbers into any numeric
// column, quoted texts into text columns or, when they read as numbers, numeric ones.
std::optional<jet::Value> GiaTextConverter::toValue(const Literal& literal, const Target::Field& field) {
    using T = jet::ColumnType;
    const T type = field.type;
    const bool numeric = type == T::Byte || type == T::Integer || type == T::Long || type == T::Currency ||
                         type == T::Single || type == T::Double || type == T::Boolean;
    qint64 cents = 0; // the literal as a number, in cents
    switch (literal.kind) {
    case Literal::Integer:
        cents = literal.number * 100;
        break;
    case Literal::Amount:
        cents = literal.number;
        break;
    case Literal::Date:
        if (type == T::DateTime) {
            return jet::Value(jet::DateTime::fromDate(literal.date));
        }
        if (type == T::Text || type == T::Memo) {
            return jet::Value(literal.date.toString(QStringLiteral("yyyy-MM-dd")));
        }
        return std::nullopt;
    case Literal::Text: {
        if (type == T::Text || type == T::Memo) {
            if (type == T::Text && field.size > 0 && literal.text.size() > field.size)
                return std::nullopt;
            return jet::Value(literal.text);
        }
        const std::optional<qint64> parsed = numeric ? parseInteger(literal.text.toLatin1()) : std::nullopt;
        if (!parsed)
            return std::nullopt;
        cents = *parsed * 100;
        break;
    }
    }
    switch (type) {
    case T::Boolean:
        return jet::Value(cents != 0);
    case T::Byte:
    case T::Integer:
    case T::Long: {
        const qint64 whole = roundHalfEven(cents);
        const qint64 low = type == T::Byte ? 0 : type == T::Integer ? -32768 : -2147483648LL;
        const qint64 high = type == T::Byte ? 255 : type == T::Integer ? 32767 : 2147483647LL;
        if (whole < low || whole > high)
            return std::nullopt;
        return jet::Value(whole);
    }
    case T::Currency:
        if (cents > std::numeric_limits<qint64>::max() / 100 ||
            cents < -std::numeric_limits<qint64>::max() / 100)
            return std::nullopt;
        return jet::Value(jet::Currency{cents * 100});
    case T::Single:
    case T::Double:
        return jet::Value(double(cents) / 100.0);
    case T::DateTime:
        return jet::Value(jet::DateTime{double(cents) / 100.0});
    case T::Text:
    case T::Memo: {
        const QString text = centsText(cents);
        if (type == T::Text && field.size > 0 && text.size() > field.size)
            return std::nullopt;
        return jet::Value(text);
    }
    }
    return std::nullopt;
}

Status GiaTextConverter::addRow(const Target& target, QByteArrayView line, qint64 lineNumber) {
    jet::TableData& table = m_package->tables[target.table];
    jet::Row row(table.table.columns.size());
    for (const Target::Field& field : target.fields) {
        const Result<Literal> cut = literal(field, line, lineNumber);
        if (!cut)
            return cut.error();
        const Literal& value = *cut;
        std::optional<jet::Value> stored = toValue(value, field);
        if (!stored) {
            const QString shown = value.kind == Literal::Text ? value.text
                                  : value.kind == Literal::Date
                                      ? value.date.toString(QStringLiteral("yyyy-MM-dd"))
                                  : value.kind == Literal::Amount ? centsText(value.number)
                                                                  : QString::number(value.number);
            return AppError::message(
                QStringLiteral("Linha %1: a coluna %2 da tabela %3 não aceita o valor \"%4\".")
                    .arg(lineNumber)
                    .arg(table.table.columns.at(field.column).name, table.table.name, shown));
        }
        row[field.column] = std::move(*stored);
    }
    table.rows.append(std::move(row));
    return {};
}

Status GiaTextConverter::addLine(QByteArrayView line, qint64 lineNumber) {
    if (!m_prepared)
        return AppError::message(QStringLiteral("Conversão sem pacote preparado."));
    if (line.size() < 2 || !isDigit(line[0]) || !isDigit(line[1]))
        return {}; // empty lines and records of no known type
    const int type = (line[0] - '0') * 10 + (line[1] - '0');
    if (type != 5 && !m_details.contains(type))
        return {}; // "01", "07" and every other type carry nothing the package keeps

    const QString typeText = decode(line.first(2));
    const auto fail = [&](const QString& what) {
        return AppError::message(QStringLiteral("Linha %1: %2").arg(lineNumber).arg(what));
    };
    const Target& target = type == 5 ? m_gias : m_details[type];
    const int minLength = type == 5 ? qMax(m_gias.minLength, m_taxpayer.minLength) : target.minLength;
    if (line.size() < minLength) {
        return fail(
            QStringLiteral("o registro do tipo %1 tem %2 caracteres, mas seus campos vão até a posição %3.")
                .arg(typeText)
                .arg(line.size())
                .arg(minLength));
    }
    if (type == 5) {
        if (m_gia >= maxGias) {
            return fail(QStringLiteral("o arquivo tem mais de %1 GIAs (registros do tipo 05); o limite é %1.")
                            .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(maxGias)));
        }
    } else {
        if (m_counts[type] >= maxRecordsPerType) {
            return fail(
                QStringLiteral("o arquivo tem mais de %1 registros do tipo %2; o limite é %1 por tipo.")
                    .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(maxRecordsPerType),
                         typeText));
        }
        if (m_gia == 0)
            return fail(QStringLiteral("registro do tipo %1 antes do primeiro registro 05 (início de GIA).")
                            .arg(typeText));
        if ((type == 14 || type == 18) && !m_haveCfop) {
            return fail(
                QStringLiteral("registro do tipo %1 sem um registro 10 (CFOP) antes dele na mesma GIA.")
                    .arg(typeText));
        }
        if (type == 18 && !m_haveState) {
            return fail(
                QStringLiteral("registro do tipo 18 sem um registro 14 (UF) antes dele, após o último "
                               "registro 10."));
        }
        if (type >= 25 && type <= 28 && !m_haveOccurrence) {
            return fail(
                QStringLiteral("registro do tipo %1 sem um registro 20 (ocorrência) antes dele na mesma GIA.")
                    .arg(typeText));
        }
    }
    ++m_counts[type];

    switch (type) {
    case 5: {
        ++m_gia;
        m_haveCfop = m_haveState = m_haveOccurrence = false;
        const Result<Literal> ie = literal(m_taxpayer.fields.front(), line, lineNumber);
        if (!ie)
            return ie.error();
        if (!m_knownTaxpayers.contains(ie->text)) {
            if (Status added = addRow(m_taxpayer, line, lineNumber); !added)
                return added;
            m_knownTaxpayers.insert(ie->text);
        }
        return addRow(m_gias, line, lineNumber);
    }
    case 10: {
        const Result<Literal> cfop = literal(target.fields.at(1), line, lineNumber);
        if (!cfop)
            return cfop.error();
        if (Status added = addRow(target, line, lineNumber); !added)
            return added;
        m_cfop = cfop->text;
        m_haveCfop = true;
        m_haveState = false;
        return {};
    }
    case 14: {
        if (Status added = addRow(target, line, lineNumber); !added)
            return added;
        m_state = decode(line.sliced(2, 2));
        m_haveState = true;
        return {};
    }
    case 20:
        if (Status added = addRow(target, line, lineNumber); !added)
            return added;
        m_occurrence = m_nextOccurrence++;
        m_haveOccurrence = true;
        return {};
    default:
        return addRow(target, line, lineNumber);
    }
}

Status GiaTextConverter::addFile(const QString& path) {
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        return AppError::message(QStringLiteral("Não foi possível abrir o arquivo GIA %1: %2")
                                     .arg(QFileInfo(path).fileName(), QFileInfo(path).isDir()
                                                                          ? QStringLiteral("é uma pasta.")
                                                                          : file.errorString()));
    }
    // No field lies past byte 439: of a longer line only its start is kept, so a damaged file
    // with no line ends cannot take the memory.
    constexpr qsizetype keep = 4096;
    char buffer[keep];
    QByteArray line;
    qint64 lineNumber = 0;
    for (;;) {
        const qint64 n = file.readLine(buffer, sizeof buffer);
        if (n <= 0)
            break;
        const bool ended = buffer[n - 1] == '\n';
        if (line.size() < keep)
            line.append(buffer, qMin<qsizetype>(qsizetype(n), keep - line.size()));
        if (!ended && !file.atEnd())
            continue;
        ++lineNumber;
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (Status added = addLine(line, lineNumber); !added)
            return added;
        line.clear();
    }
    if (file.error() != QFileDevice::NoError)
        return AppError::message(QStringLiteral("Não foi possível ler o arquivo GIA %1 (linha %2): %3")
                                     .arg(QFileInfo(path).fileName())
                                     .arg(lineNumber + 1)
                                     .arg(file.errorString()));
    return {};
}

Result<int> GiaTextConverter::LerArquivo(const QString& arquivo, const QString& NovaGia,
                                         const AccessReader::Reading& read) {
    if (!read.ok()) {
        return AppError::message(
            read.status == AccessReader::Status::Unavailable
                ? QStringLiteral("O leitor de arquivos Access (fiscora-leitor-mdb) não foi encontrado na "
                                 "pasta do programa.")
                : QStringLiteral(
                      "O pacote %1, cópia do modelo, não pôde ser lido como banco de dados Access.")
                      .arg(QFileInfo(NovaGia).fileName()));
    }
    Result<jet::Database> package = AccessReader::toJetDatabase(read.database);
    if (!package)
        return package.error();
    package->password = NovaGiaLayout::password;

    GiaTextConverter converter(&*package);
    if (Status prepared = converter.prepare(); !prepared)
        return prepared.error();
    if (Status added = converter.addFile(arquivo); !added)
        return added.error();
    if (Status written = jet::writeDatabase(NovaGia, *package); !written)
        return AppError::message(QStringLiteral("Não foi possível gravar o pacote %1: %2")
                                     .arg(QFileInfo(NovaGia).fileName(), written.error().description));
    return converter.giaCount();
}

} // namespace fiscora
